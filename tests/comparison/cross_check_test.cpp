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

  // The printed comparison, for failure messages.
  std::string printed() const {
    std::ostringstream out;
    printComparison(out, comparison, kTolerance);
    return out.str();
  }

  // Measures the generated design of `options` and expects full agreement.
  void expectAgreement(const ExactDesignOptions& options) {
    writeExactDesign(options, cellPath, netPath);
    measure(options.layers);
    EXPECT_TRUE(comparison.agrees()) << "seed " << options.seed << "\n" << printed();
    EXPECT_EQ(comparison.cellsCompared, static_cast<size_t>(options.cells));
    EXPECT_EQ(comparison.netsCompared, static_cast<size_t>(options.nets + 1) / 2);
    countPartlyExposed(grid);
  }

  // Counts the items whose exposed area lies strictly between 0 and their area, so that a test
  // can tell that its designs are not trivially all exposed or all covered.
  void countPartlyExposed(const EngineResults& results) {
    for (const ItemResult& cell : results.cells)
      partlyExposedCells += cell.exposedArea > 0 && cell.exposedArea < cell.area;
    for (const ItemResult& net : results.nets)
      partlyExposedNets += net.exposedArea > 0 && net.exposedArea < net.area;
  }

  // One line of a net file; the layer field is M<layer>:metal<layer>.
  void addNetLine(const std::string& net, const Rect& r, int layer, const std::string& flag) {
    const std::string metal = std::to_string(layer);
    design.addShape("seg" + std::to_string(++design.segments), net, r,
                    "M" + metal + ":metal" + metal, flag);
  }

  const ItemResult& gridNet(size_t i) const { return grid.nets.at(i); }
  const ItemResult& rtreeNet(size_t i) const { return rtree.nets.at(i); }

  std::string cellPath = scratchPath("cells.txt");
  std::string netPath = scratchPath("nets.txt");
  DesignText design;
  EngineResults grid;
  EngineResults rtree;
  Comparison comparison;
  int partlyExposedCells = 0;
  int partlyExposedNets = 0;
};

TEST_F(CrossCheckTest, EnginesAgreeOnDesignsOnAnEighthUnitLattice) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    ExactDesignOptions options;
    options.seed = seed;
    expectAgreement(options);
  }
  EXPECT_GT(partlyExposedCells, kSeeds);
  EXPECT_GT(partlyExposedNets, kSeeds);
}

TEST_F(CrossCheckTest, EnginesAgreeOnDesignsWithLargeIntegerCoordinates) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    ExactDesignOptions options;
    options.seed = 100 + seed;
    options.unit = 1024;
    options.span = 8192;  // coordinates up to 2^23
    options.layers = 12;
    expectAgreement(options);
  }
  EXPECT_GT(partlyExposedCells, kSeeds);
  EXPECT_GT(partlyExposedNets, kSeeds);
}

TEST_F(CrossCheckTest, EnginesAgreeOnCrowdedDesignsWithFewLayers) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    ExactDesignOptions options;
    options.seed = 200 + seed;
    options.unit = 1;
    options.span = 32;  // many shared edges and exact overlaps
    options.layers = 3;
    options.nets = 60;
    expectAgreement(options);
  }
  EXPECT_GT(partlyExposedCells, kSeeds);
  EXPECT_GT(partlyExposedNets, kSeeds);
}

TEST_F(CrossCheckTest, CoverThinnerThanTheToleranceHidesNothingFromTheRtreeEngine) {
  design.addCell("u", {0, 0, 8, 8});
  addNetLine("cover", {-1, 0, kThin, 8}, 1, "0");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_EQ(grid.cells.at(0).exposedArea, 64 - 8 * kThin);
  EXPECT_NEAR(rtree.cells.at(0).exposedArea, 64, 1e-9);
  EXPECT_FALSE(comparison.agrees());
}

TEST_F(CrossCheckTest, OverlapThinnerThanTheToleranceCountsTwiceInTheRtreeNetArea) {
  addNetLine("key", {0, 0, 8, 8}, 1, "1");
  addNetLine("key", {8 - kThin, 0, 16, 8}, 1, "1");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_EQ(gridNet(0).area, 128);
  EXPECT_NEAR(rtreeNet(0).area, 128 + 8 * kThin, 1e-9);
  EXPECT_FALSE(comparison.agrees());
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

TEST_F(CrossCheckTest, PlainLineOfAnAssetNetCountsOnlyInTheGridEngine) {
  addNetLine("key", {0, 0, 8, 8}, 1, "1");
  addNetLine("key", {8, 0, 16, 8}, 1, "0");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_EQ(gridNet(0).area, 128);
  EXPECT_EQ(gridNet(0).exposedArea, 128);
  EXPECT_EQ(rtreeNet(0).area, 64);
  EXPECT_EQ(rtreeNet(0).exposedArea, 64);
}

TEST_F(CrossCheckTest, FirstLineDecidesAssetNetsInTheGridEngineAnyLineInTheRtreeEngine) {
  addNetLine("late", {0, 0, 8, 8}, 1, "0");
  addNetLine("late", {8, 0, 16, 8}, 1, "1");
  addNetLine("two", {0, 8, 8, 16}, 1, "2");
  design.write(netPath, cellPath);
  measure(1);
  EXPECT_TRUE(grid.nets.empty());
  ASSERT_EQ(comparison.differences.size(), 2u);
  EXPECT_EQ(comparison.differences[0].item, "net late");
  EXPECT_EQ(comparison.differences[0].quantity, Quantity::kOnlyInRtree);
  EXPECT_EQ(comparison.differences[1].item, "net two");
}

TEST_F(CrossCheckTest, OnlyTheOrderOfLayerNumbersMatters) {
  // The R-tree engine reads M2:metal2 as layer 22 and M10:metal10 as layer 1010.
  addNetLine("key", {0, 0, 8, 8}, 2, "1");
  addNetLine("cover", {4, 0, 12, 8}, 10, "0");
  design.write(netPath, cellPath);
  measure(10);
  EXPECT_TRUE(comparison.agrees()) << printed();
  EXPECT_NEAR(rtreeNet(0).exposedArea, 32, 1e-9);
}

}  // namespace
