#include "utils/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

namespace {

// Levels 3 to 7 write their coloured prefix after the timestamp, 2 and above 7
// none; levels below 2 go to a stream that drops everything and leaves the
// target as it was.
TEST(LogAtTest, EachLevelWritesItsPrefixOrNothing) {
  const std::string esc(1, '\x1b');
  const std::pair<utils::LogLevel, std::string> cases[] = {
      {2, "text"},
      {3, esc + "[1;34mNotice" + esc + "[0m: text"},
      {4, esc + "[1;93mWarning" + esc + "[0m: text"},
      {5, esc + "[1;31mError" + esc + "[0m: text"},
      {6, esc + "[1;41;97m F A T A L " + esc + "[0m: text"},
      {7, esc + "[1;32mOK" + esc + "[0m: text"},
      {8, "text"},
      {1, ""},
      {-7, ""},
  };
  for (const auto &[level, line] : cases) {
    std::ostringstream out;
    out.precision(2);
    utils::logAt(level, out) << "text";
    const std::string prefix = line.empty() ? "" : out.str().substr(0, 11);
    EXPECT_TRUE(line.empty() || std::regex_match(prefix, std::regex(R"(\[ *[0-9]+\.[0-9]{3}\] )")));
    EXPECT_EQ(out.str(), prefix + line) << "level " << level;
    EXPECT_EQ(out.precision(), 2);
  }
}

}  // namespace
