#include "utils/memory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "utils/assert.h"
#include "utils/log.h"

namespace {

namespace fs = std::filesystem;
using utils::MemoryBound;

TEST(MemoryTest, FiguresArePositiveOnLinuxAndTheClockStartsWithTheProgram) {
  std::ostringstream line;
  utils::logInfo(line);
  EXPECT_TRUE(line.str().rfind("[   0.", 0) == 0 || line.str().rfind("[   1.", 0) == 0)
      << line.str();
  EXPECT_GT(utils::currentMemoryMB(), 0.0);
  EXPECT_GT(utils::peakMemoryMB(), 0.0);
  EXPECT_GE(utils::peakMemoryMB() + 1.0, utils::currentMemoryMB());
  EXPECT_GT(utils::availableMemory().bytes, 0u);
}

// One fake file tree: a path under the fake root (proc/... or cgroup/...) and its text; a path
// ending in '/' is made a folder, a file that cannot be read. Every tree also holds
// proc/meminfo with MemAvailable: 1000 kB (1024000 bytes).
struct FakeTree {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;
  uint64_t bytes;
  MemoryBound bound;
};

const FakeTree kTrees[] = {
    {"v2 limit less usage without the clean file cache of both lists",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "500000\n"},
      {"cgroup/job/memory.current", "400000\n"},
      {"cgroup/job/memory.stat",
       "anon 1\nactive_file 70000\ninactive_file 100000\nfile_dirty 40000\n"
       "file_writeback 30000\ndirty 99999\n"}},
     200000, MemoryBound::kControlGroup},
    {"v2 missing keys count 0",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "500000\n"},
      {"cgroup/job/memory.current", "400000\n"},
      {"cgroup/job/memory.stat", "active_file 100000\nfile_writeback_x 5\n"}},
     200000, MemoryBound::kControlGroup},
    {"v2 dirty pages beyond the lists leave the usage whole",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "500000\n"},
      {"cgroup/job/memory.current", "300000\n"},
      {"cgroup/job/memory.stat", "inactive_file 10\nfile_dirty 50000\n"}},
     200000, MemoryBound::kControlGroup},
    {"file cache beyond the usage leaves the whole limit",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "200000\n"},
      {"cgroup/job/memory.current", "1000\n"},
      {"cgroup/job/memory.stat", "active_file 5000\n"}},
     200000, MemoryBound::kControlGroup},
    {"v2 max is no limit",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "max\n"},
      {"cgroup/job/memory.current", "400000\n"}},
     1024000, MemoryBound::kMachine},
    {"v2 parent holds the smaller limit",
     {{"proc/self/cgroup", "0::/a/b/\n"},
      {"cgroup/a/b/memory.max", "900000\n"},
      {"cgroup/a/b/memory.current", "100\n"},
      {"cgroup/a/memory.max", "300000\n"},
      {"cgroup/a/memory.current", "100000\n"}},
     200000, MemoryBound::kControlGroup},
    {"usage above the limit leaves 0",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "1000\n"},
      {"cgroup/job/memory.current", "5000\n"}},
     0, MemoryBound::kControlGroup},
    {"v1 memory controller beside the unified hierarchy",
     {{"proc/self/cgroup", "5:memory,cpuacct:/slurm/job\n3:cpu:/other\n0::/\n"},
      {"cgroup/memory/other/memory.limit_in_bytes", "10\n"},  // not the memory controller's
      {"cgroup/memory/other/memory.usage_in_bytes", "0\n"},
      {"cgroup/memory/slurm/job/memory.limit_in_bytes", "600000\n"},
      {"cgroup/memory/slurm/job/memory.usage_in_bytes", "500000\n"},
      {"cgroup/memory/slurm/job/memory.stat",
       "inactive_file 9\nactive_file 9\ndirty 9\ntotal_active_file 60000\n"
       "total_inactive_file 50000\ntotal_dirty 6000\ntotal_writeback 4000\n"},
      {"cgroup/memory/slurm/memory.limit_in_bytes", "1000000\n"},
      {"cgroup/memory/slurm/memory.usage_in_bytes", "700000\n"}},
     200000, MemoryBound::kControlGroup},
    {"v1 memory controller between two others",
     {{"proc/self/cgroup", "6:cpu,memory,pids:/job\n"},
      {"cgroup/memory/job/memory.limit_in_bytes", "300000\n"},
      {"cgroup/memory/job/memory.usage_in_bytes", "100000\n"}},
     200000, MemoryBound::kControlGroup},
    {"v1 without limit: 2^63 rounded down to pages",
     {{"proc/self/cgroup", "4:memory:/job\n"},
      {"cgroup/memory/job/memory.limit_in_bytes", "9223372036854771712\n"},
      {"cgroup/memory/job/memory.usage_in_bytes", "400000\n"}},
     1024000, MemoryBound::kMachine},
    {"machine below the group's room",
     {{"proc/self/cgroup", "0::/job\n"},
      {"cgroup/job/memory.max", "2000000\n"},
      {"cgroup/job/memory.current", "0\n"}},
     1024000, MemoryBound::kMachine},
    {"unreadable or malformed files set no limit",
     {{"proc/self/cgroup", "0::/a/b\n4:memory:/c\nbroken line\n"},
      {"cgroup/a/b/memory.max/", ""},
      {"cgroup/a/b/memory.current", "100\n"},
      {"cgroup/a/memory.max", "12x\n"},
      {"cgroup/a/memory.current", "100\n"},
      {"cgroup/memory.max", "1000\n"},
      {"cgroup/memory.current", "-5\n"},
      {"cgroup/memory/c/memory.limit_in_bytes", "1000\n"},
      {"cgroup/memory/c/memory.usage_in_bytes", ""},
      {"cgroup/memory/memory.limit_in_bytes", "99999999999999999999\n"},
      {"cgroup/memory/memory.usage_in_bytes", "0\n"}},
     1024000, MemoryBound::kMachine},
    {"lines without a group path are skipped",
     {{"proc/self/cgroup", "4:memory\nmemory\n2:cpu,memory\n0:\n"},
      {"cgroup/memory.max", "1000\n"},
      {"cgroup/memory.current", "0\n"},
      {"cgroup/memory/memory.limit_in_bytes", "1000\n"},
      {"cgroup/memory/memory.usage_in_bytes", "0\n"}},
     1024000, MemoryBound::kMachine},
    {"no control group file", {}, 1024000, MemoryBound::kMachine},
};

