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

// What `reader` makes of the status file of a fake /proc that holds `text`, or none when `text`
// is null.
uint64_t readStatus(uint64_t (*reader)(const char*), const char* text) {
  const std::filesystem::path root = testing::TempDir() + "/data_limit_proc";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root / "self");
  if (text != nullptr) std::ofstream(root / "self/status") << text;
  const uint64_t bytes = reader(root.c_str());
  std::filesystem::remove_all(root);
  return bytes;
}

TEST(DataLimitTest, TheDataIsVmDataOfTheStatusFile) {
  EXPECT_EQ(readStatus(app::processDataBytes,
                       "Name:\tquorvane\nVmPeak:\t  9999 kB\nVmData:\t  1234 kB\n"),
            1234u * 1024);
  EXPECT_EQ(readStatus(app::processDataBytes, "Name:\tquorvane\n"), 0u);
  EXPECT_EQ(readStatus(app::processDataBytes, nullptr), 0u);
  EXPECT_GT(app::processDataBytes(), 0u);
}

TEST(DataLimitTest, TheResidentMemoryIsRssAnonOfTheStatusFile) {
  EXPECT_EQ(readStatus(app::residentAnonymousBytes,
                       "VmData:\t  1234 kB\nVmRSS:\t   900 kB\nRssAnon:\t   700 kB\n"
                       "RssFile:\t 200 kB\n"),
            700u * 1024);
  EXPECT_EQ(readStatus(app::residentAnonymousBytes, nullptr), 0u);
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
