#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/exposure_fixture.h"

namespace {

constexpr int32_t kMetal1 = 0;
constexpr int32_t kMetal6 = 5;

using CellExposureTest = ExposureFixture;

TEST_F(CellExposureTest, OneBinCellWithoutMetalIsWhollyExposed) {
  addCell("u1", 1.5, 2.0, 4.0, 2.75);
  calcExposure();
  EXPECT_EQ(engine.cellExposedBins[0], std::vector<BinBox>{bin(0, 0)});
  EXPECT_EQ(engine.cellExposedArea[0], 2.5 * 0.75);
  EXPECT_EQ(engine.cellExposedRatio[0], 1.0);
}

TEST_F(CellExposureTest, HalfUnderMetalListsOnlyOuterBinsColumnByColumn) {
  addCell("u1", 0, 0, 4, 4);
  addCover(kMetal1, 2, 0, 4, 2);  // bins: x edges 0 2 4, y edges 0 2 4
  calcExposure();
  EXPECT_EQ(engine.cellExposedBins[0], (std::vector<BinBox>{bin(0, 0), bin(0, 1), bin(1, 1)}));
  EXPECT_EQ(engine.cellExposedArea[0], 12.0);
  EXPECT_EQ(engine.cellExposedRatio[0], 0.75);
}

TEST_F(CellExposureTest, MetalOfAnyLayerAndAnyNetCovers) {
  addCell("u1", 0, 0, 2, 2);
  addCell("u2", 4, 0, 6, 2);
  addCover(kMetal6, 0, 0, 2, 2);
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 4, 0, 6, 2);
  calcExposure();
  for (int32_t cell : {0, 1}) {
    EXPECT_TRUE(engine.cellExposedBins[cell].empty()) << cell;
    EXPECT_EQ(engine.cellExposedArea[cell], 0.0) << cell;
    EXPECT_EQ(engine.cellExposedRatio[cell], 0.0) << cell;
  }
}

TEST_F(CellExposureTest, MetalTouchingAnEdgeCoversNothing) {
  addCell("u1", 0, 0, 2, 2);
  addCover(kMetal1, 2, 0, 3, 2);   // right edge
  addCover(kMetal1, -1, 2, 3, 5);  // top edge
  addCover(kMetal1, -2, -2, 0, 0); // lower left corner
  calcExposure();
  EXPECT_EQ(engine.cellExposedArea[0], 4.0);
  EXPECT_EQ(engine.cellExposedRatio[0], 1.0);
}

TEST_F(CellExposureTest, OverlappingCellsAreMeasuredIndependently) {
  addCell("u1", 0, 0, 4, 2);
  addCell("u2", 2, 0, 6, 2);
  addCover(kMetal1, 0, 0, 1, 2);
  calcExposure();
  // x edges 0 1 2 4 6: the shared bin 2 appears in both lists.
  EXPECT_EQ(engine.cellExposedBins[0], (std::vector<BinBox>{bin(1, 0), bin(2, 0)}));
  EXPECT_EQ(engine.cellExposedBins[1], (std::vector<BinBox>{bin(2, 0), bin(3, 0)}));
  EXPECT_EQ(engine.cellExposedArea[0], 6.0);
  EXPECT_EQ(engine.cellExposedArea[1], 8.0);
  EXPECT_EQ(engine.cellTotalExposedArea, 14.0);
}

TEST_F(CellExposureTest, TotalsFollowCellOrder) {
  addCell("u1", 0, 0, 2, 2);
  addCell("u2", 2, 0, 4, 2);
  addCell("u3", 4, 0, 8, 2);
  addCover(kMetal1, 2, 0, 4, 2);
  addCover(kMetal1, 4, 0, 7, 2);
  calcExposure();
  EXPECT_EQ(engine.cellTotalExposedArea, 4.0 + 0.0 + 2.0);
  EXPECT_EQ(engine.cellMaxRatio, 1.0);
  EXPECT_EQ(engine.cellMeanRatio, (1.0 + 0.0 + 0.25) / 3.0);
}