TEST(MemoryTest, ControlGroupLimitsBoundTheMachineMemory) {
  char pattern[] = "/tmp/quorvane_memory_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  for (size_t i = 0; i < std::size(kTrees); ++i) {
    const FakeTree& tree = kTrees[i];
    const fs::path root = fs::path(pattern) / std::to_string(i);
    fs::create_directories(root / "proc" / "self");
    std::ofstream(root / "proc" / "meminfo") << "MemTotal: 4000 kB\nMemAvailable: 1000 kB\n";
    for (const auto& [path, text] : tree.files) {
      fs::create_directories((root / path).parent_path());
      if (path.back() != '/') std::ofstream(root / path) << text;
    }
    const utils::AvailableMemory got = utils::availableMemory(root / "proc", root / "cgroup");
    EXPECT_EQ(got.bytes, tree.bytes) << tree.name;
    EXPECT_EQ(got.bound, tree.bound) << tree.name;
    if (tree.bound == MemoryBound::kControlGroup) {  // the room the data limit is set to
      EXPECT_EQ(utils::controlGroupRoom(root / "proc", root / "cgroup"), tree.bytes) << tree.name;
    }
  }
  fs::remove_all(pattern);
}

TEST(AssertDeathTest, FalseConditionAbortsWithItsMessage) {
  utils::assertOrAbort(true, "never %d", 1);
  EXPECT_DEATH(utils::assertOrAbort(false, "bad bin %d of %s", 7, "grid"),
               "Assertion failure: bad bin 7 of grid");
}

}  // namespace
