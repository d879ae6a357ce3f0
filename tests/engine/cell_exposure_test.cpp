#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <string>

#include "tests/engine/exposure_fixture.h"

namespace {

class CellExposureTest : public ExposureFixture {
 protected:
  void expectCell(int32_t cell, const std::vector<BinBox>& bins, double area, double ratio) {
    EXPECT_EQ(engine.cellExposedBins[cell], bins) << "cell " << cell;
    EXPECT_EQ(engine.cellExposedArea[cell], area) << "cell " << cell;
    EXPECT_EQ(engine.cellExposedRatio[cell], ratio) << "cell " << cell;
  }
};

// Equal, or both NaN.
bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Column by column: bin (0, 1) comes before bin (1, 0).
TEST_F(CellExposureTest, HalfUnderMetalOfAnyLayerAndNetListsTheOtherBinsColumnByColumn) {
  addCell("u1", 0, 0, 4, 4);  // bins: x edges 0 2 4, y edges 0 2 4
  addCover(kMetal1, 0, 0, 2, 2);
  addSegment(addAssetNet("a"), kMetal6, 2, 2, 4, 4);
  calcExposure();
  expectCell(0, {bin(0, 1), bin(1, 0)}, 8.0, 0.5);
}

TEST_F(CellExposureTest, MetalTouchingAnEdgeCoversNothing) {
  addCell("u1", 1.5, 2.0, 4.0, 2.75);
  addCover(kMetal1, 4.0, 2.0, 5.0, 2.75);  // right edge
  addCover(kMetal1, 1.0, 2.75, 5.0, 3.0);  // top edge
  addCover(kMetal1, 0.0, 0.0, 1.5, 2.0);   // lower left corner
  calcExposure();
  // x edges 0 1 1.5 4 5, y edges 0 2 2.75 3
  expectCell(0, {bin(2, 1)}, 2.5 * 0.75, 1.0);
}

TEST_F(CellExposureTest, OverlappingCellsAreMeasuredIndependently) {
  addCell("u1", 0, 0, 4, 2);
  addCell("u2", 2, 0, 6, 2);
  addCover(kMetal1, 0, 0, 1, 2);
  calcExposure();
  // x edges 0 1 2 4 6: the shared bin 2 appears in both lists.
  expectCell(0, {bin(1, 0), bin(2, 0)}, 6.0, 0.75);
  expectCell(1, {bin(2, 0), bin(3, 0)}, 8.0, 1.0);
  EXPECT_EQ(engine.cellTotalExposedArea, 14.0);
}

// Cells a, b and c are exposed 1, 0 and 1/4; the flat cell f has the ratio 0/0. Its NaN spoils
// the mean wherever it comes, the maximum only when it comes first.
TEST_F(CellExposureTest, TotalsFollowCellOrderAndAFlatCellFirstMakesTheMaxNaN) {
  const std::map<char, std::array<double, 4>> shapes = {
      {'a', {0, 0, 2, 2}}, {'b', {2, 0, 4, 2}}, {'c', {4, 0, 8, 2}}, {'f', {1, 0, 1, 2}}};
  const double nan = std::nan("");
  const struct {
    std::string order;
    double max, mean;
  } cases[] = {{"abc", 1.0, 1.25 / 3.0}, {"abcf", 1.0, nan}, {"fabc", nan, nan}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order);
    clearLayout();
    for (char name : c.order) {
      const std::array<double, 4>& r = shapes.at(name);
      addCell(std::string(1, name), r[0], r[1], r[2], r[3]);
    }
    addCover(kMetal1, 2, 0, 4, 2);
    addCover(kMetal1, 4, 0, 7, 2);
    calcExposure();
    EXPECT_EQ(engine.cellTotalExposedArea, 4.0 + 0.0 + 2.0);
    EXPECT_PRED2(same, engine.cellMaxRatio, c.max);
    EXPECT_PRED2(same, engine.cellMeanRatio, c.mean);
  }
}

TEST_F(CellExposureTest, ReversedCellCoversNoBinAndKeepsItsSignedArea) {
  addCell("rx", 4, 0, 2, 2);   // x reversed: area -4, ratio -0.0
  addCell("rxy", 4, 2, 2, 0);  // both reversed: area 4, ratio 0.0
  calcExposure();
  expectCell(0, {}, 0.0, 0.0);
  EXPECT_TRUE(std::signbit(engine.cellExposedRatio[0]));
  EXPECT_FALSE(std::signbit(engine.cellExposedRatio[1]));
}

// calcExposure shares one grid between the steps; each step run alone builds its own.
TEST_F(CellExposureTest, EachStepRunAloneBuildsItsOwnGrid) {
  addCell("u1", 0, 0, 4, 4);
  addSegment(addAssetNet("a"), kMetal1, 0, 0, 4, 2);
  addCover(kMetal2, 0, 0, 2, 2);
  place();
  testing::internal::CaptureStdout();
  engine.calcCellExposure();
  engine.calcNetExposure();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(engine.cellExposedRatio[0], 0.5);
  EXPECT_EQ(engine.netExposedRatio[0], 0.5);
}

// Without an asset cell or an asset net nothing is measured and no grid is built, not even one
// of 2^42 bytes, which would end the run.
TEST_F(CellExposureTest, NothingToMeasureBuildsNoGrid) {
  addCover(kMetal1, 0, 0, 4, 4);
  place();
  engine.xEdges.resize(size_t{1} << 21);
  engine.yEdges.resize(size_t{1} << 21);
  testing::internal::CaptureStdout();
  engine.calcExposure();
  engine.calcCellExposure();
  engine.calcNetExposure();
  EXPECT_EQ(testing::internal::GetCapturedStdout().find("Error"), std::string::npos);
}

}  // namespace
