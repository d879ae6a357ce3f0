#include "utils/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>

namespace {

std::string timestampFor(double secondsAgo) {
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  std::ostringstream out;
  utils::writeTimestamp(out, now - static_cast<int64_t>(secondsAgo * 1e9));
  return out.str();
}

// Seconds with three decimals in a field of eight that grows past 9999.9995 s; a start in the
// future gives a negative time.
TEST(TimestampTest, SecondsFillAFieldOfEightThatGrowsWhenNeeded) {
  const std::vector<std::pair<double, std::string>> cases = {
      {0.0, R"(\[   0\.000\] )"},      {12.3456, R"(\[  12\.34[56]\] )"},
      {1000.0, R"(\[1000\.00\d\] )"},   {9999.9996, R"(\[10000\.00[01]\] )"},
      {12345.0, R"(\[12345\.00\d\] )"}, {-1.5, R"(\[  -1\.(500|499)\] )"},
  };
  for (const auto& [secondsAgo, pattern] : cases)
    EXPECT_TRUE(std::regex_match(timestampFor(secondsAgo), std::regex(pattern)))
        << timestampFor(secondsAgo);
}

TEST(TimestampTest, TargetStreamFormatIsUntouched) {
  std::ostringstream out;
  out.precision(2);
  out.setf(std::ios::left);
  utils::writeTimestamp(out, utils::programStart);
  out << 3.14159;
  EXPECT_EQ(out.precision(), 2);
  EXPECT_NE(out.str().find("] 3.1"), std::string::npos);
}

TEST(LogAtTest, LevelsThreeToSevenWriteTheirColouredPrefixOthersNone) {
  const std::string esc(1, '\x1b');
  const std::vector<std::pair<utils::LogLevel, std::string>> cases = {
      {2, ""},
      {3, esc + "[1;34mNotice" + esc + "[0m: "},
      {4, esc + "[1;93mWarning" + esc + "[0m: "},
      {5, esc + "[1;31mError" + esc + "[0m: "},
      {6, esc + "[1;41;97m F A T A L " + esc + "[0m: "},
      {7, esc + "[1;32mOK" + esc + "[0m: "},
      {8, ""},
      {1000, ""},
  };
  for (const auto& [level, prefix] : cases) {
    std::ostringstream out;
    utils::logAt(level, out) << "text";
    EXPECT_TRUE(std::regex_match(out.str().substr(0, 11), std::regex(R"(\[ *-?[0-9.]+\] )")));
    EXPECT_EQ(out.str().substr(11), prefix + "text") << "level " << level;
  }
}

TEST(LogAtTest, SuppressedLevelsAreDiscardedWithoutHarmingLaterLines) {
  for (utils::LogLevel level : {1, 0, -7}) {
    std::ostringstream out;
    std::ostream& target = utils::logAt(level, out);
    EXPECT_EQ(&target, &utils::nullStream);
    target << "lost" << 42 << std::endl;
    EXPECT_EQ(out.str(), "");
    utils::logAt(2, out) << "kept";
    EXPECT_EQ(out.str().substr(11), "kept");
    EXPECT_TRUE(out.good());
  }
}

}  // namespace
