#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

#include "tests/rtree_engine/test_files.h"

namespace {

const Rect kSquare = {0, 0, 10, 10};
const Rect kRight = {5, 0, 15, 10};

class RtreeReaderTest : public testing::Test {
 protected:
  // Writes both files and reads them; returns the log lines.
  std::vector<std::string> parse() {
    design.write(netPath, cellPath);
    testing::internal::CaptureStdout();
    engine.parseInputs();
    return logLines(testing::internal::GetCapturedStdout());
  }
  // Reads the files as they are and returns the message of the error the read must raise.
  std::string readError() {
    testing::internal::CaptureStdout();
    try {
      engine.parseInputs();
    } catch (const RtreeInputError& e) {
      testing::internal::GetCapturedStdout();
      return e.what();
    }
    testing::internal::GetCapturedStdout();
    ADD_FAILURE() << "the read raised no error";
    return "";
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

TEST_F(RtreeReaderTest, ToleranceIsOneTenThousandthUnlessGiven) {
  EXPECT_EQ(engine.eps, 1e-4);
  EXPECT_EQ(RtreeExposureEngine("c", "n", 0.5).eps, 0.5);
}

// Every number passes through single precision; "12abc" is read as 12.
TEST_F(RtreeReaderTest, CellRecordHoldsNameBoxAsReadAreaAndNoExposure) {
  design.cells = "c c1 0.1 0 0.3 12abc x\nc flat 3 3 3 7 x\n";
  parse();
  EXPECT_TRUE(engine.nets.empty());
  EXPECT_TRUE(engine.layerTrees.empty());
  EXPECT_TRUE(engine.assetLayerTrees.empty());
  ASSERT_EQ(engine.cells.size(), 2u);
  const RtreeCell& cell = *engine.cells[0];
  EXPECT_EQ(cell.name, "c1");
  const double x1 = static_cast<double>(0.1f), x2 = static_cast<double>(0.3f);
  EXPECT_EQ(rectOf(cell.box), (Rect{x1, 0, x2, 12}));
  EXPECT_EQ(cell.area, (x2 - x1) * 12.0);
  EXPECT_EQ(cell.exposedArea, 0.0);
  EXPECT_EQ(engine.cells[1]->area, 0.0);
}

// Neither file needs a line end, after a record or at its end.
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

TEST_F(RtreeReaderTest, AdjacentRecordsWithTheSameNameAreAllRead) {
  design.addShape("same", "n1", kSquare, "metal1", "0");
  design.addShape("same", "n1", kRight, "metal1", "0");
  design.addShape("same", "n1", kRight, "metal2", "0");
  design.addCell("twin", kSquare);
  design.addCell("twin", kRight);
  design.addCell("other", kRight);
  parse();
  EXPECT_EQ(shapesOn(1), 2u);
  EXPECT_EQ(shapesOn(2), 1u);
  EXPECT_EQ(engine.cells.size(), 3u);
}

TEST_F(RtreeReaderTest, LayerNumberTakesEveryDigitOfTheToken) {
  const std::vector<std::pair<std::string, int32_t>> cases = {
      {"metal3", 3},         {"metal03", 3},         {"1:metal3", 13}, {"M3:metal3", 33},
      {"M12:metal12", 1212}, {"1000000", 1000000}, {"M0:metal0", 0}};
  for (const auto& [token, number] : cases)
    EXPECT_EQ(RtreeExposureEngine::layerNumber(token), number) << token;
  EXPECT_THROW(RtreeExposureEngine::layerNumber("metal"), std::invalid_argument);
  EXPECT_THROW(RtreeExposureEngine::layerNumber("2147483648"), std::out_of_range);
}

TEST_F(RtreeReaderTest, PlainShapeGrowsBothTreeVectorsUpToItsLayer) {
  design.addShape("s1", "n1", kSquare, "metal5", "0");
  design.addShape("s2", "n2", kSquare, "M12:metal12", "0");
  parse();
  ASSERT_EQ(engine.layerTrees.size(), 1212u);
  ASSERT_EQ(engine.assetLayerTrees.size(), 1212u);
  for (int32_t layer = 1; layer <= 5; ++layer) {
    EXPECT_EQ(shapesOn(layer), layer == 5 ? 1u : 0u);
    EXPECT_EQ(assetPiecesOn(layer), 0u);
  }
  EXPECT_EQ(shapesOn(1212), 1u);
  EXPECT_TRUE(engine.nets.empty());
}

TEST_F(RtreeReaderTest, FlagsBetweenMinusOneAndOneMakePlainShapes) {
  const std::vector<std::string> plainFlags = {"0", "0.5", "-0.5", "0.999"};
  const std::vector<std::string> assetFlags = {"1", "2", "-1", "1.0", "nan", "inf"};
  for (const std::string& flag : plainFlags)
    design.addShape("p", "plain" + flag, kSquare, "metal1", flag);
  for (const std::string& flag : assetFlags)
    design.addShape("a", "asset" + flag, kSquare, "metal2", flag);
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

// Pieces, not whole shapes, go into the layer's tree; a plain shape adds nothing to its net.
TEST_F(RtreeReaderTest, AssetPiecesGoIntoBothTreesAndNetsGetTheirProjectionAreas) {
  design.addAssetShape("n1", kSquare);
  design.addAssetShape("n1", {2, 2, 8, 8});  // covered: a piece of neither tree
  design.addAssetShape("n1", kRight);
  design.addAssetShape("n2", {0, 20, 10, 30});
  design.addPlainShape("n2", {0, 20, 10, 30}, 2);
  parse();
  std::vector<Rect> pieces = rectsOf({engine.layerTrees[0]->begin(), engine.layerTrees[0]->end()});
  std::sort(pieces.begin(), pieces.end());
  EXPECT_EQ(pieces, (std::vector<Rect>{{0, 0, 10, 10}, {0, 20, 10, 30}, {10, 0, 15, 10}}));
  EXPECT_EQ(assetPiecesOn(1), 3u);
  EXPECT_EQ(assetPiecesOn(2), 0u);
  ASSERT_EQ(engine.nets.size(), 2u);
  EXPECT_NEAR(engine.nets[0]->projectionArea, 150.0, 1e-9);
  EXPECT_NEAR(engine.nets[1]->projectionArea, 100.0, 1e-9);
  EXPECT_EQ(engine.nets[0]->exposedArea, 0.0);
}

TEST_F(RtreeReaderTest, FileThatCannotBeOpenedIsAnErrorBeforeAnyNetIsRead) {
  engine.netFile = scratchPath("absent_nets.txt");
  engine.cellFile = scratchPath("absent_cells.txt");
  EXPECT_EQ(readError(), "Net file " + engine.netFile + ": cannot be opened for reading");
  design.addAssetShape("n1", kSquare);
  writeFile(netPath, design.nets);
  engine.netFile = netPath;
  EXPECT_EQ(readError(), "Cell asset file " + engine.cellFile + ": cannot be opened for reading");
  EXPECT_TRUE(engine.nets.empty());
  engine.netFile = testing::TempDir();
  engine.cellFile = netPath;  // any readable file
  EXPECT_EQ(readError(), "Net file " + engine.netFile + ", record 1: reading the file failed");
}

// Each bad record names its file, its record number (counted in tokens) and what is wrong.
TEST_F(RtreeReaderTest, BadRecordIsAnErrorNamingFileRecordAndFault) {
  const std::string net = "s s1 n1 0 0 10 10 M1:metal1 1 x\n";
  const std::string cell = "c c1 0 0 10 10 x\n";
  const std::string range = "gives a layer number outside 1 to 1000000";
  struct Case {
    std::string nets;
    std::string cells;
    bool inNetFile;
    int record;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"s s1 n1 0 0 10 10 M1:metal1 1\n" + net + net, "", true, 2,
       "token 7 \"M1:metal1\" does not begin with a number"},  // a short line shifts the rest
      {net + "s seg2 n1\n", "", true, 2, "the file ends after 3 of the record's 10 tokens"},
      {net, cell + "c c2 0 0 1 1\n", false, 2, "the file ends after 6 of the record's 7 tokens"},
      {net + "s s2 n1 0 zero 1 1 M1:metal1 1 x\n", "", true, 2,
       "token 5 \"zero\" does not begin with a number"},
      {"s s1 n1 0 0 1 1 M1:metal1 yes x\n", "", true, 1,
       "token 9 \"yes\" does not begin with a number"},
      {"", "c c1 0 0 x1 1 x\n", false, 1, "token 5 \"x1\" does not begin with a number"},
      {"s s1 n1 0 0 1e39 1 M1:metal1 1 x\n", "", true, 1,
       "token 6 \"1e39\" lies outside the single-precision range"},
      {"s s1 n1 0 0 1 1 M1:metal1 1e-45 x\n", "", true, 1,
       "token 9 \"1e-45\" lies outside the single-precision range"},
      {"s s1 n1 0 0 inf 1 metal1 1 x\n", "", true, 1, "token 6 \"inf\" is not a finite number"},
      {"", "c c1 nan 0 1 1 x\n", false, 1, "token 3 \"nan\" is not a finite number"},
      {"s s1 n1 0 0 1 1 M:metal 1 x\n", "", true, 1, "layer token \"M:metal\" holds no digit"},
      {"s s1 n1 0 0 1 1 M0:metal0 1 x\n", "", true, 1, "layer token \"M0:metal0\" " + range},
      {"s s1 n1 0 0 1 1 1000001 1 x\n", "", true, 1, "layer token \"1000001\" " + range},
      {"s s1 n1 0 0 1 1 99999999999 1 x\n", "", true, 1, "layer token \"99999999999\" " + range},
      {"s s1 n1 0 0 1 1 " + std::string(40, '9') + " 1 x\n", "", true, 1,
       "layer token \"" + std::string(40, '9') + "\" " + range},
      {"s s1 n1 10 0 5 10 metal1 1 x\n", "", true, 1, "min x 10 exceeds max x 5"},
      {"s s1 n1 0 2.5 10 1 metal1 0 x\n", "", true, 1, "min y 2.5 exceeds max y 1"},
      {"", cell + "c c2 3 0 2 1 x\n", false, 2, "min x 3 exceeds max x 2"},
  };
  for (const Case& c : cases) {
    engine = RtreeExposureEngine(cellPath, netPath);
    writeFile(netPath, c.nets);
    writeFile(cellPath, c.cells);
    const std::string file = c.inNetFile ? "Net file " + netPath : "Cell asset file " + cellPath;
    EXPECT_EQ(readError(), file + ", record " + std::to_string(c.record) + ": " + c.what);
  }
}

TEST_F(RtreeReaderTest, LayerBoundCanBeLowered) {
  writeFile(netPath, "s s1 n1 0 0 1 1 M99:metal99 1 x\ns s2 n1 0 0 1 1 M100:metal100 1 x\n");
  writeFile(cellPath, "");
  engine.maxLayerNumber = 9999;
  EXPECT_EQ(readError(), "Net file " + netPath +
                             ", record 2: layer token \"M100:metal100\" gives a layer number "
                             "outside 1 to 9999");
  EXPECT_EQ(engine.layerTrees.size(), 9999u);
}

}  // namespace
