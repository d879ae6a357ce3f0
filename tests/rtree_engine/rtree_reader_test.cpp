#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "tests/rtree_engine/test_files.h"

namespace {

const Rect kSquare = {0, 0, 10, 10};
const Rect kRight = {5, 0, 15, 10};
const char* const kMetal1 = "metal1";
const char* const kMetal2 = "metal2";

class RtreeReaderTest : public testing::Test {
 protected:
  // Writes both files and reads them; returns the log lines.
  std::vector<std::string> parse() {
    design.write(netPath, cellPath);
    testing::internal::CaptureStdout();
    engine.parseInputs();
    return logLines(testing::internal::GetCapturedStdout());
  }
  // Writes both files and returns the message of the error the read must raise.
  std::string parseError() {
    try {
      parse();
    } catch (const RtreeInputError& e) {
      testing::internal::GetCapturedStdout();
      return e.what();
    }
    ADD_FAILURE() << "the read raised no error";
    return "";
  }
  std::string netError(int record, const std::string& what) const {
    return "Net file " + netPath + ", record " + std::to_string(record) + ": " + what;
  }
  std::string cellError(int record, const std::string& what) const {
    return "Cell asset file " + cellPath + ", record " + std::to_string(record) + ": " + what;
  }
  size_t shapesOn(int32_t layer) const { return engine.layerTrees.at(layer - 1)->size(); }
  size_t assetPiecesOn(int32_t layer) const {
    return engine.assetLayerTrees.at(layer - 1)->size();
  }

  std::string netPath = scratchPath("nets.txt");
  std::string cellPath = scratchPath("cells.txt");
  DesignText design;
  RtreeExposureEngine engine{cellPath, netPath};
};

TEST_F(RtreeReaderTest, WritesItsFourLogLinesInOrder) {
  design.addAssetShape("n1", kSquare);
  design.addCell("c1", kSquare);
  const std::vector<std::string> expected = {
      "Parsing input files: cell: " + cellPath + "; net: " + netPath,
      "Calculating the projection area of net assets...", "Net file finished...",
      "Cell file finished..."};
  EXPECT_EQ(parse(), expected);
}

TEST_F(RtreeReaderTest, EmptyNetFileLeavesTreesEmptyAndCellsAreRead) {
  design.addCell("c1", kSquare);
  EXPECT_EQ(parse().size(), 4u);
  EXPECT_TRUE(engine.nets.empty());
  EXPECT_TRUE(engine.layerTrees.empty());
  EXPECT_TRUE(engine.assetLayerTrees.empty());
  ASSERT_EQ(engine.cells.size(), 1u);
}

TEST_F(RtreeReaderTest, CellRecordHoldsNameBoxAreaAndNoExposure) {
  design.addCell("c1", {1, 2, 4, 8});
  design.addCell("flat", {3, 3, 3, 7});
  parse();
  ASSERT_EQ(engine.cells.size(), 2u);
  const RtreeCell& cell = *engine.cells[0];
  EXPECT_EQ(cell.name, "c1");
  EXPECT_EQ(rectOf(cell.box), (Rect{1, 2, 4, 8}));
  EXPECT_EQ(cell.area, 18.0);
  EXPECT_EQ(cell.exposedArea, 0.0);
  EXPECT_EQ(engine.cells[1]->area, 0.0);
}

TEST_F(RtreeReaderTest, RecordsAreCountedInTokensNotLines) {
  design.nets = "s seg1 n1 0 0\n10 10 metal1 1\nx s seg2 n1 5 0 15 10 metal1 1 x s seg3\n"
            "n2 0 0 1 1 metal2 0 x";
  design.cells = "c\nc1\n0\n0\n1\n1\nx c c2 0 0 2 2 x";
  parse();
  ASSERT_EQ(engine.nets.size(), 1u);
  EXPECT_EQ(engine.nets[0]->layerTrees[0].size(), 2u);
  EXPECT_EQ(shapesOn(2), 1u);
  ASSERT_EQ(engine.cells.size(), 2u);
  EXPECT_EQ(engine.cells[1]->name, "c2");
}

TEST_F(RtreeReaderTest, NineTokenLineShiftsTheLaterRecords) {
  design.nets = "s seg1 n1 0 0 10 10 M1:metal1 1\n"
            "s seg2 n1 0 0 10 10 M1:metal1 1 x\n"
            "s seg3 n1 0 0 10 10 M1:metal1 1 x\n";
  EXPECT_EQ(parseError(), netError(2, "token 7 \"M1:metal1\" does not begin with a number"));
}

TEST_F(RtreeReaderTest, LineEndAfterTheLastRecordChangesNothing) {
  design.nets = "s seg1 n1 0 0 10 10 M1:metal1 1 x";
  design.cells = "c c1 0 0 1 1 x";
  parse();
  EXPECT_EQ(engine.nets.size(), 1u);
  EXPECT_EQ(engine.cells.size(), 1u);
}

TEST_F(RtreeReaderTest, AdjacentRecordsWithTheSameNameAreAllRead) {
  design.addShape("same", "n1", kSquare, kMetal1, "0");
  design.addShape("same", "n1", kRight, kMetal1, "0");
  design.addShape("same", "n1", kRight, kMetal2, "0");
  design.addCell("twin", kSquare);
  design.addCell("twin", kRight);
  design.addCell("other", kRight);
  parse();
  EXPECT_EQ(shapesOn(1), 2u);
  EXPECT_EQ(shapesOn(2), 1u);
  EXPECT_EQ(engine.cells.size(), 3u);
}

TEST_F(RtreeReaderTest, LayerNumberTakesEveryDigitOfTheToken) {
  EXPECT_EQ(RtreeExposureEngine::layerNumber("metal3"), 3);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("metal03"), 3);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("1:metal3"), 13);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("M3:metal3"), 33);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("M12:metal12"), 1212);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("1000000"), 1000000);
  EXPECT_EQ(RtreeExposureEngine::layerNumber("M0:metal0"), 0);
  EXPECT_THROW(RtreeExposureEngine::layerNumber("metal"), std::invalid_argument);
  EXPECT_THROW(RtreeExposureEngine::layerNumber("2147483648"), std::out_of_range);
}

