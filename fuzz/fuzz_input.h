// What every fuzz target does with its input: splits it into a selector byte and two file
// contents, byte 0 the selector, bytes 1 and 2 the length of the first file (little-endian, cut
// to what is left), then the first file and the rest as the second (shorter inputs: empty
// files), and serves each content as a file the readers open by path. One input at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

constexpr size_t kMaxInputBytes = 4096;  // longer inputs are skipped, so that a run stays fast

struct SplitInput {
  uint8_t selector = 0;
  std::string_view first;
  std::string_view second;
};

SplitInput splitInput(const uint8_t* data, size_t size);

// An anonymous in-memory file (memfd) holding given bytes, closed when the object dies; its
// path opens it afresh from the start.
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

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);  // drops all standard output
