#include "rtree_engine/grid_split.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <random>

#include "tests/rtree_engine/test_files.h"

namespace {

constexpr double kEps = 1e-4;
const Rect kSquare = {0, 0, 10, 10};

std::vector<NamedBox> namedBoxes(const std::vector<Rect>& rects) {
  std::vector<NamedBox> boxes;
  for (const Rect& r : rects) boxes.push_back(namedBox("hit", r));
  return boxes;
}

// The sub-cells that the split passes to its action, in order.
std::vector<Rect> uncoveredCells(const Rect& rect, const std::vector<Rect>& hits,
                                 const std::vector<Rect>& cover,
                                 EdgeTest test = EdgeTest::kInclusive) {
  NamedBoxTree coverage;
  for (const NamedBox& value : namedBoxes(cover)) coverage.insert(value);
  std::vector<Rect> cells;
  gridSplit(namedBox("r", rect).first, namedBoxes(hits), kEps, test, coverage,
            [&](const RtreeBox& subCell, const RtreeBox&) { cells.push_back(rectOf(subCell)); });
  return cells;
}

bool intersects(const Rect& query, const Rect& value) {
  NamedBoxTree tree;
  tree.insert(namedBox("v", value));
  std::vector<NamedBox> hits;
  appendHits(tree, namedBox("q", query).first, hits);
  return !hits.empty();
}

// Closed boxes meet at edges and corners; a query inverted on x (as a thin sub-cell's shrunk
// box is) meets only a value that holds the whole gap from its max up to its min.
TEST(IntersectsTest, ClosedBoxesMeetAtEdgesAndInvertedQueriesNeedTheWholeGap) {
  const Rect inverted = {6, 0, 4, 10};
  const std::vector<std::tuple<Rect, Rect, bool>> cases = {
      {kSquare, {10, 0, 20, 10}, true},    {kSquare, {10, 10, 20, 20}, true},
      {kSquare, {10.5, 0, 20, 10}, false}, {inverted, {4, 0, 6, 10}, true},
      {inverted, {0, 0, 10, 10}, true},    {inverted, {4.5, 0, 10, 10}, false},
      {inverted, {0, 0, 5.5, 10}, false},
  };
  for (const auto& [query, value, expected] : cases)
    EXPECT_EQ(intersects(query, value), expected) << value[0] << " " << value[2];
}

TEST(GridSplitTest, CutsAtHitEdgesInsideTheRectangleXOuterYInner) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* rule;
    std::vector<Rect> hits;
    std::vector<Rect> cells;
  };
  const std::vector<Case> cases = {
      {"no hits", {}, {kSquare}},
      {"inner edges cut", {{5, -1, 12, 3}},
       {{0, 0, 5, 3}, {0, 3, 5, 10}, {5, 0, 10, 3}, {5, 3, 10, 10}}},
      {"edges on or outside the rectangle and repeats are no cuts",
       {{0, -5, 10, 15}, {-2, 4, 4, 12}, {4, 4, 6, 6}},
       {{0, 0, 4, 4}, {0, 4, 4, 6}, {0, 6, 4, 10}, {4, 0, 6, 4}, {4, 4, 6, 6}, {4, 6, 6, 10},
        {6, 0, 10, 4}, {6, 4, 10, 6}, {6, 6, 10, 10}}},
      {"a NaN edge is no cut", {{nan, 2, nan, 4}},
       {{0, 0, 10, 2}, {0, 2, 10, 4}, {0, 4, 10, 10}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(uncoveredCells(kSquare, c.hits, {}, EdgeTest::kInclusive), c.cells) << c.rule;
    EXPECT_EQ(uncoveredCells(kSquare, c.hits, {}, EdgeTest::kStrict), c.cells) << c.rule;
  }
}

TEST(GridSplitTest, SubCellInsideACoveringValueIsPassedOver) {
  const std::vector<Rect> hits = {{-5, -5, 5, 15}};
  EXPECT_EQ(uncoveredCells(kSquare, hits, hits), (std::vector<Rect>{{5, 0, 10, 10}}));
}

TEST(GridSplitTest, ActionInsertingIntoCoverageHidesLaterSubCells) {
  NamedBoxTree coverage;
  int calls = 0;
  gridSplit(namedBox("r", kSquare).first, namedBoxes({{5, 5, 6, 6}}), kEps, EdgeTest::kStrict,
            coverage, [&](const RtreeBox&, const RtreeBox&) {
              ++calls;
              coverage.insert(namedBox("all", {-1, -1, 11, 11}));
            });
  EXPECT_EQ(calls, 1);
}

// Integer rectangles, checked unit square by unit square.
TEST(UncoveredAreaPropertyTest, EqualsTheUnitSquaresNoHitCovers) {
  constexpr int kGrid = 12;
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> coord(-2, kGrid + 2);
  auto randomRect = [&]() {
    int x1 = coord(rng), x2 = coord(rng), y1 = coord(rng), y2 = coord(rng);
    return Rect{double(std::min(x1, x2)), double(std::min(y1, y2)), double(std::max(x1, x2)),
                double(std::max(y1, y2))};
  };
  for (int round = 0; round < 300; ++round) {
    const Rect rect = randomRect();
    std::vector<Rect> hits;
    for (int i = 0; i < 6; ++i) {
      const Rect hit = randomRect();
      if (intersects(rect, hit)) hits.push_back(hit);
    }
    double expected = 0;
    for (int x = int(rect[0]); x < rect[2]; ++x) {
      for (int y = int(rect[1]); y < rect[3]; ++y) {
        bool covered = false;
        for (const Rect& h : hits)
          covered = covered || (h[0] <= x && x + 1 <= h[2] && h[1] <= y && y + 1 <= h[3]);
        expected += covered ? 0 : 1;
      }
    }
    double area = 0;
    addUncoveredArea(namedBox("r", rect).first, namedBoxes(hits), kEps, area);
    ASSERT_NEAR(area, expected, 1e-9) << "round " << round;
    ASSERT_EQ(uncoveredCells(rect, hits, {}, EdgeTest::kStrict),
              uncoveredCells(rect, hits, {}, EdgeTest::kInclusive));
  }
}

}  // namespace