TEST_F(RtreeReaderTest, PlainShapeOnLayerFiveMakesFiveTreesInEachVector) {
  design.addShape("s1", "n1", kSquare, "metal5", "0");
  parse();
  ASSERT_EQ(engine.layerTrees.size(), 5u);
  ASSERT_EQ(engine.assetLayerTrees.size(), 5u);
  for (int32_t layer = 1; layer <= 5; ++layer) {
    EXPECT_EQ(shapesOn(layer), layer == 5 ? 1u : 0u);
    EXPECT_EQ(assetPiecesOn(layer), 0u);
  }
  EXPECT_TRUE(engine.nets.empty());
}

TEST_F(RtreeReaderTest, TwelfthLayerAsNamedInNetFilesIsAccepted) {
  design.addShape("s1", "n1", kSquare, "M12:metal12", "0");
  parse();
  EXPECT_EQ(engine.layerTrees.size(), 1212u);
}

TEST_F(RtreeReaderTest, FlagsBetweenMinusOneAndOneMakePlainShapes) {
  const std::vector<std::string> plainFlags = {"0", "0.5", "-0.5", "0.999"};
  const std::vector<std::string> assetFlags = {"1", "2", "-1", "1.0", "nan", "inf"};
  for (const std::string& flag : plainFlags)
    design.addShape("p", "plain" + flag, kSquare, kMetal1, flag);
  for (const std::string& flag : assetFlags)
    design.addShape("a", "asset" + flag, kSquare, kMetal2, flag);
  parse();
  std::vector<std::string> names;
  for (const auto& net : engine.nets) names.push_back(net->name);
  std::vector<std::string> expected;
  for (const std::string& flag : assetFlags) expected.push_back("asset" + flag);
  EXPECT_EQ(names, expected);
  EXPECT_EQ(shapesOn(1), plainFlags.size());
  EXPECT_EQ(assetPiecesOn(1), 0u);
  EXPECT_EQ(shapesOn(2), assetFlags.size());
  EXPECT_EQ(assetPiecesOn(2), assetFlags.size());
}

