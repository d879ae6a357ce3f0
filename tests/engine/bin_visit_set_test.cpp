#include "engine/bin_visit_set.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <set>
#include <utility>

namespace {

TEST(BinVisitSetTest, CornersNearTheIndexLimitsAreDistinct) {
  BinVisitSet visited;
  const int32_t top = std::numeric_limits<int32_t>::max();
  visited.reset(BinBox{top - 5000, top, -top, -top + 5000, 0});
  EXPECT_FALSE(visited.testAndSet(top - 1, -top + 4999));
  EXPECT_FALSE(visited.testAndSet(top - 5000, -top));
  EXPECT_FALSE(visited.testAndSet(top - 1, -top));
  EXPECT_TRUE(visited.testAndSet(top - 1, -top + 4999));
  EXPECT_TRUE(visited.testAndSet(top - 5000, -top));
}

TEST(BinVisitSetTest, AgreesWithAnOrderedSetOnRandomBoxes) {
  std::mt19937 random(42);
  BinVisitSet visited;  // reused across boxes, as a loop thread reuses it
  BinBox box;
  for (int round = 0; round < 200; ++round) {
    std::uniform_int_distribution<int32_t> origin(-1000, 1000), side(1, 300);
    if (round % 2 == 0) {  // each box twice: the second reset must forget the first walk
      const int32_t x0 = origin(random), y0 = origin(random);
      box = BinBox{x0, x0 + side(random), y0, y0 + side(random), 0};
    }
    visited.reset(box);
    std::set<std::pair<int32_t, int32_t>> reference;
    std::uniform_int_distribution<int32_t> x(box.xlo, box.xhi - 1), y(box.ylo, box.yhi - 1);
    for (int step = 0; step < 2000; ++step) {
      const int32_t bx = x(random), by = y(random);
      const bool expected = !reference.insert({bx, by}).second;
      ASSERT_EQ(visited.testAndSet(bx, by), expected) << "round " << round << " bin " << bx
                                                      << "," << by;
    }
  }
}

}  // namespace
