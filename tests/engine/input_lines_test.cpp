#include "engine/input_lines.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using engine::CellLine;
using engine::CellLineKind;
using engine::NetLine;

// The problem names the field and quotes it printably: bytes outside printable ASCII escaped, at
// most 40 bytes. Fields after the sixth are never looked at; a number may run into the next.
TEST(CellLineTest, FirstFieldThatFailsIsNamedAndQuoted) {
  const std::string digits(40, '7');
  const std::pair<std::string, std::string> cases[] = {
      {"c U1 1 2 3 4N junk 1e 1e999 +\r", ""},
      {" \t \v\f\r", "blank"},
      {"cell", "the line ends before the cell name (field 2)"},
      {"cell U1 0 0 1", "the line ends before y2 (field 6)"},
      {"cell U1 0 1e 1 1", "y1 (field 4) is not a number: \"1e\""},
      {"cell U1 0 0 -Infinity 1", "x2 (field 5) is not a number: \"-Infinity\""},
      {"cell U1 NaN 0 1 1", "x1 (field 3) is not a number: \"NaN\""},
      {"cell U1 0 0 1 -1e999", "y2 (field 6) does not fit a double: \"-1e999\""},
      {std::string("cell U1 0 \x01\x7f\xff\"\\x 1 1", 20),
       "y1 (field 4) is not a number: \"\\x01\\x7f\\xff\\\"\\\\x\""},
      {std::string("cell U1 0 0 1 x\0y", 17), "y2 (field 6) is not a number: \"x\\x00y\""},
      {"cell U1 x" + digits + " 0 1 1",
       "x1 (field 3) is not a number: \"x" + digits.substr(0, 39) + "\" and 1 more byte"},
      {"cell U1 0 3 1 2", "y1 (field 4) 3 exceeds y2 (field 6) 2"},
      {"cell U1 0 1.0000000000000002 1 1",
       "y1 (field 4) 1.0000000000000002 exceeds y2 (field 6) 1"},
      {"cell U1 -1.7e308 0 1.7e308 0", "the rectangle's area exceeds the range of a double"},
      {"cell U1 1 0 1 0", ""},  // flat in both directions, kept
  };
  for (const auto& [line, problem] : cases) {
    CellLine cell;
    std::string text;
    const CellLineKind kind = engine::parseCellLine(line, cell, text);
    EXPECT_EQ(kind == CellLineKind::kBlank ? "blank" : text, problem) << line.substr(0, 60);
    EXPECT_EQ(kind == CellLineKind::kBad, !problem.empty() && problem != "blank");
    EXPECT_EQ(kind == CellLineKind::kCell ? cell.name : "U1", "U1");
  }
}

// The layer field and the flag as read; a line that breaks off earlier leaves the field empty.
TEST(NetLineTest, NineFieldsAreReadAndTheFirstUnreadableOneEndsTheLine) {
  const std::tuple<const char*, const char*, bool, int32_t> cases[] = {
      {"seg s1 n1 0 1 2 3 M2:metal2 1", "M2:metal2", true, 1},
      {"seg s1 n1 0 1 2 3 M2:metal2 0 x y z\r", "M2:metal2", true, 0},
      {"seg s1 n1 0 1 2 3 M2:metal2 \r", "M2:metal2", false, 0},
      {"seg s1 n1 0 1 2 3 M2:metal2 yes", "M2:metal2", true, 0},
      {"seg s1 n1 0 1 2 3 M2:metal2 -99999999999", "M2:metal2", true, -2147483647 - 1},
      {"seg s n 0 0 1 1M3:metal3 1", "M3:metal3", true, 1},
      {"   \r", "", false, 0},
      {"seg s1 n1 0 1 2", "", false, 0},
      {"seg s1 n1 0 nan 2 3 M1:metal1 1", "", false, 0},
      {"seg s1 n1 0 1 2 1e999 M1:metal1 1", "", false, 0},
  };
  for (const auto& [line, layerField, hasFlag, flag] : cases) {
    NetLine read;
    engine::parseNetLine(line, read);
    EXPECT_EQ(read.layerField, layerField) << line;
    EXPECT_EQ(read.hasFlag, hasFlag) << line;
    EXPECT_EQ(read.flag, flag) << line;
  }
}

}  // namespace
