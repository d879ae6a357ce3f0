// Memory figures of the process and the machine. MB are 2^20 bytes.
#pragma once

#include <cstdint>
#include <string>

namespace utils {

// Current resident memory in MB, from /proc/self/statm; 0.0 when it cannot be read.
double currentMemoryMB();

// Peak resident memory in MB (getrusage); 0.0 when the query fails.
double peakMemoryMB();

// What bounds the memory a process may still take.
enum class MemoryBound {
  kMachine,       // the machine's available memory
  kControlGroup,  // the memory limit of a control group holding the process
};

// Bytes a process may still take and what bounds them.
struct AvailableMemory {
  uint64_t bytes = UINT64_MAX;  // UINT64_MAX when nothing known bounds them
  MemoryBound bound = MemoryBound::kMachine;
};

// The smallest of the machine's available memory (MemAvailable of <procRoot>/meminfo, else the
// physical memory) and, for every control group holding the process (<procRoot>/self/cgroup)
// from its own up to the root, its memory limit less its usage, the usage without the file
// cache it may reclaim. Groups of the unified (v2) layout are read under <cgroupRoot>/<path>,
// those of the v1 memory controller under <cgroupRoot>/memory/<path>. A group whose limit or
// usage is missing, unreadable or malformed sets no limit; usage above the limit leaves 0.
// A tie is put down to the machine. Plain reads of a few small files.
AvailableMemory availableMemory(const std::string& procRoot = "/proc",
                                const std::string& cgroupRoot = "/sys/fs/cgroup");

}  // namespace utils
