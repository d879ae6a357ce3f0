#include "engine/input_lines.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

using engine::CellLine;
using engine::CellLineKind;
using engine::NetLine;
using engine::rectangleProblem;

// Lines are literals: the parsed views point into them.
CellLineKind parseCell(std::string_view line, CellLine& cell, std::string& problem) {
  return engine::parseCellLine(line, cell, problem);
}

// The problem text of a cell line that must be refused.
std::string cellProblem(std::string_view line) {
  CellLine cell;
  std::string problem;
  EXPECT_EQ(parseCell(line, cell, problem), CellLineKind::kBad) << line;
  return problem;
}

NetLine parseNet(std::string_view line) {
  NetLine net;
  engine::parseNetLine(line, net);
  return net;
}

TEST(CellLineTest, SevenFieldsGiveNameAndCornersAsWritten) {
  CellLine cell;
  std::string problem;
  ASSERT_EQ(parseCell("cell U1 8.5 -2 1e1 4 N", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(cell.name, "U1");
  EXPECT_EQ(cell.xlo, 8.5);  // greater than xhi: kept as written
  EXPECT_EQ(cell.ylo, -2.0);
  EXPECT_EQ(cell.xhi, 10.0);
  EXPECT_EQ(cell.yhi, 4.0);
}

TEST(CellLineTest, SixFieldsSufficeAndLaterFieldsAreNeverLookedAt) {
  CellLine cell;
  std::string problem;
  EXPECT_EQ(parseCell("c U1 0 0 1 1", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(parseCell("c U1 0 0 1 1 junk 1e 1e999 +", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(parseCell("c U1 0 0 1 1\r", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(cell.yhi, 1.0);
}

TEST(CellLineTest, NumberRunsIntoTheNextField) {
  CellLine cell;
  std::string problem;
  ASSERT_EQ(parseCell("c U1 1 2 3 4N", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(cell.yhi, 4.0);
  ASSERT_EQ(parseCell("c U1 1.5.3 2 3", cell, problem), CellLineKind::kCell);
  EXPECT_EQ(cell.ylo, 0.3);
  EXPECT_EQ(cell.yhi, 3.0);
}

TEST(CellLineTest, EmptyAndWhiteSpaceLinesAreBlank) {
  for (const char* line : {"", " ", "\r", " \t \v\f\r"}) {
    CellLine cell;
    std::string problem;
    EXPECT_EQ(parseCell(line, cell, problem), CellLineKind::kBlank) << '"' << line << '"';
  }
}

TEST(CellLineTest, MissingFieldsAreNamed) {
  EXPECT_EQ(cellProblem("cell"), "the line ends before the cell name (field 2)");
  EXPECT_EQ(cellProblem("cell U1 \r"), "the line ends before x1 (field 3)");
  EXPECT_EQ(cellProblem("cell U1 0"), "the line ends before y1 (field 4)");
  EXPECT_EQ(cellProblem("cell U1 0 0"), "the line ends before x2 (field 5)");
  EXPECT_EQ(cellProblem("cell U1 0 0 1"), "the line ends before y2 (field 6)");
}

TEST(CellLineTest, BadCoordinatesAreQuoted) {
  EXPECT_EQ(cellProblem("cell U1 abc 0 1 1"), "x1 (field 3) is not a number: \"abc\"");
  EXPECT_EQ(cellProblem("cell U1 0 1e 1 1"), "y1 (field 4) is not a number: \"1e\"");
  EXPECT_EQ(cellProblem("cell U1 0 0 + 1"), "x2 (field 5) is not a number: \"+\"");
  EXPECT_EQ(cellProblem("cell U1 0 0 1 -1e999"), "y2 (field 6) does not fit a double: \"-1e999\"");
}

TEST(CellLineTest, QuotedFieldIsPrintableAndShort) {
  EXPECT_EQ(cellProblem(std::string("cell U1 0 \x01\x7f\xff\"\\x 1 1", 20)),
            "y1 (field 4) is not a number: \"\\x01\\x7f\\xff\\\"\\\\x\"");
  EXPECT_EQ(cellProblem(std::string("cell U1 0 0 1 x\0y", 17)),
            "y2 (field 6) is not a number: \"x\\x00y\"");
  const std::string digits(1 << 20, '7');
  EXPECT_EQ(cellProblem("cell U1 " + digits + " 0 1 1"),
            "x1 (field 3) does not fit a double: \"" + digits.substr(0, 40) + "\" and " +
                std::to_string(digits.size() - 40) + " more bytes");
  EXPECT_EQ(cellProblem("cell U1 x" + digits.substr(0, 40) + " 0 1 1"),
            "x1 (field 3) is not a number: \"x" + digits.substr(0, 39) + "\" and 1 more byte");
}

TEST(RectangleTest, ReversedCornersNameTheirFieldsAndValues) {
  EXPECT_EQ(rectangleProblem(0, 0, 1, 1, 3), "");
  EXPECT_EQ(rectangleProblem(1, 0, 1, 0, 3), "");  // flat in both directions, kept
  EXPECT_EQ(rectangleProblem(4, 0, 0, 1, 3), "x1 (field 3) 4 exceeds x2 (field 5) 0");
  EXPECT_EQ(rectangleProblem(0, 0.1, 1, 0.05, 4), "y1 (field 5) 0.1 exceeds y2 (field 7) 0.05");
  // The shortest text that reads back: nearby values stay distinct.
  EXPECT_EQ(rectangleProblem(0, 1.0000000000000002, 1, 1, 3),
            "y1 (field 4) 1.0000000000000002 exceeds y2 (field 6) 1");
}

TEST(RectangleTest, AreaBeyondADoubleIsRefused) {
  const double big = std::numeric_limits<double>::max();
  const std::string overflow = "the rectangle's area exceeds the range of a double";
  EXPECT_EQ(rectangleProblem(-big, 0, big, 1, 3), overflow);
  EXPECT_EQ(rectangleProblem(-big, 0, big, 0, 3), overflow);  // an infinite width times 0
  EXPECT_EQ(rectangleProblem(0, 0, 1e200, 1e200, 3), overflow);
  EXPECT_EQ(rectangleProblem(0, 0, 1e150, 1e150, 3), "");
  EXPECT_EQ(cellProblem("cell U1 0 0 1e200 1e200"), overflow);
  EXPECT_EQ(cellProblem("cell U1 0 3 1 2"), "y1 (field 4) 3 exceeds y2 (field 6) 2");
}

TEST(NetLineTest, NineFieldsAreRead) {
  const NetLine net = parseNet("seg s1 n1 0 1 2 3 M2:metal2 1");
  EXPECT_EQ(net.segmentName, "s1");
  EXPECT_EQ(net.netName, "n1");
  EXPECT_EQ(net.xlo, 0.0);
  EXPECT_EQ(net.ylo, 1.0);
  EXPECT_EQ(net.xhi, 2.0);
  EXPECT_EQ(net.yhi, 3.0);
  EXPECT_EQ(net.layerField, "M2:metal2");
  EXPECT_TRUE(net.hasFlag);
  EXPECT_EQ(net.flag, 1);
}

TEST(NetLineTest, FieldsAfterTheFlagAreIgnored) {
  const NetLine net = parseNet("seg s1 n1 0 1 2 3 M2:metal2 0 x y z\r");
  EXPECT_EQ(net.layerField, "M2:metal2");
  EXPECT_EQ(net.flag, 0);
}

TEST(NetLineTest, EightFieldsHaveNoFlag) {
  const NetLine net = parseNet("seg s1 n1 0 1 2 3 M2:metal2 \r");
  EXPECT_EQ(net.layerField, "M2:metal2");
  EXPECT_FALSE(net.hasFlag);
}

TEST(NetLineTest, FlagThatIsNotAnIntegerIsPresentAndZero) {
  const NetLine net = parseNet("seg s1 n1 0 1 2 3 M2:metal2 yes");
  EXPECT_TRUE(net.hasFlag);
  EXPECT_EQ(net.flag, 0);
}

TEST(NetLineTest, FieldThatCannotBeReadLeavesTheLayerFieldEmpty) {
  for (const char* line : {"", "   \r", "seg s1 n1 0 1 2", "seg s1 n1 0 1e 2 3 M1:metal1 1",
                           "seg s1 n1 0 1 2 1e999 M1:metal1 1"}) {
    const NetLine net = parseNet(line);
    EXPECT_EQ(net.layerField, "") << line;
    EXPECT_FALSE(net.hasFlag) << line;
  }
}

TEST(NetLineTest, LayerFieldIsTakenWhole) {
  EXPECT_EQ(parseNet("seg s n 0 0 1 1 a:metal1:b 1").layerField, "a:metal1:b");
  EXPECT_EQ(parseNet("seg s n 0 0 1 1 :metal1 1").layerField, ":metal1");
  EXPECT_EQ(parseNet("seg s n 0 0 1 1M3:metal3 1").layerField, "M3:metal3");
}

TEST(LineErrorTest, NamesFileAndLine) {
  EXPECT_EQ(engine::lineError("Net file", "dir/n.txt", 12, "the line ends before x"),
            "Net file dir/n.txt, line 12: the line ends before x");
}

}  // namespace
