#include "utils/memory.h"

#include <gtest/gtest.h>

#include "utils/assert.h"
#include "utils/timer.h"

namespace {

TEST(MemoryTest, FiguresArePositiveOnLinux) {
  EXPECT_GT(utils::currentMemoryMB(), 0.0);
  EXPECT_GT(utils::peakMemoryMB(), 0.0);
  EXPECT_GE(utils::peakMemoryMB() + 1.0, utils::currentMemoryMB());
  EXPECT_GT(utils::availableMemoryBytes(), 0u);
}

TEST(AssertTest, TrueConditionReturns) { utils::assertOrAbort(true, "never %d", 1); }

TEST(AssertDeathTest, FalseConditionAbortsWithItsMessage) {
  EXPECT_DEATH(utils::assertOrAbort(false, "bad bin %d of %s", 7, "grid"),
               "Assertion failure: bad bin 7 of grid");
}

TEST(TimerTest, CountsFromResetNotConstruction) {
  utils::Timer timer;
  const double before = timer.elapsedSeconds();
  EXPECT_GE(before, 0.0);
  timer.reset();
  EXPECT_LT(timer.elapsedSeconds(), 1.0);
}

}  // namespace