TEST_F(RtreeReaderTest, ScatteredAssetShapesOfOneNetJoinTheNetOfItsFirstAssetShape) {
  design.addPlainShape("late", {0, 0, 1, 1});
  design.addAssetShape("first", kSquare);
  design.addAssetShape("late", kSquare, 2);
  design.addPlainShape("other", {20, 20, 30, 30});
  design.addAssetShape("first", {0, 20, 5, 25}, 2);
  design.addPlainShape("first", {40, 40, 50, 50});
  parse();
  ASSERT_EQ(engine.nets.size(), 2u);
  EXPECT_EQ(engine.nets[0]->name, "first");
  EXPECT_EQ(engine.nets[1]->name, "late");
  ASSERT_EQ(engine.nets[0]->layerTrees.size(), 2u);
  EXPECT_EQ(engine.nets[0]->layerTrees[0].size(), 1u);
  EXPECT_EQ(engine.nets[0]->layerTrees[1].size(), 1u);
  EXPECT_EQ(shapesOn(1), 4u);
  EXPECT_EQ(assetPiecesOn(1), 1u);
  EXPECT_EQ(assetPiecesOn(2), 2u);
}

TEST_F(RtreeReaderTest, AssetPiecesGoIntoBothTreesAndCoveredShapesIntoNeither) {
  design.addAssetShape("n1", kSquare);
  design.addAssetShape("n1", kRight);
  design.addAssetShape("n1", {2, 2, 8, 8});
  parse();
  EXPECT_EQ(shapesOn(1), 2u);
  EXPECT_EQ(assetPiecesOn(1), 2u);
  std::vector<NamedBox> pieces(engine.layerTrees[0]->begin(), engine.layerTrees[0]->end());
  std::vector<Rect> rects = rectsOf(pieces);
  std::sort(rects.begin(), rects.end());
  EXPECT_EQ(rects, (std::vector<Rect>{kSquare, {10, 0, 15, 10}}));
}

TEST_F(RtreeReaderTest, ProjectionAreasAreComputedFromTheNetsPieces) {
  design.addAssetShape("n1", kSquare, 1);
  design.addAssetShape("n1", kRight, 2);
  design.addAssetShape("n2", kSquare, 1);
  design.addPlainShape("n2", kSquare, 2);
  parse();
  ASSERT_EQ(engine.nets.size(), 2u);
  EXPECT_NEAR(engine.nets[0]->projectionArea, 150.0, 1e-9);
  EXPECT_NEAR(engine.nets[1]->projectionArea, 100.0, 1e-9);
  EXPECT_EQ(engine.nets[0]->exposedArea, 0.0);
}

TEST_F(RtreeReaderTest, CoordinatesPassThroughSinglePrecision) {
  design.cells = "c c1 0.1 0 0.3 12abc x\n";
  parse();
  ASSERT_EQ(engine.cells.size(), 1u);
  const RtreeCell& cell = *engine.cells[0];
  EXPECT_EQ(minX(cell.box), static_cast<double>(0.1f));
  EXPECT_EQ(maxX(cell.box), static_cast<double>(0.3f));
  EXPECT_EQ(maxY(cell.box), 12.0);
  EXPECT_EQ(cell.area, (static_cast<double>(0.3f) - static_cast<double>(0.1f)) * 12.0);
}

TEST_F(RtreeReaderTest, DefaultToleranceIsOneTenThousandth) {
  EXPECT_EQ(engine.eps, 1e-4);
  EXPECT_EQ(RtreeExposureEngine("c", "n", 0.5).eps, 0.5);
}

TEST_F(RtreeReaderTest, NetFileThatCannotBeOpenedIsAnErrorNamedBeforeTheCellFile) {
  netPath = scratchPath("absent_nets.txt");
  engine.netFile = netPath;
  engine.cellFile = scratchPath("absent_cells.txt");
  testing::internal::CaptureStdout();
  try {
    engine.parseInputs();
    ADD_FAILURE() << "the read raised no error";
  } catch (const RtreeInputError& e) {
    EXPECT_EQ(std::string(e.what()), "Net file " + netPath + ": cannot be opened for reading");
  }
  EXPECT_EQ(logLines(testing::internal::GetCapturedStdout()).size(), 1u);
}

TEST_F(RtreeReaderTest, CellFileThatCannotBeOpenedIsAnErrorBeforeAnyNetIsRead) {
  design.addAssetShape("n1", kSquare);
  writeFile(netPath, design.nets);
  engine.cellFile = scratchPath("absent_cells.txt");
  testing::internal::CaptureStdout();
  try {
    engine.parseInputs();
    ADD_FAILURE() << "the read raised no error";
  } catch (const RtreeInputError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cell asset file " + engine.cellFile + ": cannot be opened for reading");
  }
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(engine.nets.empty());
}

