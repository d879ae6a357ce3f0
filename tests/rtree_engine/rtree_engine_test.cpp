// What the cross-check with the grid engine cannot see of the R-tree engine: how it tokenizes,
// which shapes it takes as asset shapes, its errors and its reports.
#include "rtree_engine/rtree_engine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "tests/rtree_engine/test_files.h"

namespace {

class RtreeEngineTest : public testing::Test {
 protected:
  // Reads the files as they are; returns the message of the error raised, "" when none.
  std::string readError() {
    testing::internal::CaptureStdout();
    std::string error;
    try {
      engine.parseInputs();
    } catch (const RtreeInputError& e) {
      error = e.what();
    }
    testing::internal::GetCapturedStdout();
    return error;
  }

  std::string netPath = scratchPath("nets.txt");
  std::string cellPath = scratchPath("cells.txt");
  RtreeExposureEngine engine{cellPath, netPath};
};

// Any white space separates tokens, records need no line end and a token may be longer than the
// read buffer; a layer number takes every digit of its token ("M1:metal2" is 12).
TEST_F(RtreeEngineTest, RecordsAreTokensAndFlagsOfMagnitudeOneOrMoreMakeAssetShapes) {
  std::string nets = "s\vs1 n1 0 0\n10 10 metal1 1\fx s s2 n1 5 0 15 10 metal1 0.999 x\r\n";
  for (const std::string flag : {"0", "0.5", "-0.5", "1", "2", "-1", "1.0", "nan", "inf"})
    nets += "s s3 f" + flag + " 0 0 1 1 M1:metal2 " + flag + " x\t";
  writeFile(netPath, nets + "s " + std::string(200000, 'x') + " n2 0 0 1 1 metal3 0 x");
  writeFile(cellPath, "c\nc1\n0\n0\n1\n1\nx c c2 0.1 0 0.3 12abc x");
  ASSERT_EQ(readError(), "");
  std::vector<std::string> names;
  for (const auto& net : engine.nets) names.push_back(net->name);
  EXPECT_EQ(names, (std::vector<std::string>{"n1", "f1", "f2", "f-1", "f1.0", "fnan", "finf"}));
  ASSERT_EQ(engine.layerTrees.size(), 12u);
  EXPECT_EQ(engine.layerTrees[0]->size(), 2u);
  EXPECT_EQ(engine.assetLayerTrees[0]->size(), 1u);
  EXPECT_EQ(engine.layerTrees[2]->size(), 1u);
  EXPECT_EQ(engine.layerTrees[11]->size(), 9u);
  EXPECT_EQ(engine.assetLayerTrees[11]->size(), 6u);
  ASSERT_EQ(engine.cells.size(), 2u);
  EXPECT_EQ(engine.cells[1]->name, "c2");
  EXPECT_EQ(engine.cells[1]->area, (double{0.3f} - double{0.1f}) * 12);
}

// Each bad record names its file, its record number (counted in tokens) and what is wrong.
TEST_F(RtreeEngineTest, BadRecordIsAnErrorNamingFileRecordAndFault) {
  const std::string net = "s s1 n1 0 0 10 10 M1:metal1 1 x\n";
  const std::string range = "gives a layer number outside 1 to 1000000";
  // {net file, cell file, file (N or C) and record, what}
  const std::tuple<std::string, std::string, const char*, std::string> cases[] = {
      {"s s1 n1 0 0 10 10 M1:metal1 1\n" + net + net, "", "N2",
       "token 7 \"M1:metal1\" does not begin with a number"},
      {net + "s seg2 n1\n", "", "N2", "the file ends after 3 of the record's 10 tokens"},
      {net, "c c1 0 0 1 1 x\nc c2 0 0 1 1\n", "C2",
       "the file ends after 6 of the record's 7 tokens"},
      {"s s1 n1 0 0 1e39 1 M1:metal1 1 x\n", "", "N1",
       "token 6 \"1e39\" lies outside the single-precision range"},
      {"", "c c1 nan 0 1 1 x\n", "C1", "token 3 \"nan\" is not a finite number"},
      {"s s1 n1 0 0 1 1 M:metal 1 x\n", "", "N1", "layer token \"M:metal\" holds no digit"},
      {"s s1 n1 0 0 1 1 M0:metal0 1 x\n", "", "N1", "layer token \"M0:metal0\" " + range},
      {"s s1 n1 0 0 1 1 99999999999 1 x\n", "", "N1", "layer token \"99999999999\" " + range},
      {"s s1 n1 10 0 5 10 metal1 1 x\n", "", "N1", "min x 10 exceeds max x 5"},
      {"", "c c1 0 0 1 1 x\nc c2 0 3 2 1 x\n", "C2", "min y 3 exceeds max y 1"},
  };
  for (const auto& [nets, cells, where, what] : cases) {
    engine = RtreeExposureEngine(cellPath, netPath);
    writeFile(netPath, nets);
    writeFile(cellPath, cells);
    EXPECT_EQ(readError(),
              (where[0] == 'N' ? "Net file " + netPath : "Cell asset file " + cellPath) +
                  ", record " + (where + 1) + ": " + what);
  }
  engine = RtreeExposureEngine(cellPath + ".absent", netPath + ".absent");
  EXPECT_EQ(readError(), "Net file " + netPath + ".absent: cannot be opened for reading");
  engine = RtreeExposureEngine(cellPath + ".absent", netPath);
  EXPECT_EQ(readError(), "Cell asset file " + cellPath + ".absent: cannot be opened for reading");
  engine = RtreeExposureEngine(cellPath, testing::TempDir());
  EXPECT_EQ(readError(), "Net file " + testing::TempDir() + ", record 1: reading the file failed");
}

// A block per item in file order, then the totals: a NaN percentage keeps the maximum but spoils
// the mean.
TEST_F(RtreeEngineTest, ReportsGiveABlockPerItemThenTheTotals) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::create_directories(scratchPath("reports"));
  std::filesystem::current_path(scratchPath("reports"));
  for (const auto& [name, area, exposed] :
       {std::make_tuple("c1", 10.0, 5.0), {"flat", 0.0, 0.0}, {"c3", 10.0, 2.0}})
    engine.cells.push_back(std::make_unique<RtreeCell>(RtreeCell{name, {}, area, exposed}));
  for (const auto& [name, area, exposed] :
       {std::make_tuple("n1", 150.0, 50.0), {"n2", 10.0, 5.0}}) {
    engine.nets.push_back(std::make_unique<RtreeNet>(name));
    engine.nets.back()->projectionArea = area;
    engine.nets.back()->exposedArea = exposed;
  }
  engine.writeReports("bm");
  EXPECT_EQ(readFile("my_cell_ea_bm.rpt"),
            "c1\nExposed area: 5\nExposed area percentage: 50%\n\n"
            "flat\nExposed area: 0\nExposed area percentage: -nan%\n\n"
            "c3\nExposed area: 2\nExposed area percentage: 20%\n\n"
            "For all cell assets: \nTotal exposed area: 7\nMax area percentage: 50%\n"
            "Avg area percentage: -nan%\n\n");
  EXPECT_EQ(readFile("my_net_ea_bm.rpt"),
            "n1\nExposed area: 50\nExposed area percentage: 33.3333%\n\n"
            "n2\nExposed area: 5\nExposed area percentage: 50%\n\n"
            "For all net assets: \nTotal exposed area: 55\nMax area percentage: 50%\n"
            "Avg area percentage: 41.6667%\n\n");
  std::filesystem::current_path(previous);
}

}  // namespace
