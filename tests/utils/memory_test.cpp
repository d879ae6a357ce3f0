#include "utils/memory.h"

#include <gtest/gtest.h>

#include "utils/assert.h"

namespace {

TEST(MemoryTest, FiguresArePositiveOnLinux) {
  EXPECT_GT(utils::currentMemoryMB(), 0.0);
  EXPECT_GT(utils::peakMemoryMB(), 0.0);
  EXPECT_GE(utils::peakMemoryMB() + 1.0, utils::currentMemoryMB());
  EXPECT_GT(utils::availableMemoryBytes(), 0u);
}

TEST(AssertDeathTest, FalseConditionAbortsWithItsMessage) {
  utils::assertOrAbort(true, "never %d", 1);
  EXPECT_DEATH(utils::assertOrAbort(false, "bad bin %d of %s", 7, "grid"),
               "Assertion failure: bad bin 7 of grid");
}

}  // namespace
