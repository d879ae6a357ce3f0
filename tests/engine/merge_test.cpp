// The region merge on exposure lists set by hand: random maps against their own bins, the greedy
// growth order, the Warning of the top layer and the end of a run on a bin listed twice.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/engine/exposure_fixture.h"

namespace {

struct Bin {
  int32_t x, y;
};

std::vector<BinBox> oneBinBoxes(const std::vector<Bin>& bins, int32_t layer) {
  std::vector<BinBox> boxes;
  for (Bin b : bins) boxes.push_back(BinBox{b.x, b.x + 1, b.y, b.y + 1, layer});
  return boxes;
}

class MergeTest : public ExposureFixture {
 protected:
  // Bins of side 1 from the origin.
  void useUnitGrid(int32_t nx, int32_t ny) {
    engine.xEdges.clear();
    engine.yEdges.clear();
    for (int32_t i = 0; i <= nx; ++i) engine.xEdges.push_back(i);
    for (int32_t i = 0; i <= ny; ++i) engine.yEdges.push_back(i);
  }

  std::string merge() {  // returns the log
    testing::internal::CaptureStdout();
    engine.mergeExposure();
    return testing::internal::GetCapturedStdout();
  }
};

// Every exposed bin goes to one random cell or net list; the regions must be disjoint, inside the
// grid, in scan order and cover exactly the exposed bins; the summary counts them.
TEST_F(MergeTest, RandomMapsGiveDisjointRegionsCoveringExactlyTheExposedBins) {
  std::mt19937 random(20240607);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int32_t nx = random() % 10, ny = random() % 10;
    std::uniform_real_distribution<double> step(0.5, 3.0);
    std::vector<double> xs{0.0}, ys{-1.0};
    for (int32_t i = 0; i < nx; ++i) xs.push_back(xs.back() + step(random));
    for (int32_t i = 0; i < ny; ++i) ys.push_back(ys.back() + step(random));
    engine.xEdges = xs;
    engine.yEdges = ys;
    engine.cellExposedBins.assign(3, {});
    engine.netExposedBins.assign(3, {});
    std::vector<std::vector<int32_t>> exposed(nx, std::vector<int32_t>(ny, 0));
    std::bernoulli_distribution isExposed(std::uniform_real_distribution<double>(0.1, 0.9)(random));
    double area = 0.0;
    int32_t bins = 0;
    for (int32_t x = 0; x < nx; ++x)
      for (int32_t y = 0; y < ny; ++y) {
        if (!isExposed(random)) continue;
        exposed[x][y] = 1;
        ++bins;
        area += (xs[x + 1] - xs[x]) * (ys[y + 1] - ys[y]);
        const int32_t k = random() % 6;
        (k < 3 ? engine.cellExposedBins : engine.netExposedBins)[k % 3].push_back(
            BinBox{x, x + 1, y, y + 1, 0});
      }
    const std::string log = merge();
    std::vector<std::vector<int32_t>> covered(nx, std::vector<int32_t>(ny, 0));
    for (size_t i = 0; i < engine.mergedRegions.size(); ++i) {
      const BinBox& r = engine.mergedRegions[i];
      ASSERT_TRUE(0 <= r.xlo && r.xlo < r.xhi && r.xhi <= nx && r.layer == 0) << r;
      ASSERT_TRUE(0 <= r.ylo && r.ylo < r.yhi && r.yhi <= ny) << r;
      for (int32_t x = r.xlo; x < r.xhi; ++x)
        for (int32_t y = r.ylo; y < r.yhi; ++y) ++covered[x][y];
      if (i > 0) {
        const BinBox& before = engine.mergedRegions[i - 1];
        EXPECT_LT(std::make_pair(before.xlo, before.ylo), std::make_pair(r.xlo, r.ylo));
      }
    }
    EXPECT_EQ(covered, exposed);
    for (int32_t x = 0; x < nx; ++x)
      for (int32_t y = 0; y < ny; ++y) EXPECT_EQ(engine.exposureMap[x][y], exposed[x][y] ? 0 : 255);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m,
                                  std::regex("Bin Area: (.*)\n.*After Merge: (.*)\n.*"
                                             "exposed bins: (.*)\n.*after merge: (.*)")));
    EXPECT_NEAR(std::stod(m[1]), area, 1e-5 * std::max(1.0, area));
    EXPECT_NEAR(std::stod(m[2]), area, 1e-5 * std::max(1.0, area));
    EXPECT_EQ(m[3], std::to_string(bins));
    EXPECT_EQ(m[4], std::to_string(engine.mergedRegions.size()));
  }
}

// Greedy growth from each unmerged bin in scan order: along y first, then x.
TEST_F(MergeTest, RegionsGrowAlongYThenXAndTakeTheLargestMark) {
  struct Case {
    int32_t nx, ny;
    std::vector<Bin> cellBins, netBins;
    int32_t netLayer;
    std::vector<BinBox> regions;
  };
  const std::vector<Case> cases = {
      {2, 2, {{0, 0}, {0, 1}, {1, 0}}, {}, 0, {{0, 1, 0, 2, 0}, {1, 2, 0, 1, 0}}},
      {3, 3, {{0, 1}, {1, 0}, {1, 1}}, {}, 0, {{0, 2, 1, 2, 0}, {1, 2, 0, 1, 0}}},
      {4, 4, {{1, 2}, {2, 2}}, {{1, 3}, {2, 3}}, 0, {{1, 3, 2, 4, 0}}},
      {1, 2, {{0, 0}}, {{0, 1}}, 3, {{0, 1, 0, 2, 3}}},
  };
  for (const Case& c : cases) {
    useUnitGrid(c.nx, c.ny);
    engine.cellExposedBins = {oneBinBoxes(c.cellBins, 0)};
    engine.netExposedBins = {oneBinBoxes(c.netBins, c.netLayer)};
    merge();
    EXPECT_EQ(engine.mergedRegions, c.regions);
  }
}

// One Warning per exposed net bin when only one layer is available, or when a net bin is marked
// with the top layer; cell bins never warn.
TEST_F(MergeTest, ExposedNetBinOnTheTopLayerWarns) {
  for (const auto& [availLayer, mark, warnings] :
       std::vector<std::tuple<int32_t, int32_t, int>>{{1, 0, 3}, {2, 0, 0}, {2, 1, 3}}) {
    config.avail_layer = availLayer;
    useUnitGrid(3, 3);
    engine.cellExposedBins = {oneBinBoxes({{0, 0}, {0, 1}}, mark)};
    engine.netExposedBins = {oneBinBoxes({{1, 0}, {2, 2}}, mark), oneBinBoxes({{2, 0}}, mark)};
    const std::string log = merge();
    int found = 0;
    for (size_t at = log.find("Warning"); at != std::string::npos; at = log.find("Warning", at + 1))
      ++found;
    EXPECT_EQ(found, warnings) << availLayer << " " << mark;
  }
}

// The first bin found marked twice is named: cells are marked before nets.
TEST_F(MergeTest, BinExposedTwiceEndsTheRun) {
  useUnitGrid(12, 3);
  engine.cellExposedBins = {oneBinBoxes({{2, 1}, {0, 2}}, 0)};
  engine.netExposedBins = {oneBinBoxes({{11, 0}, {0, 2}, {2, 1}}, 0)};
  EXPECT_EXIT((dup2(STDERR_FILENO, STDOUT_FILENO), engine.mergeExposure()),
              testing::ExitedWithCode(1),
              "Error.*: A bin cannot be exposed twice: \\( 0 , 2 \\)\n$");
}

}  // namespace
