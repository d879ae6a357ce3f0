#include "app/thread_reservations.h"

#include <gtest/gtest.h>
#include <omp.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// The stack size of the calling thread; 0 when it cannot be read.
size_t ownStackBytes() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  size_t bytes = 0;
  if (pthread_attr_getstacksize(&attr, &bytes) != 0) bytes = 0;
  pthread_attr_destroy(&attr);
  return bytes;
}

TEST(ThreadReservationsTest, ArenaCountGivenByEitherVariable) {
  EXPECT_FALSE(app::arenaCountGiven(nullptr, nullptr));
  EXPECT_TRUE(app::arenaCountGiven("4", nullptr));
  EXPECT_TRUE(app::arenaCountGiven(nullptr, "glibc.malloc.arena_max=4"));
  EXPECT_TRUE(app::arenaCountGiven(nullptr, "glibc.malloc.check=3:glibc.malloc.arena_max=1"));
  EXPECT_FALSE(app::arenaCountGiven(nullptr, "glibc.malloc.arena_test=2"));
  EXPECT_FALSE(app::arenaCountGiven(nullptr, ""));
}

TEST(ThreadReservationsTest, WorkerStackNeverAboveTheDefault) {
  EXPECT_EQ(app::workerStackBytes(size_t{8} << 20), app::kWorkerStackBytes);
  EXPECT_EQ(app::workerStackBytes(app::kWorkerStackBytes), app::kWorkerStackBytes);
  EXPECT_EQ(app::workerStackBytes(size_t{512} << 10), size_t{512} << 10);
}

// Sets an address-space limit of 1 TB and ends the process at once, allocating nothing under
// the limit: status 0 when the limit is seen.
[[noreturn]] void exitSeeingALimit() {
  rlimit limit;
  bool set = getrlimit(RLIMIT_AS, &limit) == 0;
  limit.rlim_cur = std::min(limit.rlim_max, rlim_t{1} << 40);
  set = set && setrlimit(RLIMIT_AS, &limit) == 0;
  std::_Exit(set && app::addressSpaceLimited() ? 0 : 1);
}

TEST(ThreadReservationsDeathTest, AnAddressSpaceLimitIsSeen) {
  EXPECT_EXIT(exitSeeingALimit(), testing::ExitedWithCode(0), "");
}

TEST(ThreadReservationsTest, TheAllocatorTakesTheArenaCap) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizer's allocator has no arenas";
#endif
  EXPECT_TRUE(app::limitMallocArenas());
}

TEST(ThreadReservationsTest, NewThreadsAndOpenMpWorkersGetTheSmallStack) {
  ASSERT_TRUE(app::limitDefaultThreadStack());
  size_t threadStack = 0;
  std::thread([&] { threadStack = ownStackBytes(); }).join();
  EXPECT_GT(threadStack, 0u);
  EXPECT_LE(threadStack, app::kWorkerStackBytes);
  if (std::getenv("OMP_STACKSIZE") != nullptr || std::getenv("GOMP_STACKSIZE") != nullptr)
    GTEST_SKIP() << "the environment sets the workers' stack";
  std::vector<size_t> workerStacks(4, 0);
  int team = 0;
#pragma omp parallel num_threads(4)
  {
    if (omp_get_thread_num() == 0) team = omp_get_num_threads();
    workerStacks[omp_get_thread_num()] = ownStackBytes();
  }
  EXPECT_GT(team, 1);
  for (int t = 1; t < team; ++t) {
    EXPECT_GT(workerStacks[t], 0u) << "worker " << t;
    EXPECT_LE(workerStacks[t], app::kWorkerStackBytes) << "worker " << t;
  }
}

}  // namespace