TEST_F(RtreeReaderTest, FileThatCannotBeReadIsAnError) {
  engine.netFile = testing::TempDir();
  netPath = engine.netFile;
  EXPECT_EQ(parseError(), netError(1, "reading the file failed"));
}

TEST_F(RtreeReaderTest, RecordCutShortByTheEndOfTheFileIsAnError) {
  design.addAssetShape("n1", kSquare);
  design.nets += "s seg2 n1\n";
  EXPECT_EQ(parseError(), netError(2, "the file ends after 3 of the record's 10 tokens"));
}

TEST_F(RtreeReaderTest, CellRecordCutShortIsAnErrorEvenAfterAFullNetRecord) {
  design.addAssetShape("n1", kSquare);
  design.addCell("c1", kSquare);
  design.cells += "c c2 0 0 1 1\n";
  EXPECT_EQ(parseError(), cellError(2, "the file ends after 6 of the record's 7 tokens"));
}

TEST_F(RtreeReaderTest, CoordinateOrFlagWithoutLeadingNumberIsAnError) {
  design.addShape("s1", "n1", kSquare, kMetal1, "1");
  design.nets += "s s2 n1 0 zero 1 1 M1:metal1 1 x\n";
  EXPECT_EQ(parseError(), netError(2, "token 5 \"zero\" does not begin with a number"));
  design.nets = "s s1 n1 0 0 1 1 M1:metal1 yes x\n";
  EXPECT_EQ(parseError(), netError(1, "token 9 \"yes\" does not begin with a number"));
  design.nets.clear();
  design.cells = "c c1 0 0 x1 1 x\n";
  EXPECT_EQ(parseError(), cellError(1, "token 5 \"x1\" does not begin with a number"));
}

TEST_F(RtreeReaderTest, NumberOutsideSinglePrecisionIsAnError) {
  design.nets = "s s1 n1 0 0 1e39 1 M1:metal1 1 x\n";
  EXPECT_EQ(parseError(),
            netError(1, "token 6 \"1e39\" lies outside the single-precision range"));
  design.nets = "s s1 n1 0 0 1 1 M1:metal1 1e-45 x\n";
  EXPECT_EQ(parseError(),
            netError(1, "token 9 \"1e-45\" lies outside the single-precision range"));
}

TEST_F(RtreeReaderTest, InfiniteOrNanCoordinateIsAnError) {
  design.nets = "s s1 n1 0 0 inf 1 metal1 1 x\n";
  EXPECT_EQ(parseError(), netError(1, "token 6 \"inf\" is not a finite number"));
  design.nets.clear();
  design.cells = "c c1 nan 0 1 1 x\n";
  EXPECT_EQ(parseError(), cellError(1, "token 3 \"nan\" is not a finite number"));
}

TEST_F(RtreeReaderTest, LayerTokenWithoutDigitIsAnError) {
  design.addShape("s1", "n1", kSquare, "M:metal", "1");
  EXPECT_EQ(parseError(), netError(1, "layer token \"M:metal\" holds no digit"));
}

TEST_F(RtreeReaderTest, LayerNumberOutsideOneToAMillionIsAnError) {
  const std::vector<std::string> layers = {"M0:metal0", "1000001", "99999999999",
                                           std::string(40, '9')};
  for (const std::string& layer : layers) {
    design.nets.clear();
    design.addShape("s1", "n1", kSquare, layer, "1");
    const std::string what = "gives a layer number outside 1 to 1000000";
    EXPECT_EQ(parseError(), netError(1, "layer token \"" + layer + "\" " + what));
  }
}

TEST_F(RtreeReaderTest, MinAboveMaxIsAnError) {
  design.addShape("s1", "n1", {10, 0, 5, 10}, kMetal1, "1");
  EXPECT_EQ(parseError(), netError(1, "min x 10 exceeds max x 5"));
  design.nets.clear();
  design.addShape("s1", "n1", {0, 2.5, 10, 1}, kMetal1, "0");
  EXPECT_EQ(parseError(), netError(1, "min y 2.5 exceeds max y 1"));
  design.nets.clear();
  design.addCell("c1", kSquare);
  design.addCell("c2", {3, 0, 2, 1});
  EXPECT_EQ(parseError(), cellError(2, "min x 3 exceeds max x 2"));
}

}  // namespace
