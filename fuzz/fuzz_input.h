// What every fuzz target does with its input: splits one byte string into a selector byte and
// two file contents, and serves each content as a file that the readers can open by path.
//
// Input layout: byte 0 is the selector; bytes 1 and 2 give the length of the first file
// (little-endian, cut to what is left); the first file follows, then the second file is the
// rest. Shorter inputs give empty files. Not thread-safe: one input at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

// Inputs longer than this are skipped, so that a run stays fast.
constexpr size_t kMaxInputBytes = 4096;

struct SplitInput {
  uint8_t selector = 0;
  std::string_view first;
  std::string_view second;
};

SplitInput splitInput(const uint8_t* data, size_t size);

// An anonymous in-memory file (memfd) holding given bytes; its path opens it afresh from the
// start. The file is closed when the object dies.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view contents);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  int fd_;
  std::string path_;
};

// Ends the process with abort(), which libFuzzer reports as a finding, when `condition` is false.
inline void require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace fuzz

// libFuzzer's start-up hook, defined once here for every target that links this library: sends
// standard output to a stream buffer that drops everything, for the whole process.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
