#include "bench/design_random.h"

#include <gtest/gtest.h>

#include <vector>

namespace bench {
namespace {

// The engine's sequence is fixed by the standard; the draws built on it must be too. The
// expected values come from an independent implementation of the engine and of the draws.
TEST(DesignRandom, DrawsDoNotDependOnThePlatform) {
  DesignRandom random(1);
  EXPECT_EQ(random.below(1000), 528u);
  EXPECT_EQ(random.between(-5, 5), -4);
  EXPECT_EQ(random.pick({1, 2, 3}), 0);
}

TEST(DesignRandom, BetweenStaysInItsBoundsAndReachesBoth) {
  DesignRandom random(3);
  std::vector<int> seen(7, 0);
  for (int i = 0; i < 10000; ++i) {
    const int64_t v = random.between(-3, 3);
    ASSERT_GE(v, -3);
    ASSERT_LE(v, 3);
    ++seen[v + 3];
  }
  for (int count : seen) EXPECT_GT(count, 10000 / 7 * 8 / 10);  // within 20% of uniform
}

TEST(DesignRandom, DegenerateDrawsAreCertain) {
  DesignRandom random(4);
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(random.below(1), 0u);
    ASSERT_NE(random.pick({3, 0, 1}), 1);  // a zero weight is never picked
    ASSERT_FALSE(random.chance(0.0));
    ASSERT_TRUE(random.chance(1.0));
  }
}

}  // namespace
}  // namespace bench
