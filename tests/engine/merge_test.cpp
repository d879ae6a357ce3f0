#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "engine/exposure_engine.h"

namespace {

struct Bin {
  int32_t x;
  int32_t y;
};

// A region as {xlo, xhi, ylo, yhi, layer}.
using Region = std::array<int32_t, 5>;
using Regions = std::vector<Region>;

const std::string kTopLayerWarning = "Exists exposed bin on the top-most routing layer";

BinBox oneBin(Bin bin, int32_t layer) { return BinBox{bin.x, bin.x + 1, bin.y, bin.y + 1, layer}; }

std::vector<BinBox> oneBinBoxes(const std::vector<Bin>& bins, int32_t layer) {
  std::vector<BinBox> boxes;
  for (Bin bin : bins) boxes.push_back(oneBin(bin, layer));
  return boxes;
}

// The text after "] <label>" up to the end of its line; empty when no line has it.
std::string valueAfter(const std::string& log, const std::string& label) {
  const size_t start = log.find("] " + label);
  if (start == std::string::npos) return "";
  const size_t from = start + 2 + label.size();
  return log.substr(from, log.find('\n', from) - from);
}

size_t countOf(const std::string& log, const std::string& text) {
  size_t count = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
  return count;
}

// Runs the merge with standard output on standard error, where a death test can see it.
void mergeWithStdoutOnStderr(ExposureEngine& engine) {
  dup2(STDERR_FILENO, STDOUT_FILENO);
  engine.mergeExposure();
}

// An engine whose exposure results are set by hand: edges, exposed bins per cell and per net.
class MergeTest : public testing::Test {
 protected:
  MergeTest() {
    testing::internal::CaptureStdout();
    engine = std::make_unique<ExposureEngine>(&config);
    testing::internal::GetCapturedStdout();
  }

  void useEdges(std::vector<double> xs, std::vector<double> ys) {
    engine->xEdges = std::move(xs);
    engine->yEdges = std::move(ys);
  }
  // Bins of side 1 from the origin.
  void useUnitGrid(int32_t nx, int32_t ny) {
    std::vector<double> xs, ys;
    for (int32_t i = 0; i <= nx; ++i) xs.push_back(i);
    for (int32_t i = 0; i <= ny; ++i) ys.push_back(i);
    useEdges(xs, ys);
  }
  void addExposedCell(const std::vector<Bin>& bins, int32_t layer = 0) {
    engine->cellExposedBins.push_back(oneBinBoxes(bins, layer));
  }
  void addExposedNet(const std::vector<Bin>& bins, int32_t layer = 0) {
    engine->netExposedBins.push_back(oneBinBoxes(bins, layer));
  }

  // Runs the merge and returns what it logged.
  std::string merge() {
    testing::internal::CaptureStdout();
    engine->mergeExposure();
    return testing::internal::GetCapturedStdout();
  }

  Regions regions() const {
    Regions found;
    for (const BinBox& r : engine->mergedRegions)
      found.push_back(Region{r.xlo, r.xhi, r.ylo, r.yhi, r.layer});
    return found;
  }

