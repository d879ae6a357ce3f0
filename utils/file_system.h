// Where a file lives, and a bound on the size of the files the process writes.
#pragma once

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <functional>
#include <string>

namespace utils {

// Whether the folder that holds `path` (the current folder for a bare name) lies on a file
// system kept in memory (tmpfs, ramfs): the pages written there are charged to the writer's
// control group and cannot be reclaimed. False when the folder cannot be looked at.
bool onMemoryFileSystem(const std::string& path);

// Tells whether a path lies on a memory file system; tests give a fixed answer.
using MemoryFileSystemProbe = std::function<bool(const std::string& path)>;

// While it lives, no file the process writes may grow beyond `bytes` (RLIMIT_FSIZE, unless the
// limit is lower already) and a write beyond fails with EFBIG instead of raising SIGXFSZ; the
// limit and the signal's action are restored when it dies. Not thread-safe: one at a time.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  bool limitSet_ = false;
  bool signalSet_ = false;
  struct rlimit limit_;
  struct sigaction action_;
};

}  // namespace utils
