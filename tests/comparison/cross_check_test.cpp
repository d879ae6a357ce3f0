// Both engines on the same designs. Where the input suits both (coordinates exact in single
// precision, features wider than twice the tolerance, every line of an asset net flagged 1) they
// agree on every cell and asset net; where it does not, they part in known ways.
#include <gtest/gtest.h>

#include <sstream>

#include "comparison/engine_results.h"
#include "comparison/result_comparison.h"
#include "comparison/two_engine_run.h"
#include "tests/comparison/exact_design.h"
#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kTolerance = 1e-6;
constexpr int kSeeds = 10;
constexpr double kThin = 1.0 / 16384;  // narrower than the default tolerance, exact in floats

class CrossCheckTest : public testing::Test {
 protected:
  // Measures the design in the test's files with both engines, their log captured.
  void measure(int32_t availLayer) {
    DesignInput input;
    input.cellFile = cellPath;
    input.netFile = netPath;
    input.availLayer = availLayer;
    testing::internal::CaptureStdout();
    TwoEngineRun run(input);
    run.measure();
    testing::internal::GetCapturedStdout();
    grid = gridEngineResults(run.grid);
    rtree = rtreeEngineResults(run.rtree);
    comparison = compareResults(grid, rtree, kTolerance);
  }

  // Counts the items whose exposed area lies strictly between 0 and their area, so that a test
  // can tell that its designs are not trivially all exposed or all covered.
  void countPartlyExposed() {
    for (const ItemResult& cell : grid.cells)
      partlyExposedCells += cell.exposedArea > 0 && cell.exposedArea < cell.area;
    for (const ItemResult& net : grid.nets)
      partlyExposedNets += net.exposedArea > 0 && net.exposedArea < net.area;
  }

  // One line of a net file on metal1.
  void addNetLine(const std::string& net, const Rect& r, const std::string& flag) {
    design.addShape("seg" + std::to_string(++design.segments), net, r, "M1:metal1", flag);
  }

  std::string cellPath = scratchPath("cells.txt");
  std::string netPath = scratchPath("nets.txt");
  DesignText design;
  EngineResults grid;
  EngineResults rtree;
  Comparison comparison;
  int partlyExposedCells = 0;
  int partlyExposedNets = 0;
};

// Per family of designs: fine lattice; large integer coordinates up to 2^23 on 12 layers;
// crowded (many shared edges and exact overlaps) on 3 layers. With 10 and 12 layers the R-tree
// engine's layer numbers (22, 1010, ...) differ from the grid engine's but keep their order.
TEST_F(CrossCheckTest, EnginesAgreeOnSeededDesignsExactInSinglePrecision) {
  struct Family {
    uint64_t firstSeed;
    double unit;
    int64_t span;
    int32_t layers;
    int32_t nets;
  };
  for (const Family& family : {Family{1, 0.125, 256, 10, 40}, Family{101, 1024, 8192, 12, 40},
                               Family{201, 1, 32, 3, 60}}) {
    partlyExposedCells = partlyExposedNets = 0;
    for (uint64_t seed = family.firstSeed; seed < family.firstSeed + kSeeds; ++seed) {
      ExactDesignOptions options;
      options.seed = seed;
      options.unit = family.unit;
      options.span = family.span;
      options.layers = family.layers;
      options.nets = family.nets;
      writeExactDesign(options, cellPath, netPath);
      measure(options.layers);
      std::ostringstream printed;
      printComparison(printed, comparison, kTolerance);
      EXPECT_TRUE(comparison.agrees()) << "seed " << seed << "\n" << printed.str();
      EXPECT_EQ(comparison.cellsCompared, static_cast<size_t>(options.cells));
      EXPECT_EQ(comparison.netsCompared, static_cast<size_t>(options.nets + 1) / 2);
      countPartlyExposed();
    }
    EXPECT_GT(partlyExposedCells, kSeeds) << "unit " << family.unit;
    EXPECT_GT(partlyExposedNets, kSeeds) << "unit " << family.unit;
  }
}

TEST_F(CrossCheckTest, CoverThinnerThanTheToleranceHidesNothingFromTheRtreeEngine) {
  design.addCell("u", {0, 0, 8, 8});
  addNetLine("cover", {-1, 0, kThin, 8}, "0");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_EQ(grid.cells.at(0).exposedArea, 64 - 8 * kThin);
  EXPECT_NEAR(rtree.cells.at(0).exposedArea, 64, 1e-9);
}

TEST_F(CrossCheckTest, OverlapThinnerThanTheToleranceCountsTwiceInTheRtreeNetArea) {
  addNetLine("key", {0, 0, 8, 8}, "1");
  addNetLine("key", {8 - kThin, 0, 16, 8}, "1");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_EQ(grid.nets.at(0).area, 128);
  EXPECT_NEAR(rtree.nets.at(0).area, 128 + 8 * kThin, 1e-9);
}

TEST_F(CrossCheckTest, CoordinateInexactInSinglePrecisionChangesTheRtreeArea) {
  // 10000.001 is 10000 + 2^-10 in single precision: a 1 nm strip at 10 mm loses 2.3 percent.
  design.addCell("u", {10000, 0, 10000.001, 1000});
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_NEAR(grid.cells.at(0).area, 1, 1e-9);
  EXPECT_DOUBLE_EQ(rtree.cells.at(0).area, 1000.0 / 1024);
  ASSERT_EQ(comparison.differences.size(), 2u);  // the exposed area and the area
  EXPECT_EQ(comparison.differences[0].quantity, Quantity::kExposedArea);
  EXPECT_EQ(comparison.differences[1].quantity, Quantity::kArea);
}

// The grid engine takes a net as an asset net by the flag of its first line, exactly 1, and then
// counts all its lines; the R-tree engine counts the lines of any nonzero flag.
TEST_F(CrossCheckTest, EnginesDecideAssetLinesDifferently) {
  addNetLine("key", {0, 0, 8, 8}, "1");
  addNetLine("key", {8, 0, 16, 8}, "0");
  addNetLine("late", {0, 8, 8, 16}, "0");
  addNetLine("late", {8, 8, 16, 16}, "1");
  addNetLine("two", {0, 16, 8, 24}, "2");
  design.write(netPath, cellPath);
  measure(1);
  ASSERT_EQ(grid.nets.size(), 1u);
  EXPECT_EQ(grid.nets[0].area, 128);
  EXPECT_EQ(grid.nets[0].exposedArea, 128);
  EXPECT_EQ(rtree.nets.at(0).area, 64);
  EXPECT_EQ(rtree.nets.at(0).exposedArea, 64);
  ASSERT_EQ(comparison.differences.size(), 4u);  // key's exposed area and area, then two nets
  EXPECT_EQ(comparison.differences[2].item, "net late");
  EXPECT_EQ(comparison.differences[2].quantity, Quantity::kOnlyInRtree);
  EXPECT_EQ(comparison.differences[3].item, "net two");
}

}  // namespace
