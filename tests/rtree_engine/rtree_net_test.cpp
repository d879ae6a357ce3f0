#include "rtree_engine/rtree_net.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kEps = 1e-4;
constexpr int32_t kLayer1 = 1;
constexpr int32_t kLayer2 = 2;
constexpr int32_t kLayer3 = 3;
const Rect kSquare = {0, 0, 10, 10};

class RtreeNetTest : public testing::Test {
 protected:
  std::vector<Rect> add(const Rect& shape, int32_t layer = kLayer1) {
    return rectsOf(net.addShape(namedBox("seg", shape), layer));
  }
  size_t piecesOn(int32_t layer) const { return net.layerTrees[layer - 1].size(); }

  RtreeNet net{"net_a"};
};

TEST_F(RtreeNetTest, NewNetIsEmpty) {
  EXPECT_EQ(net.name, "net_a");
  EXPECT_EQ(net.eps, kEps);
  EXPECT_TRUE(net.layerTrees.empty());
  EXPECT_EQ(net.projectionArea, 0.0);
  EXPECT_EQ(net.exposedArea, 0.0);
}

TEST_F(RtreeNetTest, FirstShapeOfALayerIsOnePieceWithTheShapeName) {
  const std::vector<NamedBox> pieces = net.addShape(namedBox("seg7", kSquare), kLayer1);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(rectOf(pieces[0].first), kSquare);
  EXPECT_EQ(pieces[0].second, "seg7");
  ASSERT_EQ(net.layerTrees.size(), 1u);
  EXPECT_EQ(rectOf(net.layerTrees[0].begin()->first), kSquare);
}

TEST_F(RtreeNetTest, HigherLayerGrowsTreesLeavingTheMiddleOneEmpty) {
  add(kSquare, kLayer1);
  EXPECT_EQ(add(kSquare, kLayer3), std::vector<Rect>{kSquare});
  ASSERT_EQ(net.layerTrees.size(), 3u);
  EXPECT_EQ(piecesOn(kLayer1), 1u);
  EXPECT_TRUE(net.layerTrees[1].empty());
  EXPECT_EQ(piecesOn(kLayer3), 1u);
}

TEST_F(RtreeNetTest, RepeatedShapeYieldsNoPiece) {
  add(kSquare);
  EXPECT_TRUE(add(kSquare).empty());
  EXPECT_EQ(piecesOn(kLayer1), 1u);
}

TEST_F(RtreeNetTest, ContainedShapeYieldsNoPiece) {
  add(kSquare);
  EXPECT_TRUE(add({2, 2, 8, 8}).empty());
  EXPECT_EQ(piecesOn(kLayer1), 1u);
}

TEST_F(RtreeNetTest, OverlappingShapeKeepsOnlyItsUncoveredColumn) {
  add(kSquare);
  EXPECT_EQ(add({5, 0, 15, 10}), (std::vector<Rect>{{10, 0, 15, 10}}));
}

TEST_F(RtreeNetTest, CrossingShapeSplitsIntoTwoPiecesLeftFirst) {
  add(kSquare);
  EXPECT_EQ(add({-5, 4, 15, 6}), (std::vector<Rect>{{-5, 4, 0, 6}, {10, 4, 15, 6}}));
}

TEST_F(RtreeNetTest, ShapeAroundAPieceYieldsEightPiecesXOuterYInner) {
  add({4, 4, 6, 6});
  const std::vector<Rect> expected = {{0, 0, 4, 4},  {0, 4, 4, 6},  {0, 6, 4, 10},
                                      {4, 0, 6, 4},  {4, 6, 6, 10}, {6, 0, 10, 4},
                                      {6, 4, 10, 6}, {6, 6, 10, 10}};
  EXPECT_EQ(add(kSquare), expected);
  EXPECT_EQ(piecesOn(kLayer1), 9u);
}

TEST_F(RtreeNetTest, ShapeOnAnotherLayerIsNotCut) {
  add(kSquare, kLayer1);
  EXPECT_EQ(add({5, 0, 15, 10}, kLayer2), (std::vector<Rect>{{5, 0, 15, 10}}));
}

TEST_F(RtreeNetTest, TouchingShapesAreStoredWhole) {
  add(kSquare);
  EXPECT_EQ(add({10, 0, 20, 10}), (std::vector<Rect>{{10, 0, 20, 10}}));
  EXPECT_EQ(add({-10, -10, 0, 0}), (std::vector<Rect>{{-10, -10, 0, 0}}));
}

TEST_F(RtreeNetTest, OverlapNarrowerThanEpsIsStoredWhole) {
  add(kSquare);
  const Rect beside = {10 - kEps / 2, 0, 20, 10};
  EXPECT_EQ(add(beside), std::vector<Rect>{beside});
}