  RunConfig config;
  std::unique_ptr<ExposureEngine> engine;
};

using MergeDeathTest = MergeTest;

TEST_F(MergeTest, NoExposedBinsGiveNoRegionAndZeroSummary) {
  useUnitGrid(3, 2);
  addExposedCell({});
  addExposedNet({});
  const std::string log = merge();
  EXPECT_TRUE(engine->mergedRegions.empty());
  ASSERT_EQ(engine->exposureMap.size(), 3u);
  for (const std::vector<uint8_t>& column : engine->exposureMap)
    EXPECT_EQ(column, std::vector<uint8_t>(2, 255));
  EXPECT_EQ(valueAfter(log, "Total Exposed Bin Area: "), "0");
  EXPECT_EQ(valueAfter(log, "Total Exposed Area After Merge: "), "0");
  EXPECT_EQ(valueAfter(log, "Number of exposed bins: "), "0");
  EXPECT_EQ(valueAfter(log, "Number of exposed regions after merge: "), "0");
}

TEST_F(MergeTest, LayoutWithoutShapesGivesEmptyGridsAndZeros) {
  useEdges({}, {});
  const std::string log = merge();
  EXPECT_TRUE(engine->exposureMap.empty());
  EXPECT_TRUE(engine->mergedRegions.empty());
  EXPECT_EQ(valueAfter(log, "Number of exposed bins: "), "0");
  EXPECT_EQ(valueAfter(log, "Number of exposed regions after merge: "), "0");
  EXPECT_EQ(valueAfter(log, "Total Exposed Area After Merge: "), "0");
}

TEST_F(MergeTest, SingleEdgePerAxisGivesNoBins) {
  useEdges({4.0}, {1.0, 2.0});
  const std::string log = merge();
  EXPECT_TRUE(engine->exposureMap.empty());
  EXPECT_EQ(valueAfter(log, "Number of exposed bins: "), "0");
}

TEST_F(MergeTest, SummaryLinesComeInOrder) {
  useUnitGrid(2, 2);
  engine->cellTotalExposedArea = 1.5;
  engine->netTotalExposedArea = 0.25;
  addExposedCell({{1, 1}});
  const std::string log = merge();
  const std::string stripped = std::regex_replace(log, std::regex(R"(\[ *[0-9.]+\] )"), "");
  EXPECT_EQ(stripped,
            "==============Merging Cell and Net Exposed Area...\n"
            "Total Cell Exposed Area: 1.5\n"
            "Total Net Exposed Area: 0.25\n"
            "Total Exposed Bin Area: 1\n"
            "Total Exposed Area After Merge: 1\n"
            "Number of exposed bins: 1\n"
            "Number of exposed regions after merge: 1\n"
            "Finish Merging Cell and Net Exposed Area\n");
}

TEST_F(MergeTest, SingleBinIsOneRegion) {
  useUnitGrid(4, 3);
  addExposedNet({{2, 1}});
  merge();
  EXPECT_EQ(regions(), (Regions{{2, 3, 1, 2, 0}}));
  EXPECT_EQ(engine->exposureMap[2][1], 0);
  EXPECT_EQ(engine->exposureMap[1][2], 255);
}

TEST_F(MergeTest, TwoByTwoBlockIsOneRegion) {
  useUnitGrid(4, 4);
  addExposedCell({{1, 2}, {2, 2}});
  addExposedNet({{1, 3}, {2, 3}});
  merge();
  EXPECT_EQ(regions(), (Regions{{1, 3, 2, 4, 0}}));
}

TEST_F(MergeTest, GrowthAlongYComesFirst) {
  useUnitGrid(2, 2);
  addExposedCell({{0, 0}, {0, 1}, {1, 0}});
  merge();
  EXPECT_EQ(regions(), (Regions{{0, 1, 0, 2, 0}, {1, 2, 0, 1, 0}}));
}

TEST_F(MergeTest, WholeExposedGridIsOneRegion) {
  useUnitGrid(3, 5);
  std::vector<Bin> all;
  for (int32_t x = 0; x < 3; ++x)
    for (int32_t y = 0; y < 5; ++y) all.push_back({x, y});
  addExposedNet(all);
  merge();
  EXPECT_EQ(regions(), (Regions{{0, 3, 0, 5, 0}}));
}

TEST_F(MergeTest, EarlierRegionStopsLaterGrowth) {
  // The region from (0, 1) takes (1, 1); the region from (1, 0) must not grow into it.
  useUnitGrid(3, 3);
  addExposedCell({{0, 1}, {1, 0}, {1, 1}});
  merge();
  EXPECT_EQ(regions(), (Regions{{0, 2, 1, 2, 0}, {1, 2, 0, 1, 0}}));
}

TEST_F(MergeTest, RegionLayerIsTheLargestMark) {
  useUnitGrid(1, 2);
  addExposedCell({{0, 0}});
  addExposedNet({{0, 1}}, 3);
  merge();
  EXPECT_EQ(regions(), (Regions{{0, 1, 0, 2, 3}}));
  EXPECT_EQ(engine->exposureMap[0][1], 3);
}

TEST_F(MergeTest, MergingAgainRebuildsFromScratch) {
  useUnitGrid(2, 2);
  addExposedCell({{0, 0}, {1, 1}});
  merge();
  const Regions first = regions();
  const std::vector<std::vector<uint8_t>> firstMap = engine->exposureMap;
  merge();
  EXPECT_EQ(regions(), first);
  EXPECT_EQ(engine->exposureMap, firstMap);
}

TEST_F(MergeTest, SummaryAgreesWithExposureLists) {
  useEdges({0.0, 1.0, 3.0, 6.0}, {0.0, 2.0, 2.5});
  engine->cellTotalExposedArea = 6.0;
  engine->netTotalExposedArea = 8.5;
  addExposedCell({{0, 0}, {1, 0}});
  addExposedNet({{2, 0}, {2, 1}, {1, 1}});
  const std::string log = merge();
  EXPECT_EQ(regions(), (Regions{{0, 3, 0, 1, 0}, {1, 3, 1, 2, 0}}));
  EXPECT_EQ(valueAfter(log, "Total Cell Exposed Area: "), "6");
  EXPECT_EQ(valueAfter(log, "Total Net Exposed Area: "), "8.5");
  EXPECT_EQ(valueAfter(log, "Total Exposed Bin Area: "), "14.5");
  EXPECT_EQ(valueAfter(log, "Total Exposed Area After Merge: "), "14.5");
  EXPECT_EQ(valueAfter(log, "Number of exposed bins: "), "5");
  EXPECT_EQ(valueAfter(log, "Number of exposed regions after merge: "), "2");
}

TEST_F(MergeTest, SingleLayerWarnsOncePerNetBin) {
  config.avail_layer = 1;
  useUnitGrid(3, 3);
  addExposedCell({{0, 0}, {0, 1}});
  addExposedNet({{1, 0}, {2, 2}});
  addExposedNet({{2, 0}});
  const std::string log = merge();
  EXPECT_EQ(countOf(log, kTopLayerWarning), 3u);
  EXPECT_EQ(countOf(log, "Warning"), 3u);
  EXPECT_EQ(regions().size(), 3u);  // the merge goes on
}

TEST_F(MergeTest, LowerLayersDoNotWarn) {
  config.avail_layer = 2;
  useUnitGrid(3, 3);
  addExposedCell({{0, 0}});
  addExposedNet({{1, 0}, {2, 2}});
  EXPECT_EQ(countOf(merge(), kTopLayerWarning), 0u);
}

TEST_F(MergeTest, NetBinMarkedWithTopLayerWarnsButCellBinDoesNot) {
  config.avail_layer = 2;
  useUnitGrid(3, 3);
  addExposedCell({{0, 0}}, 1);
  addExposedNet({{1, 0}}, 1);
  EXPECT_EQ(countOf(merge(), kTopLayerWarning), 1u);
}

TEST_F(MergeDeathTest, TwoCellsExposingOneBinEndTheRun) {
  useUnitGrid(3, 3);
  addExposedCell({{1, 2}});
  addExposedCell({{0, 0}, {1, 2}});
  EXPECT_EXIT(mergeWithStdoutOnStderr(*engine), testing::ExitedWithCode(1),
              "Error.*: A bin cannot be exposed twice: \\( 1 , 2 \\)\n");
}

TEST_F(MergeDeathTest, FirstBinExposedTwiceIsNamed) {
  useUnitGrid(3, 3);
  addExposedCell({{2, 1}, {0, 2}});
  addExposedNet({{0, 2}, {2, 1}});
  EXPECT_EXIT(mergeWithStdoutOnStderr(*engine), testing::ExitedWithCode(1),
              "A bin cannot be exposed twice: \\( 0 , 2 \\)\n$");
}

TEST_F(MergeDeathTest, TwoNetsExposingOneBinEndTheRun) {
  useUnitGrid(12, 3);
  addExposedNet({{11, 0}});
  addExposedNet({{11, 0}});
  EXPECT_EXIT(mergeWithStdoutOnStderr(*engine), testing::ExitedWithCode(1),
              "A bin cannot be exposed twice: \\( 11 , 0 \\)\n$");
}

TEST(BinBoxTextTest, LayerIsNotWritten) {
  std::ostringstream out;
  out << BinBox{0, 1, 3, 4, 7} << ";";
  EXPECT_EQ(out.str(), "[x: (0, 1), y: (3, 4)];");
}

TEST(BinBoxTextTest, EmptyBoxShowsItsBounds) {
  std::ostringstream out;
  printBinBox(out, BinBox());
  EXPECT_EQ(out.str(), "[x: (2147483647, -2147483648), y: (2147483647, -2147483648)]");
}

// Random exposure maps: every exposed bin goes to one random cell or net list.
class RandomMergeTest : public MergeTest {
 protected:
  void buildRandomLayout(std::mt19937& random) {
    const int32_t nx = std::uniform_int_distribution<int32_t>(0, 9)(random);
    const int32_t ny = std::uniform_int_distribution<int32_t>(0, 9)(random);
    std::uniform_real_distribution<double> step(0.5, 3.0);
    std::vector<double> xs{0.0}, ys{-1.0};
    for (int32_t i = 0; i < nx; ++i) xs.push_back(xs.back() + step(random));
    for (int32_t i = 0; i < ny; ++i) ys.push_back(ys.back() + step(random));
    useEdges(xs, ys);
    engine->cellExposedBins.assign(3, {});
    engine->netExposedBins.assign(3, {});
    exposed.assign(nx, std::vector<bool>(ny, false));
    const double density = std::uniform_real_distribution<double>(0.1, 0.9)(random);
    std::bernoulli_distribution isExposed(density);
    std::uniform_int_distribution<int32_t> list(0, 5);
    for (int32_t x = 0; x < nx; ++x) {
      for (int32_t y = 0; y < ny; ++y) {
        if (!isExposed(random)) continue;
        exposed[x][y] = true;
        const int32_t k = list(random);
        auto& lists = k < 3 ? engine->cellExposedBins : engine->netExposedBins;
        lists[k % 3].push_back(oneBin({x, y}, 0));
      }
    }
  }

