#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/engine/exposure_fixture.h"

namespace {

constexpr int32_t kMetal1 = 0;
constexpr int32_t kMetal2 = 1;
constexpr int32_t kMetal3 = 2;
constexpr int32_t kMetal4 = 3;

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

TEST_F(NetExposureTest, OverlapAcrossLayersIsCountedOnceInTotalArea) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addSegment(net, kMetal3, 2, 0, 6, 2);
  addSegment(net, kMetal1, 1, 0, 3, 2);
  calcExposure();
  EXPECT_EQ(engine.netTotalArea[0], 12.0);
  EXPECT_EQ(engine.netExposedArea[0], 12.0);
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

TEST_F(NetExposureTest, BinsAreListedBySegmentThenXThenY) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal2, 2, 0, 4, 4);  // x edges 0 2 4, y edges 0 2 4
  addSegment(net, kMetal1, 0, 2, 4, 4);
  calcExposure();
  EXPECT_EQ(engine.netExposedBins[0],
            (std::vector<BinBox>{bin(1, 0), bin(1, 1), bin(0, 1)}));
  EXPECT_EQ(engine.netExposedArea[0], engine.netTotalArea[0]);
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

TEST_F(NetExposureTest, HigherLayerHidesBin) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addCover(kMetal2, 0, 0, 1, 2);
  calcExposure();
  EXPECT_EQ(engine.netExposedArea[0], 6.0);
  EXPECT_EQ(engine.netExposedRatio[0], 0.75);
}

TEST_F(NetExposureTest, SameLayerCoverDoesNotHide) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal2, 0, 0, 4, 2);
  addCover(kMetal2, 0, 0, 4, 2);
  addCover(kMetal1, 0, 0, 4, 2);
  calcExposure();
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

TEST_F(NetExposureTest, WhollyCoveredNetHasRatioZero) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addSegment(net, kMetal2, 0, 0, 2, 2);
  addCover(kMetal3, -1, -1, 5, 3);
  calcExposure();
  EXPECT_TRUE(engine.netExposedBins[0].empty());
  EXPECT_EQ(engine.netExposedArea[0], 0.0);
  EXPECT_EQ(engine.netExposedRatio[0], 0.0);
  EXPECT_EQ(engine.netTotalArea[0], 8.0);
}

TEST_F(NetExposureTest, BinIsAppendedOnceForTheHigherSegment) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);  // bins 0 1 (x edges 0 2 4)
  addSegment(net, kMetal3, 2, 0, 4, 2);  // bin 1 again, two layers up
  addCover(kMetal2, 2, 0, 4, 2);         // hides bin 1 from metal1 only
  calcExposure();
  EXPECT_EQ(engine.netExposedBins[0], (std::vector<BinBox>{bin(0, 0), bin(1, 0)}));
  EXPECT_EQ(engine.netExposedArea[0], 8.0);
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

TEST_F(NetExposureTest, OwnSegmentAboveHidesOnlyFromBelow) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addSegment(net, kMetal2, 2, 0, 4, 2);
  calcExposure();
  // Bin 1 is hidden from metal1 by the net's own metal2, which then exposes it itself.
  EXPECT_EQ(engine.netExposedBins[0], (std::vector<BinBox>{bin(0, 0), bin(1, 0)}));
}

TEST_F(NetExposureTest, TotalsOverAssetNetsInOrder) {
  const int32_t a = addAssetNet("a");
  addPlainNet("plain");
  const int32_t b = addAssetNet("b");
  addSegment(a, kMetal1, 0, 0, 2, 2);
  addSegment(b, kMetal1, 2, 0, 6, 2);
  addCover(kMetal4, 2, 0, 5, 2);
  calcExposure();
  ASSERT_EQ(engine.netTotalArea.size(), 2u);
  EXPECT_EQ(engine.netTotalArea[1], 8.0);
  EXPECT_EQ(engine.netExposedRatio[1], 0.25);
  EXPECT_EQ(engine.netTotalExposedArea, 4.0 + 2.0);
  EXPECT_EQ(engine.netMaxRatio, 1.0);
  EXPECT_EQ(engine.netMeanRatio, 1.25 / 2.0);
}

TEST_F(NetExposureTest, OneAssetNetGivesItsOwnMaxAndMean) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addCover(kMetal2, 0, 0, 3, 2);
  calcExposure();
  EXPECT_EQ(engine.netMaxRatio, 0.25);
  EXPECT_EQ(engine.netMeanRatio, 0.25);
  EXPECT_EQ(engine.netTotalExposedArea, 2.0);
}

TEST_F(NetExposureTest, NoAssetNetsGiveZeroTotals) {
  addCover(kMetal1, 0, 0, 1, 1);
  addCell("u1", 0, 0, 2, 2);
  calcExposure();
  EXPECT_TRUE(engine.netTotalArea.empty());
  EXPECT_EQ(engine.netTotalExposedArea, 0.0);
  EXPECT_EQ(engine.netMaxRatio, 0.0);
  EXPECT_EQ(engine.netMeanRatio, 0.0);
}

TEST_F(NetExposureTest, TotalAreaOfExactlyTheBoundPasses) {
  const int32_t net = addAssetNet("tiny");
  addSegment(net, kMetal1, 0, 0, 1, 1e-06);
  calcExposure();
  EXPECT_EQ(engine.netTotalArea[0], 1e-06);
  EXPECT_EQ(engine.netExposedRatio[0], 1.0);
}

TEST_F(NetExposureTest, ZeroAreaNetEndsTheRunNamingTheFirstInAssetOrder) {
  for (int32_t k = 0; k < 40; ++k) {
    const int32_t net = addAssetNet("n" + std::to_string(k));
    const bool flat = k == 23 || k == 31;
    addSegment(net, kMetal1, k, 0, flat ? k : k + 1, 400 - 10 * (k % 7));
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

TEST_F(NetExposureTest, StandaloneStepLogsItsTwoLines) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 4, 2);
  addCover(kMetal2, 0, 0, 2, 2);
  place();
  testing::internal::CaptureStdout();
  engine.calcNetExposure();
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_NE(log.find("] ==============Calculating Net Asset Exposed Area...\n"), std::string::npos);
  EXPECT_NE(log.find("] Finished Net Asset Exposed Area Calculation\n"), std::string::npos);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
  EXPECT_EQ(engine.netExposedRatio[0], 0.5);
}

TEST_F(NetExposureTest, RunLogsItsLinesInOrder) {
  addCell("u1", 0, 0, 1, 1);
  const std::string log = calcExposure();
  const char* lines[] = {"==============Start exposed region calculation...",
                         "==============Calculating Cell Asset Exposed Area...",
                         "Finished Cell Asset Exposed Area Calculation",
                         "==============Calculating Net Asset Exposed Area...",
                         "Finished Net Asset Exposed Area Calculation"};
  size_t from = 0;
  for (const char* line : lines) {
    const size_t at = log.find(std::string("] ") + line + "\n", from);
    ASSERT_NE(at, std::string::npos) << line;
    from = at + 1;
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 5);
}

}  // namespace
