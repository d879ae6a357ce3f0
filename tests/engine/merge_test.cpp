// The region merge on random exposure lists set by hand, checked against the lists themselves.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/engine/exposure_fixture.h"

namespace {

class MergeTest : public ExposureFixture {
 protected:
  std::string merge() {  // returns the log
    testing::internal::CaptureStdout();
    engine.mergeExposure();
    return testing::internal::GetCapturedStdout();
  }
};

// Every exposed bin goes to one random cell or net list with a random layer mark. The regions,
// each started at the first bin in column-major order that no earlier region holds, must cover
// exactly the exposed bins, grown until neither the row above nor the column to the right is
// free, with the largest mark of their bins. Net bins marked with the top layer warn once each.
TEST_F(MergeTest, RandomListsGiveMaximalDisjointRegionsCoveringExactlyTheExposedBins) {
  std::mt19937 random(20240607);
  std::uniform_real_distribution<double> step(0.5, 3.0);
  for (int trial = 0; trial < 300; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const int32_t nx = random() % 10, ny = random() % 10;
    config.avail_layer = 1 + random() % 3;
    engine.xEdges = {0.0};
    engine.yEdges = {-1.0};
    for (int32_t i = 0; i < nx; ++i) engine.xEdges.push_back(engine.xEdges.back() + step(random));
    for (int32_t i = 0; i < ny; ++i) engine.yEdges.push_back(engine.yEdges.back() + step(random));
    engine.cellExposedBins.assign(3, {});
    engine.netExposedBins.assign(3, {});
    std::vector<std::vector<uint8_t>> mark(nx, std::vector<uint8_t>(ny, 255)), owner = mark;
    std::bernoulli_distribution isExposed(std::uniform_real_distribution<double>(0.1, 0.9)(random));
    double area = 0.0;
    int32_t bins = 0, warnings = 0;
    for (int32_t x = 0; x < nx; ++x)
      for (int32_t y = 0; y < ny; ++y) {
        if (!isExposed(random)) continue;
        mark[x][y] = random() % config.avail_layer;
        ++bins;
        area +=
            (engine.xEdges[x + 1] - engine.xEdges[x]) * (engine.yEdges[y + 1] - engine.yEdges[y]);
        const int32_t k = random() % 6;
        warnings += k >= 3 && mark[x][y] == config.avail_layer - 1;
        (k < 3 ? engine.cellExposedBins : engine.netExposedBins)[k % 3].push_back(
            BinBox{x, x + 1, y, y + 1, mark[x][y]});
      }
    const std::string log = merge();
    EXPECT_EQ(engine.exposureMap, mark);
    auto free = [&](int32_t x, int32_t y) { return mark[x][y] != 255 && owner[x][y] == 255; };
    for (size_t i = 0; i < engine.mergedRegions.size(); ++i) {
      const BinBox& r = engine.mergedRegions[i];
      ASSERT_TRUE(0 <= r.xlo && r.xlo < r.xhi && r.xhi <= nx && 0 <= r.ylo && r.ylo < r.yhi &&
                  r.yhi <= ny)
          << r;
      for (int32_t x = 0; x < nx; ++x)  // no free bin before the start
        for (int32_t y = 0; y < (x < r.xlo ? ny : x == r.xlo ? r.ylo : 0); ++y)
          EXPECT_FALSE(free(x, y)) << r;
      int32_t layer = 0;
      for (int32_t x = r.xlo; x < r.xhi; ++x)
        for (int32_t y = r.ylo; y < r.yhi; ++y) {
          ASSERT_TRUE(free(x, y)) << r;
          owner[x][y] = 0;
          layer = std::max<int32_t>(layer, mark[x][y]);
        }
      EXPECT_EQ(r.layer, layer);
      bool rowAbove = r.yhi < ny, columnRight = r.xhi < nx;
      for (int32_t x = r.xlo; rowAbove && x < r.xhi; ++x) rowAbove = free(x, r.yhi);
      for (int32_t y = r.ylo; columnRight && y < r.yhi; ++y) columnRight = free(r.xhi, y);
      EXPECT_FALSE(rowAbove || columnRight) << r;
    }
    for (int32_t x = 0; x < nx; ++x)
      for (int32_t y = 0; y < ny; ++y) EXPECT_FALSE(free(x, y)) << x << "," << y;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m,
                                  std::regex("Bin Area: (.*)\n.*After Merge: (.*)\n.*"
                                             "exposed bins: (.*)\n.*after merge: (.*)")));
    EXPECT_NEAR(std::stod(m[1]), area, 1e-5 * std::max(1.0, area));
    EXPECT_NEAR(std::stod(m[2]), area, 1e-5 * std::max(1.0, area));
    EXPECT_EQ(m[3], std::to_string(bins));
    EXPECT_EQ(m[4], std::to_string(engine.mergedRegions.size()));
    int found = 0;
    for (size_t at = log.find("Warning"); at != std::string::npos; at = log.find("Warning", at + 1))
      ++found;
    EXPECT_EQ(found, warnings);
  }
}

}  // namespace
