#include "engine/top_layer_grid.h"

#include <gtest/gtest.h>

#include <random>

namespace {

Shape segmentOn(int32_t layer, int32_t xlo, int32_t xhi, int32_t ylo, int32_t yhi) {
  Shape segment("s", 0, 0);
  segment.layer = layer;
  segment.binBox = BinBox{xlo, xhi, ylo, yhi, layer};
  return segment;
}

TEST(TopLayerGridTest, TopLayerIndexFitsAnEntry) {
  const TopLayerGrid grid(1, 1, {segmentOn(127, 0, 1, 0, 1), segmentOn(0, 0, 1, 0, 1)});
  EXPECT_EQ(grid.at(0, 0), 127);
}

TEST(TopLayerGridTest, BoxesCoveringNoBinChangeNothing) {
  const TopLayerGrid grid(2, 2, {segmentOn(3, 1, 1, 0, 2), segmentOn(3, 0, 2, 2, 0),
                                 segmentOn(3, 2, 0, 0, 2), Shape("unplaced", 1, 0)});
  for (int32_t x = 0; x < 2; ++x)
    for (int32_t y = 0; y < 2; ++y) EXPECT_EQ(grid.at(x, y), -1);
}

TEST(TopLayerGridTest, ColumnsBeyondTheGridAreLeftOut) {
  for (int64_t stripeBytes : {int64_t{1}, TopLayerGrid::kStripeBytes}) {
    const TopLayerGrid grid(3, 2, {segmentOn(2, 1, 9, 0, 1), segmentOn(5, 3, 7, 0, 2)},
                            stripeBytes);
    EXPECT_EQ(grid.at(0, 0), -1);
    EXPECT_EQ(grid.at(1, 0), 2);
    EXPECT_EQ(grid.at(2, 0), 2);
    EXPECT_EQ(grid.at(2, 1), -1);
  }
}

TEST(TopLayerGridTest, LayoutWithoutBinsGivesAnEmptyGrid) {
  for (const auto& size : {std::make_pair(-1, -1), std::make_pair(0, 5), std::make_pair(5, 0)}) {
    const TopLayerGrid grid(size.first, size.second, {});
    EXPECT_EQ(grid.nx(), 0);
    EXPECT_EQ(grid.ny(), 0);
  }
}

TEST(TopLayerGridTest, EveryStripeWidthGivesTheMaximumOverEachBin) {
  constexpr int32_t kNx = 37, kNy = 23;
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> x(0, kNx), y(0, kNy), layer(0, 127);
  std::vector<Shape> segments;
  for (int k = 0; k < 60; ++k) {
    const int32_t x1 = x(random), x2 = x(random), y1 = y(random), y2 = y(random);
    segments.push_back(segmentOn(layer(random), std::min(x1, x2), std::max(x1, x2),
                                 std::min(y1, y2), std::max(y1, y2)));
  }
  for (int64_t stripeBytes : {int64_t{1}, int64_t{kNy} * 2, int64_t{kNy} * 5 + 3,
                              TopLayerGrid::kStripeBytes}) {
    const TopLayerGrid grid(kNx, kNy, segments, stripeBytes);
    for (int32_t bx = 0; bx < kNx; ++bx)
      for (int32_t by = 0; by < kNy; ++by) {
        int32_t top = -1;
        for (const Shape& s : segments)
          if (s.binBox.xlo <= bx && bx < s.binBox.xhi && s.binBox.ylo <= by && by < s.binBox.yhi)
            top = std::max(top, s.layer);
        ASSERT_EQ(grid.at(bx, by), top) << "stripe bytes " << stripeBytes << " bin " << bx << ","
                                        << by;
      }
  }
}

TEST(TopLayerGridTest, GridMemoryIsRefusedBeyondTheAvailableBytesNamingTheBound) {
  using utils::MemoryBound;
  EXPECT_EQ(gridMemoryError(1000, 1000, {1000000, MemoryBound::kMachine}), "");
  EXPECT_EQ(gridMemoryError(100000, 300000, {}), "") << "nothing bounds the memory";
  EXPECT_EQ(gridMemoryError(1000, 1001, {1000000, MemoryBound::kMachine}),
            "Cannot allocate the top-layer grid of 1000 x 1001 bins: 1001000 bytes needed, "
            "1000000 available");
  EXPECT_EQ(gridMemoryError(100000, 300000, {0, MemoryBound::kControlGroup}),
            "Cannot allocate the top-layer grid of 100000 x 300000 bins: 30000000000 bytes "
            "needed, 0 available (memory limit of the control group)");
}

}  // namespace
