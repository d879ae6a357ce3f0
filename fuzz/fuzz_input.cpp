#include "fuzz/fuzz_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>

#include "utils/log.h"

namespace fuzz {

SplitInput splitInput(const uint8_t* data, size_t size) {
  SplitInput input;
  if (size > 0) input.selector = data[0];
  if (size < 3) return input;
  const char* rest = reinterpret_cast<const char*>(data + 3);
  const size_t firstBytes = std::min(size - 3, size_t{data[1]} | size_t{data[2]} << 8);
  input.first = std::string_view(rest, firstBytes);
  input.second = std::string_view(rest + firstBytes, size - 3 - firstBytes);
  return input;
}

MemoryFile::MemoryFile(std::string_view contents) : fd_(memfd_create("fuzz", MFD_CLOEXEC)) {
  require(fd_ >= 0);
  for (size_t written = 0; written < contents.size();) {
    const ssize_t got = ::write(fd_, contents.data() + written, contents.size() - written);
    require(got > 0);
    written += static_cast<size_t>(got);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

}  // namespace fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  static utils::NoStreamBuf discard;
  std::cout.rdbuf(&discard);
  return 0;
}
