#include "comparison/result_comparison.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>

namespace {

constexpr double kTolerance = 1e-6;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

ItemResult item(const std::string& name, double exposedArea, double area) {
  return {name, exposedArea, area, exposedArea * 100 / area};
}

std::string printed(const EngineResults& grid, const EngineResults& rtree) {
  std::ostringstream out;
  printComparison(out, compareResults(grid, rtree, kTolerance), kTolerance);
  return out.str();
}

// Equal values (the same infinity too) and two NaNs do not differ; one NaN or one infinity differs
// without bound.
TEST(RelativeDifferenceTest, IsTheGapOverTheLargerMagnitude) {
  const double a[] = {4, 0, 0.0, kInfinity, kNaN, kNaN, kInfinity};
  const double b[] = {5, 3, -0.0, kInfinity, kNaN, 1, 1e300};
  const double relative[] = {0.2, 1, 0, 0, 0, kInfinity, kInfinity};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(relativeDifference(a[i], b[i]), relative[i]) << i;
}

// Nets match by name whatever their order, cells by name and occurrence; a zero-area cell's NaN
// percentage agrees with itself; a difference within the tolerance is only the largest. Beyond
// it: the cells, then the nets, each in the grid engine's order, then what only the R-tree engine
// has; presence is not a relative difference.
TEST(CompareResultsTest, PrintsTheLargestDifferenceAndEachItemBeyondTheTolerance) {
  EngineResults grid, rtree;
  grid.cells = {item("u", 3, 4), item("v", 0, 4), item("u", 1, 4), item("flat", 0, 0)};
  rtree.cells = {item("v", 0, 4), item("u", 3, 4), item("u", 1, 4), item("flat", 0, 0)};
  grid.nets = {item("key", 1, 4), item("data", 2, 8)};
  rtree.nets = {item("data", 2, 8), item("key", 1, 4)};
  EXPECT_EQ(printed(grid, rtree),
            "Compared 4 cells and 2 asset nets, tolerance 1e-06\n"
            "Largest relative difference: 0\n"
            "The engines agree within the tolerance\n");
  rtree.nets[0] = item("data", 2, 8 * (1 + 5e-7));
  EXPECT_EQ(printed(grid, rtree),
            "Compared 4 cells and 2 asset nets, tolerance 1e-06\n"
            "Largest relative difference: 5e-07 (net data, area)\n"
            "The engines agree within the tolerance\n");
  rtree.cells.push_back(item("u", 3, 4));
  grid.nets = {item("key", 16, 16), item("lost", 1, 1)};
  rtree.nets = {item("new", 1, 1), item("key", 15.5, 16)};
  EXPECT_EQ(
      printed(grid, rtree),
      "Compared 4 cells and 1 asset nets, tolerance 1e-06\n"
      "Largest relative difference: 0.03125 (net key, exposed area)\n"
      "cell u #3: only in the R-tree engine\n"
      "net key, exposed area: grid engine 16, R-tree engine 15.5, relative difference 0.03125\n"
      "net key, percentage: grid engine 100, R-tree engine 96.875, relative difference 0.03125\n"
      "net lost: only in the grid engine\n"
      "net new: only in the R-tree engine\n"
      "Differences beyond the tolerance: 5\n");
}

}  // namespace
