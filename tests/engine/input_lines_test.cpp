#include "engine/input_lines.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace {

using engine::CellLine;
using engine::CellLineKind;
using engine::NetLine;
using engine::rectangleProblem;

const std::string kOverflow = "the rectangle's area exceeds the range of a double";

NetLine parseNet(std::string_view line) {
  NetLine net;
  engine::parseNetLine(line, net);
  return net;
}

TEST(CellLineTest, FieldsTwoToSixAreReadAndLaterOnesNeverLookedAt) {
  const std::pair<const char*, std::vector<double>> cases[] = {
      {"cell U1 8.5 -2 1e1 4 N", {8.5, -2, 10, 4}},  // x1 above x2: kept as written
      {"c U1 0 0 1 1", {0, 0, 1, 1}},
      {"c U1 0 0 1 1 junk 1e 1e999 +\r", {0, 0, 1, 1}},
      {"c U1 1 2 3 4N", {1, 2, 3, 4}},  // a number runs into the next field
      {"c U1 1.5.3 2 3", {1.5, 0.3, 2, 3}},
  };
  for (const auto& [line, corners] : cases) {
    CellLine cell;
    std::string problem;
    ASSERT_EQ(engine::parseCellLine(line, cell, problem), CellLineKind::kCell) << line;
    EXPECT_EQ(cell.name, "U1");
    EXPECT_EQ((std::vector<double>{cell.xlo, cell.ylo, cell.xhi, cell.yhi}), corners) << line;
  }
  for (const char* line : {"", " ", "\r", " \t \v\f\r"}) {
    CellLine cell;
    std::string problem;
    EXPECT_EQ(engine::parseCellLine(line, cell, problem), CellLineKind::kBlank) << '"' << line;
  }
}

// The quoted field shows bytes outside printable ASCII escaped, and at most 40 bytes.
TEST(CellLineTest, ProblemNamesTheFieldAndQuotesItPrintably) {
  const std::string digits(1 << 20, '7');
  const std::pair<std::string, std::string> cases[] = {
      {"cell", "the line ends before the cell name (field 2)"},
      {"cell U1 \r", "the line ends before x1 (field 3)"},
      {"cell U1 0", "the line ends before y1 (field 4)"},
      {"cell U1 0 0", "the line ends before x2 (field 5)"},
      {"cell U1 0 0 1", "the line ends before y2 (field 6)"},
      {"cell U1 abc 0 1 1", "x1 (field 3) is not a number: \"abc\""},
      {"cell U1 0 1e 1 1", "y1 (field 4) is not a number: \"1e\""},
      {"cell U1 0 0 + 1", "x2 (field 5) is not a number: \"+\""},
      {"cell U1 0 0 1 -1e999", "y2 (field 6) does not fit a double: \"-1e999\""},
      {std::string("cell U1 0 \x01\x7f\xff\"\\x 1 1", 20),
       "y1 (field 4) is not a number: \"\\x01\\x7f\\xff\\\"\\\\x\""},
      {std::string("cell U1 0 0 1 x\0y", 17), "y2 (field 6) is not a number: \"x\\x00y\""},
      {"cell U1 " + digits + " 0 1 1", "x1 (field 3) does not fit a double: \"" +
                                           digits.substr(0, 40) + "\" and " +
                                           std::to_string(digits.size() - 40) + " more bytes"},
      {"cell U1 x" + digits.substr(0, 40) + " 0 1 1",
       "x1 (field 3) is not a number: \"x" + digits.substr(0, 39) + "\" and 1 more byte"},
      {"cell U1 0 3 1 2", "y1 (field 4) 3 exceeds y2 (field 6) 2"},
      {"cell U1 0 0 1e200 1e200", kOverflow},
  };
  for (const auto& [line, problem] : cases) {
    CellLine cell;
    std::string text;
    EXPECT_EQ(engine::parseCellLine(line, cell, text), CellLineKind::kBad) << line.substr(0, 60);
    EXPECT_EQ(text, problem);
  }
}

TEST(RectangleTest, ReversedCornersAndAreasBeyondADoubleAreRefused) {
  const double big = std::numeric_limits<double>::max();
  const std::tuple<double, double, double, double, int, std::string> cases[] = {
      {0, 0, 1, 1, 3, ""},
      {1, 0, 1, 0, 3, ""},  // flat in both directions, kept
      {0, 0, 1e150, 1e150, 3, ""},
      {4, 0, 0, 1, 3, "x1 (field 3) 4 exceeds x2 (field 5) 0"},
      {0, 0.1, 1, 0.05, 4, "y1 (field 5) 0.1 exceeds y2 (field 7) 0.05"},
      // The shortest text that reads back: nearby values stay distinct.
      {0, 1.0000000000000002, 1, 1, 3, "y1 (field 4) 1.0000000000000002 exceeds y2 (field 6) 1"},
      {-big, 0, big, 1, 3, kOverflow},
      {-big, 0, big, 0, 3, kOverflow},  // an infinite width times 0
      {0, 0, 1e200, 1e200, 3, kOverflow},
  };
  for (const auto& [x1, y1, x2, y2, field, problem] : cases)
    EXPECT_EQ(rectangleProblem(x1, y1, x2, y2, field), problem) << x1 << " " << y1;
}

TEST(NetLineTest, NineFieldsAreReadAndTheFirstUnreadableOneEndsTheLine) {
  const NetLine net = parseNet("seg s1 n1 0 1 2 3 M2:metal2 1");
  EXPECT_EQ(net.segmentName, "s1");
  EXPECT_EQ(net.netName, "n1");
  EXPECT_EQ((std::vector<double>{net.xlo, net.ylo, net.xhi, net.yhi}),
            (std::vector<double>{0, 1, 2, 3}));
  const std::tuple<const char*, const char*, bool, int32_t> cases[] = {
      {"seg s1 n1 0 1 2 3 M2:metal2 1", "M2:metal2", true, 1},
      {"seg s1 n1 0 1 2 3 M2:metal2 0 x y z\r", "M2:metal2", true, 0},
      {"seg s1 n1 0 1 2 3 M2:metal2 \r", "M2:metal2", false, 0},
      {"seg s1 n1 0 1 2 3 M2:metal2 yes", "M2:metal2", true, 0},
      {"seg s n 0 0 1 1M3:metal3 1", "M3:metal3", true, 1},
      {"", "", false, 0},
      {"   \r", "", false, 0},
      {"seg s1 n1 0 1 2", "", false, 0},
      {"seg s1 n1 0 1e 2 3 M1:metal1 1", "", false, 0},
      {"seg s1 n1 0 1 2 1e999 M1:metal1 1", "", false, 0},
  };
  for (const auto& [line, layerField, hasFlag, flag] : cases) {
    const NetLine read = parseNet(line);
    EXPECT_EQ(read.layerField, layerField) << line;
    EXPECT_EQ(read.hasFlag, hasFlag) << line;
    EXPECT_EQ(read.flag, flag) << line;
  }
}

}  // namespace
