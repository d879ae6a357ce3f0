#include "app/data_limit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "utils/memory.h"

namespace {

constexpr uint64_t kMB = uint64_t{1} << 20;
constexpr uint64_t kNone = RLIM_INFINITY;

TEST(DataLimitTest, TheDataNowAndTheGroupsRoomLessItsPageTables) {
  EXPECT_EQ(app::dataLimitFor(100 * kMB, 256 * kMB, kNone), 355 * kMB);
  EXPECT_EQ(app::dataLimitFor(100 * kMB, 0, kNone), 100 * kMB) << "a full group";
}

TEST(DataLimitTest, NoGroupLimitOrALowerLimitOfTheUsersOwnIsKept) {
  EXPECT_EQ(app::dataLimitFor(100 * kMB, UINT64_MAX, kNone), kNone);
  EXPECT_EQ(app::dataLimitFor(100 * kMB, UINT64_MAX, 300 * kMB), 300 * kMB);
  EXPECT_EQ(app::dataLimitFor(100 * kMB, 256 * kMB, 300 * kMB), 300 * kMB);
  EXPECT_EQ(app::dataLimitFor(UINT64_MAX - kMB, 256 * kMB, kNone), UINT64_MAX)
      << "no wrap-around";
}

TEST(DataLimitTest, TheDataIsVmDataOfTheStatusFile) {
  const std::filesystem::path root = testing::TempDir() + "/data_limit_proc";
  std::filesystem::create_directories(root / "self");
  std::ofstream(root / "self/status")
      << "Name:\tquorvane\nVmPeak:\t  9999 kB\nVmData:\t  1234 kB\n";
  EXPECT_EQ(app::processDataBytes(root.c_str()), 1234u * 1024);
  std::ofstream(root / "self/status") << "Name:\tquorvane\n";
  EXPECT_EQ(app::processDataBytes(root.c_str()), 0u);
  std::filesystem::remove_all(root);
  EXPECT_EQ(app::processDataBytes(root.c_str()), 0u);
  EXPECT_GT(app::processDataBytes(), 0u);
}

TEST(DataLimitTest, TheResidentMemoryIsRssAnonOfTheStatusFile) {
  const std::filesystem::path root = testing::TempDir() + "/data_limit_rss";
  std::filesystem::create_directories(root / "self");
  std::ofstream(root / "self/status")
      << "VmData:\t  1234 kB\nVmRSS:\t   900 kB\nRssAnon:\t   700 kB\nRssFile:\t 200 kB\n";
  EXPECT_EQ(app::residentAnonymousBytes(root.c_str()), 700u * 1024);
  std::filesystem::remove_all(root);
  EXPECT_EQ(app::residentAnonymousBytes(root.c_str()), 0u);
  EXPECT_GT(app::residentAnonymousBytes(), 0u);
}

// The tests run outside any control group's memory limit: the limit must stay as it was.
TEST(DataLimitTest, ARunWithoutAGroupLimitIsLeftAlone) {
  if (utils::controlGroupRoom() != UINT64_MAX) GTEST_SKIP() << "a control group limits memory";
  struct rlimit before, after;
  ASSERT_EQ(getrlimit(RLIMIT_DATA, &before), 0);
  EXPECT_TRUE(app::limitDataToControlGroup());
  EXPECT_TRUE(app::raiseDataLimitToControlGroup(before.rlim_cur));
  EXPECT_EQ(app::softDataLimit(), before.rlim_cur);
  ASSERT_EQ(getrlimit(RLIMIT_DATA, &after), 0);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  EXPECT_EQ(after.rlim_max, before.rlim_max);
}

}  // namespace