TEST_F(RtreeNetTest, ThinShapeEqualToAPieceIsStoredAgain) {
  const Rect thin = {0, 0, kEps / 2, 10};
  add(thin);
  EXPECT_EQ(add(thin), std::vector<Rect>{thin});
  EXPECT_EQ(piecesOn(kLayer1), 2u);
}

TEST_F(RtreeNetTest, ZeroWidthShapesAreStoredWholeAndCreditNothing) {
  EXPECT_EQ(add({5, 0, 5, 10}), (std::vector<Rect>{{5, 0, 5, 10}}));
  // Its shrunk query box is inverted, so the thin piece below does not count as a hit.
  EXPECT_EQ(add({5, -5, 5, 20}), (std::vector<Rect>{{5, -5, 5, 20}}));
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 0.0, 1e-9);
}

TEST_F(RtreeNetTest, ProjectionOfNoTreesIsUnchanged) {
  net.calcProjectionArea();
  EXPECT_EQ(net.projectionArea, 0.0);
}

TEST_F(RtreeNetTest, ProjectionOfOnePieceIsItsArea) {
  add(kSquare);
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 100.0, 1e-9);
}

TEST_F(RtreeNetTest, ProjectionSkipsEmptyLowerTrees) {
  add(kSquare, kLayer3);
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 100.0, 1e-9);
}

TEST_F(RtreeNetTest, ProjectionAddsToTheFieldWithoutResetting) {
  add(kSquare);
  net.calcProjectionArea();
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 200.0, 1e-9);
}

TEST_F(RtreeNetTest, ProjectionIsTheUnionWhenAHigherPieceHidesAColumn) {
  add(kSquare, kLayer1);
  add({5, 0, 15, 10}, kLayer2);
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 150.0, 1e-9);
}

TEST_F(RtreeNetTest, PiecesOfOneLayerDoNotHideEachOther) {
  add(kSquare);
  add({10 - kEps / 2, 0, 20, 10});
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 200 + 10 * kEps / 2, 1e-9);
}

TEST_F(RtreeNetTest, TouchingHigherPieceHidesNothing) {
  add(kSquare, kLayer1);
  add({10, 0, 20, 10}, kLayer2);
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 200.0, 1e-9);
}

TEST_F(RtreeNetTest, ThinHigherPieceHidesNothing) {
  add(kSquare, kLayer1);
  add({-1, 0, kEps / 2, 10}, kLayer2);
  net.calcProjectionArea();
  EXPECT_NEAR(net.projectionArea, 100 + (1 + kEps / 2) * 10, 1e-9);
}

// Shapes on a small integer grid, checked unit square by unit square.
constexpr int kGrid = 16;
using Raster = std::vector<std::vector<bool>>;

Raster emptyRaster() { return Raster(kGrid, std::vector<bool>(kGrid, false)); }

void paint(Raster& raster, const Rect& r) {
  for (int x = static_cast<int>(r[0]); x < r[2]; ++x)
    for (int y = static_cast<int>(r[1]); y < r[3]; ++y) raster[x][y] = true;
}

double paintedArea(const Raster& raster) {
  double area = 0;
  for (const auto& column : raster)
    for (bool painted : column) area += painted ? 1 : 0;
  return area;
}

Rect randomRect(std::mt19937& rng) {
  std::uniform_int_distribution<int> coord(0, kGrid);
  int x1 = coord(rng), x2 = coord(rng), y1 = coord(rng), y2 = coord(rng);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  return {double(x1), double(y1), double(x2), double(y2)};
}

TEST(RtreeNetPropertyTest, PiecesTileEachLayerAndProjectionIsTheUnion) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 200; ++round) {
    RtreeNet net("random");
    std::vector<Raster> shapes(3, emptyRaster());
    Raster all = emptyRaster();
    for (int i = 0; i < 12; ++i) {
      const Rect shape = randomRect(rng);
      const int32_t layer = 1 + static_cast<int32_t>(rng() % 3);
      net.addShape(namedBox("s", shape), layer);
      paint(shapes[layer - 1], shape);
      paint(all, shape);
    }
    for (size_t layer = 0; layer < net.layerTrees.size(); ++layer) {
      Raster pieces = emptyRaster();
      double pieceArea = 0;
      for (const NamedBox& piece : net.layerTrees[layer]) {
        const Rect r = rectOf(piece.first);
        paint(pieces, r);
        pieceArea += (r[2] - r[0]) * (r[3] - r[1]);
      }
      ASSERT_EQ(pieces, shapes[layer]) << "round " << round << " layer " << layer + 1;
      ASSERT_EQ(pieceArea, paintedArea(pieces)) << "pieces overlap, round " << round;
    }
    net.calcProjectionArea();
    ASSERT_NEAR(net.projectionArea, paintedArea(all), 1e-9) << "round " << round;
  }
}

}  // namespace
