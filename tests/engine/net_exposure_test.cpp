#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/engine/exposure_fixture.h"

namespace {

class NetExposureTest : public ExposureFixture {
 protected:
  // Runs `step` in a death test with its standard output sent to the standard error, where
  // the death test's pattern looks.
  template <typename Step>
  static void runLogged(const Step& step) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    step();
  }

  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Metal of the one asset net of a case (own) or of a plain net.
struct Metal {
  bool own;
  int32_t layer;
  double xlo, ylo, xhi, yhi;
};

TEST_F(NetExposureTest, BinIsExposedWhenNoHigherLayerCoversItAndCountedOnce) {
  const struct {
    const char* rule;
    std::vector<Metal> metal;
    std::vector<BinBox> exposed;  // bins of x edges 0 2 4 ... unless the rule says otherwise
    double exposedArea, totalArea;
  } cases[] = {
      {"overlap across layers is counted once (x edges 0 1 2 3 4 6)",
       {{true, kMetal1, 0, 0, 4, 2}, {true, kMetal3, 2, 0, 6, 2}, {true, kMetal1, 1, 0, 3, 2}},
       {bin(0, 0), bin(1, 0), bin(2, 0), bin(3, 0), bin(4, 0)}, 12.0, 12.0},
      {"bins are listed by segment, then x, then y",
       {{true, kMetal2, 0, 0, 2, 2}, {true, kMetal1, 0, 0, 4, 4}},
       {bin(0, 0), bin(0, 1), bin(1, 0), bin(1, 1)}, 16.0, 16.0},
      {"a higher layer hides a bin (x edges 0 1 4)",
       {{true, kMetal1, 0, 0, 4, 2}, {false, kMetal2, 0, 0, 1, 2}}, {bin(1, 0)}, 6.0, 8.0},
      {"cover on the same layer or below does not hide",
       {{true, kMetal2, 0, 0, 4, 2}, {false, kMetal2, 0, 0, 4, 2}, {false, kMetal1, 0, 0, 4, 2}},
       {bin(0, 0)}, 8.0, 8.0},
      {"a bin hidden from a segment is appended once for the higher segment",
       {{true, kMetal1, 0, 0, 4, 2}, {true, kMetal3, 2, 0, 4, 2}, {false, kMetal2, 2, 0, 4, 2}},
       {bin(0, 0), bin(1, 0)}, 8.0, 8.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    clearLayout();
    const int32_t net = addAssetNet("a");
    for (const Metal& m : c.metal) {
      if (m.own) addSegment(net, m.layer, m.xlo, m.ylo, m.xhi, m.yhi);
      else addCover(m.layer, m.xlo, m.ylo, m.xhi, m.yhi);
    }
    calcExposure();
    EXPECT_EQ(engine.netExposedBins[0], c.exposed);
    EXPECT_EQ(engine.netExposedArea[0], c.exposedArea);
    EXPECT_EQ(engine.netTotalArea[0], c.totalArea);
    EXPECT_EQ(engine.netExposedRatio[0], c.exposedArea / c.totalArea);
  }
}

TEST_F(NetExposureTest, TotalAreaOfExactlyTheBoundPasses) {
  addSegment(addAssetNet("tiny"), kMetal1, 0, 0, 1, 1e-06);
  calcExposure();
  EXPECT_EQ(engine.netTotalArea[0], 1e-06);
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

// Of 40 nets on 8 threads, n23 (just under the bound) and n31 (flat) have too little area.
TEST_F(NetExposureTest, NetUnderTheAreaBoundEndsTheRunNamingTheFirstInAssetOrder) {
  for (int32_t k = 0; k < 40; ++k) {
    const int32_t net = addAssetNet("n" + std::to_string(k));
    const double height = k == 23 ? 0.99e-06 : 400 - 10 * (k % 7);
    addSegment(net, kMetal1, k, 0, k == 31 ? k : k + 1, height);
  }
  place();
  omp_set_num_threads(8);
  EXPECT_EXIT(runLogged([&] { engine.calcExposure(); }), testing::ExitedWithCode(1),
              "Finished Cell Asset Exposed Area Calculation\n"
              "[^\n]*Calculating Net Asset Exposed Area...\n"
              "[^\n]*Error[^\n]*: Found net asset with zero exposable area: n23\n$");
}

TEST_F(NetExposureTest, CalcExposureRefusesAnEngineNotDiscretized) {
  addCell("u1", 0, 0, 1, 1);
  EXPECT_EXIT(runLogged([&] { engine.calcExposure(); }), testing::ExitedWithCode(1),
              "^\\[ *[0-9.]+\\] [^\n]*Error[^\n]*: "
              "Please call discretize first before exposed area calculation\n$");
}

}  // namespace
