#include "engine/top_layer_grid.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engine/bin_visit_set.h"

namespace {

// Random boxes, some empty, reversed or beyond the grid, layers up to the top index 127.
TEST(TopLayerGridTest, EveryStripeWidthGivesTheMaximumOverEachBin) {
  constexpr int32_t kNx = 37, kNy = 23;
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> x(0, kNx + 3), y(0, kNy), layer(0, 127);
  std::vector<Shape> segments(60, Shape("s", 0, 0));
  for (Shape& s : segments) {
    s.layer = layer(random);
    s.binBox = BinBox{x(random), x(random), y(random), y(random), s.layer};
  }
  for (int64_t stripeBytes :
       {int64_t{1}, int64_t{kNy} * 2, int64_t{kNy} * 5 + 3, TopLayerGrid::kStripeBytes}) {
    const TopLayerGrid grid(kNx, kNy, segments, stripeBytes);
    for (int32_t bx = 0; bx < kNx; ++bx)
      for (int32_t by = 0; by < kNy; ++by) {
        int32_t top = -1;
        for (const Shape& s : segments)
          if (s.binBox.xlo <= bx && bx < s.binBox.xhi && s.binBox.ylo <= by && by < s.binBox.yhi)
            top = std::max(top, s.layer);
        ASSERT_EQ(grid.at(bx, by), top)
            << "stripe bytes " << stripeBytes << " bin " << bx << "," << by;
      }
  }
  for (const auto& [nx, ny] : {std::make_pair(-1, -1), std::make_pair(0, 5), std::make_pair(5, 0)})
    EXPECT_EQ(TopLayerGrid(nx, ny, {}).nx() + TopLayerGrid(nx, ny, {}).ny(), 0);
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

// Reused across boxes, as a loop thread reuses it; each box twice, so that the second reset must
// forget the first walk.
TEST(BinVisitSetTest, AgreesWithAnOrderedSetOnRandomBoxes) {
  std::mt19937 random(42);
  BinVisitSet visited;
  BinBox box;
  for (int round = 0; round < 200; ++round) {
    std::uniform_int_distribution<int32_t> origin(-1000, 1000), side(1, 300);
    const int32_t x0 = origin(random), y0 = origin(random);
    if (round % 2 == 0) box = BinBox{x0, x0 + side(random), y0, y0 + side(random), 0};
    visited.reset(box);
    std::set<std::pair<int32_t, int32_t>> reference;
    std::uniform_int_distribution<int32_t> x(box.xlo, box.xhi - 1), y(box.ylo, box.yhi - 1);
    for (int step = 0; step < 2000; ++step) {
      const int32_t bx = x(random), by = y(random);
      ASSERT_EQ(visited.testAndSet(bx, by), !reference.insert({bx, by}).second) << round;
    }
  }
}

}  // namespace
