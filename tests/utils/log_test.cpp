#include "utils/log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <sstream>

namespace {

int64_t nanosAgo(double seconds) {
  const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  return now - static_cast<int64_t>(seconds * 1e9);
}

std::string timestampFor(double secondsAgo) {
  std::ostringstream out;
  const int64_t start = nanosAgo(secondsAgo);
  utils::writeTimestamp(out, start);
  return out.str();
}

const std::string kEsc(1, '\x1b');

TEST(TimestampTest, FreshStartFillsTheFieldOfEight) {
  EXPECT_EQ(timestampFor(0.0), "[   0.000] ");
}

TEST(TimestampTest, SecondsAreRoundedToThreeDecimals) {
  EXPECT_TRUE(std::regex_match(timestampFor(12.3456), std::regex(R"(\[  12\.34[56]\] )")));
}

TEST(TimestampTest, FieldGrowsPastTenThousandSeconds) {
  EXPECT_TRUE(std::regex_match(timestampFor(1000.0), std::regex(R"(\[1000\.00\d\] )")));
  EXPECT_TRUE(std::regex_match(timestampFor(12345.0), std::regex(R"(\[12345\.00\d\] )")));
}

TEST(TimestampTest, StartInTheFutureGivesANegativeTime) {
  EXPECT_TRUE(std::regex_match(timestampFor(-1.5), std::regex(R"(\[  -1\.(500|499)\] )")));
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

std::string lineAt(utils::LogLevel level) {
  std::ostringstream out;
  utils::logAt(level, out) << "text";
  const std::string line = out.str();
  return line.size() >= 11 ? line.substr(11) : line;  // drop the timestamp prefix
}

TEST(LogAtTest, PlainLevelsWriteOnlyTheTimestamp) {
  EXPECT_EQ(lineAt(2), "text");
  EXPECT_EQ(lineAt(8), "text");
  EXPECT_EQ(lineAt(1000), "text");
}

TEST(LogAtTest, ColouredLevelsWriteTheirPrefix) {
  EXPECT_EQ(lineAt(3), kEsc + "[1;34mNotice" + kEsc + "[0m: text");
  EXPECT_EQ(lineAt(4), kEsc + "[1;93mWarning" + kEsc + "[0m: text");
  EXPECT_EQ(lineAt(5), kEsc + "[1;31mError" + kEsc + "[0m: text");
  EXPECT_EQ(lineAt(6), kEsc + "[1;41;97m F A T A L " + kEsc + "[0m: text");
  EXPECT_EQ(lineAt(7), kEsc + "[1;32mOK" + kEsc + "[0m: text");
}

TEST(LogAtTest, PrefixLengthsMatchTheTable) {
  EXPECT_EQ(utils::levelPrefix(3).size(), 19u);
  EXPECT_EQ(utils::levelPrefix(4).size(), 20u);
  EXPECT_EQ(utils::levelPrefix(5).size(), 18u);
  EXPECT_EQ(utils::levelPrefix(6).size(), 27u);
  EXPECT_EQ(utils::levelPrefix(7).size(), 15u);
  EXPECT_EQ(utils::levelPrefix(2), "");
  EXPECT_EQ(utils::levelPrefix(8), "");
  EXPECT_EQ(utils::levelPrefix(-3), "");
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

TEST(LogInfoTest, ReturnsTheCallersStream) {
  std::ostringstream out;
  EXPECT_EQ(&utils::logInfo(out), &out);
  EXPECT_EQ(out.str().size(), 11u);
}

}  // namespace