TEST_F(CellExposureTest, FlatCellFirstMakesMaxAndMeanNaN) {
  addCell("flat", 1, 0, 1, 2);
  addCell("u1", 2, 0, 4, 2);
  calcExposure();
  EXPECT_TRUE(engine.cellExposedBins[0].empty());
  EXPECT_EQ(engine.cellExposedArea[0], 0.0);
  EXPECT_TRUE(std::isnan(engine.cellExposedRatio[0]));
  EXPECT_TRUE(std::isnan(engine.cellMaxRatio));
  EXPECT_TRUE(std::isnan(engine.cellMeanRatio));
}

TEST_F(CellExposureTest, FlatCellLaterLeavesMaxToTheOthers) {
  addCell("u1", 2, 0, 4, 2);
  addCell("flat", 1, 0, 1, 2);
  addCover(kMetal1, 3, 0, 4, 2);
  calcExposure();
  EXPECT_TRUE(std::isnan(engine.cellExposedRatio[1]));
  EXPECT_EQ(engine.cellMaxRatio, 0.5);
  EXPECT_TRUE(std::isnan(engine.cellMeanRatio));
}

TEST_F(CellExposureTest, ReversedCellCoversNoBinAndKeepsItsSignedArea) {
  addCell("rx", 4, 0, 2, 2);  // x reversed: area -4, ratio -0.0
  addCell("rxy", 4, 2, 2, 0); // both reversed: area 4, ratio 0.0
  calcExposure();
  EXPECT_TRUE(engine.cellExposedBins[0].empty());
  EXPECT_EQ(engine.cellExposedRatio[0], 0.0);
  EXPECT_TRUE(std::signbit(engine.cellExposedRatio[0]));
  EXPECT_FALSE(std::signbit(engine.cellExposedRatio[1]));
}

TEST_F(CellExposureTest, NoCellsGiveZeroTotals) {
  const int32_t net = addAssetNet("a");
  addSegment(net, kMetal1, 0, 0, 1, 1);
  calcExposure();
  EXPECT_TRUE(engine.cellExposedArea.empty());
  EXPECT_EQ(engine.cellTotalExposedArea, 0.0);
  EXPECT_EQ(engine.cellMaxRatio, 0.0);
  EXPECT_EQ(engine.cellMeanRatio, 0.0);
}

TEST_F(CellExposureTest, LayoutWithoutShapesRunsToTheEndWithEmptyResults) {
  const std::string log = calcExposure();
  EXPECT_TRUE(engine.xEdges.empty());
  EXPECT_TRUE(engine.cellExposedBins.empty());
  EXPECT_TRUE(engine.netExposedBins.empty());
  EXPECT_EQ(engine.netMaxRatio, 0.0);
  EXPECT_EQ(engine.netMeanRatio, 0.0);
  EXPECT_NE(log.find("Finished Net Asset Exposed Area Calculation\n"), std::string::npos);
}

TEST_F(CellExposureTest, SecondRunStartsFromEmptyLists) {
  addCell("u1", 0, 0, 4, 2);
  addCover(kMetal1, 0, 0, 1, 2);
  calcExposure();
  const std::vector<BinBox> once = engine.cellExposedBins[0];
  testing::internal::CaptureStdout();
  engine.calcCellExposure();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(engine.cellExposedBins[0], once);
  EXPECT_EQ(engine.cellExposedArea[0], 6.0);
}

TEST_F(CellExposureTest, StandaloneStepLogsItsTwoLines) {
  addCell("u1", 0, 0, 1, 1);
  place();
  testing::internal::CaptureStdout();
  engine.calcCellExposure();
  const std::string log = testing::internal::GetCapturedStdout();
  const size_t heading = log.find("] ==============Calculating Cell Asset Exposed Area...\n");
  const size_t finished = log.find("] Finished Cell Asset Exposed Area Calculation\n");
  ASSERT_NE(heading, std::string::npos);
  ASSERT_NE(finished, std::string::npos);
  EXPECT_LT(heading, finished);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);
  EXPECT_EQ(engine.cellExposedRatio[0], 1.0);
}

}  // namespace
