#include "utils/file_system.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The type of the file system mounted deepest above `folder`, from /proc/self/mounts.
std::string mountedType(const std::string& folder) {
  std::ifstream mounts("/proc/self/mounts");
  std::string line, best, bestType;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, point, type;
    fields >> device >> point >> type;
    const bool above = folder == point || point == "/" || folder.rfind(point + "/", 0) == 0;
    if (above && point.size() >= best.size()) best = point, bestType = type;
  }
  return bestType;
}

TEST(FileSystemTest, MemoryFileSystemsAreThoseTheMountTableNamesTmpfsOrRamfs) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  for (const std::string folder : {"/dev/shm", "/tmp", "/proc", "/sys/fs/cgroup", "/", "."}) {
    const std::string real = folder == "." ? std::string(cwd) : folder;
    const std::string type = mountedType(real);
    const std::string path = folder == "." ? "report.rpt" : folder + "/report.rpt";
    EXPECT_EQ(utils::onMemoryFileSystem(path), type == "tmpfs" || type == "ramfs")
        << path << " on " << type;
  }
  EXPECT_FALSE(utils::onMemoryFileSystem("/no/such/folder/report.rpt"));
}

// Writes `bytes` to `path` with one unbuffered write; the errno of a failure, else 0.
int writeBytes(const std::string& path, size_t bytes) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return errno;
  std::setvbuf(file, nullptr, _IONBF, 0);
  const std::string text(bytes, 'x');
  const int error = std::fwrite(text.data(), 1, bytes, file) == bytes ? 0 : errno;
  std::fclose(file);
  return error;
}

TEST(FileSystemTest, AFileSizeLimitFailsWritesBeyondItWithoutASignalWhileItLives) {
  const std::string path = testing::TempDir() + "size_limit_" + std::to_string(::getpid());
  struct rlimit before;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  if (before.rlim_cur < 30000) GTEST_SKIP() << "a file size limit of the caller's own";
  {
    const utils::FileSizeLimit limit(10000);
    EXPECT_EQ(writeBytes(path, 10000), 0);
    EXPECT_EQ(writeBytes(path, 10001), EFBIG);
    {
      const utils::FileSizeLimit larger(20000);  // a lower limit stays
      EXPECT_EQ(writeBytes(path, 10001), EFBIG);
    }
    EXPECT_EQ(writeBytes(path, 10001), EFBIG);
  }
  EXPECT_EQ(writeBytes(path, 30000), 0);
  struct rlimit after;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &after), 0);
  EXPECT_EQ(after.rlim_cur, before.rlim_cur);
  std::remove(path.c_str());
}

}  // namespace
