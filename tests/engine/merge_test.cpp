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

// Without exposed bins, and without bins at all (a layout with no shapes), nothing is merged.
TEST_F(MergeTest, NoExposedBinsGiveNoRegionAndZeroSummary) {
  const std::vector<std::pair<std::vector<double>, std::vector<double>>> grids = {
      {{0, 1, 2, 3}, {0, 1, 2}}, {{}, {}}, {{4.0}, {1.0, 2.0}}};
  for (const auto& [xs, ys] : grids) {
    useEdges(xs, ys);
    engine->cellExposedBins = {{}};
    engine->netExposedBins = {{}};
    const std::string log = merge();
    EXPECT_TRUE(engine->mergedRegions.empty());
    const size_t nx = xs.size() > 1 ? xs.size() - 1 : 0;
    const size_t ny = nx > 0 && ys.size() > 1 ? ys.size() - 1 : 0;
    EXPECT_EQ(engine->exposureMap,
              std::vector<std::vector<uint8_t>>(nx, std::vector<uint8_t>(ny, 255)));
    for (const char* label :
         {"Total Exposed Bin Area: ", "Total Exposed Area After Merge: ",
          "Number of exposed bins: ", "Number of exposed regions after merge: "})
      EXPECT_EQ(valueAfter(log, label), "0") << label << " of " << xs.size() << " x edges";
  }
}

// The areas of the exposure lists are passed on; the bin areas are measured on the grid.
TEST_F(MergeTest, SummaryLinesComeInOrderAndAgreeWithTheExposureLists) {
  useEdges({0.0, 1.0, 3.0, 6.0}, {0.0, 2.0, 2.5});
  engine->cellTotalExposedArea = 6.0;
  engine->netTotalExposedArea = 8.5;
  addExposedCell({{0, 0}, {1, 0}});
  addExposedNet({{2, 0}, {2, 1}, {1, 1}});
  const std::string log = merge();
  EXPECT_EQ(regions(), (Regions{{0, 3, 0, 1, 0}, {1, 3, 1, 2, 0}}));
  EXPECT_EQ(std::regex_replace(log, std::regex(R"(\[ *[0-9.]+\] )"), ""),
            "==============Merging Cell and Net Exposed Area...\n"
            "Total Cell Exposed Area: 6\n"
            "Total Net Exposed Area: 8.5\n"
            "Total Exposed Bin Area: 14.5\n"
            "Total Exposed Area After Merge: 14.5\n"
            "Number of exposed bins: 5\n"
            "Number of exposed regions after merge: 2\n"
            "Finish Merging Cell and Net Exposed Area\n");
}

// Greedy growth from each unmerged bin in scan order: along y first, then x.
TEST_F(MergeTest, RegionsGrowAlongYThenX) {
  struct Case {
    const char* rule;
    int32_t nx, ny;
    std::vector<Bin> cellBins;
    std::vector<Bin> netBins;
    int32_t netLayer;
    Regions regions;
  };
  std::vector<Bin> all;
  for (int32_t x = 0; x < 3; ++x)
    for (int32_t y = 0; y < 5; ++y) all.push_back({x, y});
  const std::vector<Case> cases = {
      {"single bin", 4, 3, {}, {{2, 1}}, 0, {{2, 3, 1, 2, 0}}},
      {"2x2 block", 4, 4, {{1, 2}, {2, 2}}, {{1, 3}, {2, 3}}, 0, {{1, 3, 2, 4, 0}}},
      {"L-shape", 2, 2, {{0, 0}, {0, 1}, {1, 0}}, {}, 0, {{0, 1, 0, 2, 0}, {1, 2, 0, 1, 0}}},
      {"whole grid", 3, 5, {}, all, 0, {{0, 3, 0, 5, 0}}},
      {"earlier region stops later growth", 3, 3, {{0, 1}, {1, 0}, {1, 1}}, {}, 0,
       {{0, 2, 1, 2, 0}, {1, 2, 0, 1, 0}}},
      {"region layer is the largest mark", 1, 2, {{0, 0}}, {{0, 1}}, 3, {{0, 1, 0, 2, 3}}},
  };
  for (const Case& c : cases) {
    useUnitGrid(c.nx, c.ny);
    engine->cellExposedBins = {oneBinBoxes(c.cellBins, 0)};
    engine->netExposedBins = {oneBinBoxes(c.netBins, c.netLayer)};
    merge();
    EXPECT_EQ(regions(), c.regions) << c.rule;
  }
  EXPECT_EQ(engine->exposureMap[0][0], 0);
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

// One Warning per exposed net bin when only one layer is available, or when a net bin is
// marked with the top layer; cell bins never warn, and the merge goes on.
TEST_F(MergeTest, ExposedNetBinOnTheTopLayerWarns) {
  struct Case {
    int32_t availLayer;
    int32_t mark;
    size_t warnings;
  };
  for (const Case& c : {Case{1, 0, 3}, Case{2, 0, 0}, Case{3, 0, 0}, Case{2, 1, 3}}) {
    config.avail_layer = c.availLayer;
    useUnitGrid(3, 3);
    engine->cellExposedBins = {oneBinBoxes({{0, 0}, {0, 1}}, c.mark)};
    engine->netExposedBins = {oneBinBoxes({{1, 0}, {2, 2}}, c.mark), oneBinBoxes({{2, 0}}, c.mark)};
    const std::string log = merge();
    EXPECT_EQ(countOf(log, kTopLayerWarning), c.warnings) << c.availLayer << " " << c.mark;
    EXPECT_EQ(countOf(log, "Warning"), c.warnings);
    EXPECT_EQ(regions().size(), 3u);
  }
}

// The first bin found marked twice is named: cells are marked before nets.
TEST_F(MergeDeathTest, BinExposedTwiceEndsTheRun) {
  struct Case {
    std::vector<std::vector<Bin>> cells;
    std::vector<std::vector<Bin>> nets;
    const char* bin;
  };
  const std::vector<Case> cases = {{{{{1, 2}}, {{0, 0}, {1, 2}}}, {}, "1 , 2"},
                                   {{{{2, 1}, {0, 2}}}, {{{0, 2}, {2, 1}}}, "0 , 2"},
                                   {{}, {{{11, 0}}, {{11, 0}}}, "11 , 0"}};
  for (const Case& c : cases) {
    useUnitGrid(12, 3);
    engine->cellExposedBins.clear();
    engine->netExposedBins.clear();
    for (const auto& bins : c.cells) addExposedCell(bins);
    for (const auto& bins : c.nets) addExposedNet(bins);
    EXPECT_EXIT(mergeWithStdoutOnStderr(*engine), testing::ExitedWithCode(1),
                std::string("Error.*: A bin cannot be exposed twice: \\( ") + c.bin + " \\)\n$");
  }
}

TEST(BinBoxTextTest, BoundsWithoutTheLayer) {
  std::ostringstream out;
  out << BinBox{0, 1, 3, 4, 7} << ";";
  printBinBox(out, BinBox());
  EXPECT_EQ(out.str(),
            "[x: (0, 1), y: (3, 4)];"
            "[x: (2147483647, -2147483648), y: (2147483647, -2147483648)]");
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
        if (!exposed[x][y]) continue;
        ++bins;
        area += (engine->xEdges[x + 1] - engine->xEdges[x]) *
                (engine->yEdges[y + 1] - engine->yEdges[y]);
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