  double binArea(int32_t x, int32_t y) const {
    return (engine->xEdges[x + 1] - engine->xEdges[x]) * (engine->yEdges[y + 1] - engine->yEdges[y]);
  }

  std::vector<std::vector<bool>> exposed;
};

TEST_F(RandomMergeTest, RegionsAreDisjointFullyExposedAndCoverEveryExposedBin) {
  std::mt19937 random(20240607);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    buildRandomLayout(random);
    const std::string log = merge();
    const int32_t nx = static_cast<int32_t>(exposed.size());
    const int32_t ny = nx > 0 ? static_cast<int32_t>(exposed[0].size()) : 0;
    std::vector<std::vector<int32_t>> timesCovered(nx, std::vector<int32_t>(ny, 0));
    for (const BinBox& r : engine->mergedRegions) {
      ASSERT_TRUE(0 <= r.xlo && r.xlo < r.xhi && r.xhi <= nx) << r;
      ASSERT_TRUE(0 <= r.ylo && r.ylo < r.yhi && r.yhi <= ny) << r;
      EXPECT_EQ(r.layer, 0);
      for (int32_t x = r.xlo; x < r.xhi; ++x)
        for (int32_t y = r.ylo; y < r.yhi; ++y) ++timesCovered[x][y];
    }
    int32_t bins = 0;
    double area = 0.0;
    for (int32_t x = 0; x < nx; ++x) {
      for (int32_t y = 0; y < ny; ++y) {
        ASSERT_EQ(timesCovered[x][y], exposed[x][y] ? 1 : 0) << "bin " << x << ", " << y;
        EXPECT_EQ(engine->exposureMap[x][y], exposed[x][y] ? 0 : 255);
        if (exposed[x][y]) ++bins, area += binArea(x, y);
      }
    }
    for (size_t i = 1; i < engine->mergedRegions.size(); ++i) {
      const BinBox& before = engine->mergedRegions[i - 1];
      const BinBox& after = engine->mergedRegions[i];
      EXPECT_LT(std::make_pair(before.xlo, before.ylo), std::make_pair(after.xlo, after.ylo));
    }
    EXPECT_EQ(valueAfter(log, "Number of exposed bins: "), std::to_string(bins));
    EXPECT_EQ(valueAfter(log, "Number of exposed regions after merge: "),
              std::to_string(engine->mergedRegions.size()));
    const double tolerance = 1e-5 * std::max(1.0, area);
    EXPECT_NEAR(std::stod(valueAfter(log, "Total Exposed Bin Area: ")), area, tolerance);
    EXPECT_NEAR(std::stod(valueAfter(log, "Total Exposed Area After Merge: ")), area, tolerance);
  }
}

}  // namespace
