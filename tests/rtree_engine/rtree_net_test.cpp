#include "rtree_engine/rtree_net.h"

#include <gtest/gtest.h>

#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kEps = 1e-4;
const Rect kSquare = {0, 0, 10, 10};

struct LayerShape {
  Rect rect;
  int32_t layer;
};

// A net built from `shapes` in order; returns the pieces the last shape yielded.
std::vector<Rect> build(RtreeNet& net, const std::vector<LayerShape>& shapes) {
  std::vector<Rect> last;
  for (const LayerShape& s : shapes) last = rectsOf(net.addShape(namedBox("seg", s.rect), s.layer));
  return last;
}

TEST(RtreeNetTest, FirstShapeOfALayerIsOnePieceWithTheShapeName) {
  RtreeNet net("n");
  const std::vector<NamedBox> pieces = net.addShape(namedBox("seg7", kSquare), 1);
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(rectOf(pieces[0].first), kSquare);
  EXPECT_EQ(pieces[0].second, "seg7");
  ASSERT_EQ(net.layerTrees.size(), 1u);
  EXPECT_EQ(rectOf(net.layerTrees[0].begin()->first), kSquare);
}

TEST(RtreeNetTest, HigherLayerGrowsTreesLeavingTheMiddleOneEmpty) {
  RtreeNet net("n");
  EXPECT_EQ(build(net, {{kSquare, 1}, {kSquare, 3}}), std::vector<Rect>{kSquare});
  ASSERT_EQ(net.layerTrees.size(), 3u);
  EXPECT_EQ(net.layerTrees[0].size(), 1u);
  EXPECT_TRUE(net.layerTrees[1].empty());
  EXPECT_EQ(net.layerTrees[2].size(), 1u);
}

// The pieces a shape yields over the net's earlier shapes, in the order found (x outer, y
// inner), and how many pieces its layer then holds.
TEST(RtreeNetTest, ShapeYieldsOnlyThePartsNoPieceOfItsLayerCovers) {
  const Rect thin = {0, 0, kEps / 2, 10};
  const Rect besideByHalfEps = {10 - kEps / 2, 0, 20, 10};
  struct Case {
    const char* rule;
    std::vector<LayerShape> before;
    LayerShape shape;
    std::vector<Rect> pieces;
    size_t onLayer;
  };
  const std::vector<Case> cases = {
      {"repeated shape", {{kSquare, 1}}, {kSquare, 1}, {}, 1},
      {"contained shape", {{kSquare, 1}}, {{2, 2, 8, 8}, 1}, {}, 1},
      {"overlap keeps its uncovered column", {{kSquare, 1}}, {{5, 0, 15, 10}, 1},
       {{10, 0, 15, 10}}, 2},
      {"crossing shape, left piece first", {{kSquare, 1}}, {{-5, 4, 15, 6}, 1},
       {{-5, 4, 0, 6}, {10, 4, 15, 6}}, 3},
      {"eight pieces around a piece", {{{4, 4, 6, 6}, 1}}, {kSquare, 1},
       {{0, 0, 4, 4}, {0, 4, 4, 6}, {0, 6, 4, 10}, {4, 0, 6, 4}, {4, 6, 6, 10}, {6, 0, 10, 4},
        {6, 4, 10, 6}, {6, 6, 10, 10}}, 9},
      {"another layer cuts nothing", {{kSquare, 1}}, {{5, 0, 15, 10}, 2}, {{5, 0, 15, 10}}, 1},
      {"touching at an edge", {{kSquare, 1}}, {{10, 0, 20, 10}, 1}, {{10, 0, 20, 10}}, 2},
      {"touching at a corner", {{kSquare, 1}}, {{-10, -10, 0, 0}, 1}, {{-10, -10, 0, 0}}, 2},
      {"overlap narrower than eps", {{kSquare, 1}}, {besideByHalfEps, 1}, {besideByHalfEps}, 2},
      {"thin shape stored again", {{thin, 1}}, {thin, 1}, {thin}, 2},
      {"zero width over zero width", {{{5, 0, 5, 10}, 1}}, {{5, -5, 5, 20}, 1},
       {{5, -5, 5, 20}}, 2},
  };
  for (const Case& c : cases) {
    RtreeNet net("n");
    build(net, c.before);
    EXPECT_EQ(build(net, {c.shape}), c.pieces) << c.rule;
    EXPECT_EQ(net.layerTrees[c.shape.layer - 1].size(), c.onLayer) << c.rule;
  }
}

TEST(RtreeNetTest, ProjectionAreaIsTheFootprintOverAllLayers) {
  struct Case {
    const char* rule;
    std::vector<LayerShape> shapes;
    double area;
  };
  const std::vector<Case> cases = {
      {"no trees", {}, 0},
      {"one piece", {{kSquare, 1}}, 100},
      {"empty lower trees", {{kSquare, 3}}, 100},
      {"higher piece hides a column", {{kSquare, 1}, {{5, 0, 15, 10}, 2}}, 150},
      {"one layer's pieces do not hide each other", {{kSquare, 1}, {{10 - kEps / 2, 0, 20, 10}, 1}},
       200 + 10 * kEps / 2},
      {"touching higher piece", {{kSquare, 1}, {{10, 0, 20, 10}, 2}}, 200},
      {"thin higher piece hides nothing", {{kSquare, 1}, {{-1, 0, kEps / 2, 10}, 2}},
       100 + (1 + kEps / 2) * 10},
      {"zero-width pieces", {{{5, 0, 5, 10}, 1}, {{5, -5, 5, 20}, 1}}, 0},
  };
  for (const Case& c : cases) {
    RtreeNet net("n");
    build(net, c.shapes);
    net.calcProjectionArea();
    EXPECT_NEAR(net.projectionArea, c.area, 1e-9) << c.rule;
  }
}

}  // namespace
