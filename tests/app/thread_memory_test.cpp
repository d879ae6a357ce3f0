#include "app/thread_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "utils/memory.h"

namespace {

constexpr size_t kDefault = 777;
constexpr uint64_t kGroupRoomFor1024 = 1023 * app::kThreadChargeBytes;

TEST(ThreadMemoryTest, StackSettingsReadAsTheOpenMpRuntimeReadsThem) {
  EXPECT_EQ(app::ompStackBytes(nullptr, nullptr, kDefault), kDefault);
  EXPECT_EQ(app::ompStackBytes("100", nullptr, kDefault), 100u << 10) << "kilobytes by default";
  EXPECT_EQ(app::ompStackBytes(" 4 M ", nullptr, kDefault), 4u << 20);
  EXPECT_EQ(app::ompStackBytes("2g", nullptr, kDefault), size_t{2} << 30);
  EXPECT_EQ(app::ompStackBytes("65536B", nullptr, kDefault), 65536u);
  EXPECT_EQ(app::ompStackBytes("8k", "1M", kDefault), 8u << 10) << "OMP_STACKSIZE first";
  EXPECT_EQ(app::ompStackBytes(nullptr, "300", kDefault), 300u << 10);
  for (const char* bad : {"", "0", "-4M", "4X", "4 M x", "M", "99999999999999999999999"})
    EXPECT_EQ(app::ompStackBytes(bad, "2M", kDefault), 2u << 20) << "'" << bad << "'";
  EXPECT_EQ(app::ompStackBytes("4MB", "junk", kDefault), kDefault);
}

utils::MemoryProbe groupRoom(uint64_t bytes) {
  return [bytes] { return utils::AvailableMemory{bytes, utils::MemoryBound::kControlGroup}; };
}

std::string shortfallLine(int32_t threads, size_t stack, uint64_t groupBytes, uint64_t dataLeft) {
  try {
    app::requireThreadMemory(threads, stack, groupRoom(groupBytes), dataLeft);
  } catch (const utils::MemoryShortfallError& shortfall) {
    return shortfall.what();
  }
  return "";
}

TEST(ThreadMemoryTest, TheGroupIsAskedForWhatTheWorkersAreCharged) {
  EXPECT_EQ(shortfallLine(1024, 1 << 20, kGroupRoomFor1024, UINT64_MAX), "");
  EXPECT_EQ(shortfallLine(1024, 1 << 20, kGroupRoomFor1024 - 1, UINT64_MAX),
            "Cannot allocate memory for 1024 threads: " + std::to_string(kGroupRoomFor1024) +
                " bytes needed, " + std::to_string(kGroupRoomFor1024 - 1) +
                " available (memory limit of the control group)");
  EXPECT_EQ(shortfallLine(1, 1 << 20, 0, 0), "") << "one thread starts no worker";
}

TEST(ThreadMemoryTest, TheDataLimitIsAskedForTheWorkersStacks) {
  const uint64_t stacks = 63 * app::workerDataBytes(1 << 20);
  EXPECT_EQ(app::workerDataBytes(1 << 20), (1u << 20) + 4096);
  EXPECT_EQ(shortfallLine(64, 1 << 20, UINT64_MAX, stacks), "");
  EXPECT_EQ(shortfallLine(64, 1 << 20, UINT64_MAX, stacks - 1),
            "Cannot allocate memory for 64 threads: " + std::to_string(stacks) +
                " bytes needed, " + std::to_string(stacks - 1) +
                " available (data limit of the process)");
}

}  // namespace
