#include "comparison/result_comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <tuple>

namespace {

constexpr double kTolerance = 1e-6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

ItemResult item(const std::string& name, double exposedArea, double area) {
  return {name, exposedArea, area, exposedArea * 100 / area};
}

// Equal values (the same infinity too) and two NaNs do not differ; one NaN or one infinity
// differs without bound.
TEST(RelativeDifferenceTest, IsTheGapOverTheLargerMagnitude) {
  const std::vector<std::tuple<double, double, double>> cases = {
      {4, 5, 0.2}, {5, 4, 0.2}, {-1, 1, 2}, {0, 3, 1},
      {0, 0, 0}, {0.0, -0.0, 0}, {kInfinity, kInfinity, 0}, {kNaN, kNaN, 0},
      {kNaN, 1, kInfinity}, {0, kNaN, kInfinity}, {kInfinity, 1e300, kInfinity},
      {kInfinity, -kInfinity, kInfinity},
  };
  for (const auto& [a, b, relative] : cases)
    EXPECT_EQ(relativeDifference(a, b), relative) << a << " " << b;
}

class CompareResultsTest : public testing::Test {
 protected:
  Comparison compare() const { return compareResults(grid, rtree, kTolerance); }

  std::string printed() const {
    std::ostringstream out;
    printComparison(out, compare(), kTolerance);
    return out.str();
  }

  EngineResults grid;
  EngineResults rtree;
};

// A zero-area cell's NaN percentage agrees with itself.
TEST_F(CompareResultsTest, EqualResultsAgreeAndNetsMatchByNameWhateverTheirOrder) {
  grid.cells = rtree.cells = {item("u1", 3, 4), item("u2", 0, 4), item("flat", 0, 0)};
  grid.nets = {item("key", 1, 4), item("data", 2, 8)};
  rtree.nets = {item("data", 2, 8), item("key", 1, 4)};
  const Comparison comparison = compare();
  EXPECT_TRUE(comparison.agrees());
  EXPECT_EQ(comparison.cellsCompared, 3u);
  EXPECT_EQ(comparison.netsCompared, 2u);
  EXPECT_EQ(printed(),
            "Compared 3 cells and 2 asset nets, tolerance 1e-06\n"
            "Largest relative difference: 0\n"
            "The engines agree within the tolerance\n");
}

TEST_F(CompareResultsTest, DifferenceWithinTheToleranceIsOnlyTheLargest) {
  grid.nets = {item("key", 1, 4), item("data", 2, 4)};
  rtree.nets = {item("key", 1, 4), item("data", 2, 4 * (1 + 5e-7))};
  const Comparison comparison = compare();
  EXPECT_TRUE(comparison.agrees());
  EXPECT_EQ(comparison.largest.item, "net data");
  EXPECT_EQ(comparison.largest.quantity, Quantity::kArea);
  EXPECT_NEAR(comparison.largest.relative, 5e-7, 1e-12);
}

TEST_F(CompareResultsTest, NetOfOneEngineOnlyIsADifference) {
  grid.nets = {item("key", 1, 4), item("gridOnly", 1, 4)};
  rtree.nets = {item("rtreeOnly", 1, 4), item("key", 1, 4)};
  const Comparison comparison = compare();
  EXPECT_EQ(comparison.netsCompared, 1u);
  ASSERT_EQ(comparison.differences.size(), 2u);
  EXPECT_EQ(comparison.differences[0].item, "net gridOnly");
  EXPECT_EQ(comparison.differences[0].quantity, Quantity::kOnlyInGrid);
  EXPECT_EQ(comparison.differences[1].item, "net rtreeOnly");
  EXPECT_EQ(comparison.differences[1].quantity, Quantity::kOnlyInRtree);
  EXPECT_EQ(comparison.largest.relative, 0);  // presence is not a relative difference
}

TEST_F(CompareResultsTest, RepeatedCellNamesMatchByOccurrence) {
  grid.cells = {item("u", 1, 4), item("v", 2, 4), item("u", 3, 4)};
  rtree.cells = {item("v", 2, 4), item("u", 1, 4), item("u", 3, 4), item("u", 4, 4)};
  const Comparison comparison = compare();
  EXPECT_EQ(comparison.cellsCompared, 3u);
  ASSERT_EQ(comparison.differences.size(), 1u);
  EXPECT_EQ(comparison.differences[0].item, "cell u #3");
  EXPECT_EQ(comparison.differences[0].quantity, Quantity::kOnlyInRtree);
}

TEST_F(CompareResultsTest, PrintsTheLargestDifferenceAndEachItemBeyondTheTolerance) {
  grid.cells = {item("u1", 3, 4)};
  rtree.cells = {item("u1", 3, 4)};
  grid.nets = {item("key", 16, 16), item("lost", 1, 1)};
  rtree.nets = {item("key", 15.5, 16)};
  EXPECT_EQ(printed(),
            "Compared 1 cells and 1 asset nets, tolerance 1e-06\n"
            "Largest relative difference: 0.03125 (net key, exposed area)\n"
            "net key, exposed area: grid engine 16, R-tree engine 15.5, relative difference "
            "0.03125\n"
            "net key, percentage: grid engine 100, R-tree engine 96.875, relative difference "
            "0.03125\n"
            "net lost: only in the grid engine\n"
            "Differences beyond the tolerance: 3\n");
}

}  // namespace
