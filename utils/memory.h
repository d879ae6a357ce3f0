// Memory figures of the process and the machine. MB are 2^20 bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace utils {

// Current resident memory in MB, from /proc/self/statm; 0.0 when it cannot be read.
double currentMemoryMB();

// Peak resident memory in MB (getrusage); 0.0 when the query fails.
double peakMemoryMB();

// The bytes of the first line "<key>: <n> kB" of the file at `path` (as in /proc/meminfo);
// nothing when the file or the line is missing.
std::optional<uint64_t> kilobyteLine(const std::string& path, const std::string& key);

// What bounds the memory a process may still take.
enum class MemoryBound {
  kMachine,       // the machine's available memory
  kControlGroup,  // the memory limit of a control group holding the process
  kDataLimit,     // the data limit of the process (RLIMIT_DATA, `ulimit -d`)
};

// Bytes a process may still take and what bounds them.
struct AvailableMemory {
  uint64_t bytes = UINT64_MAX;  // UINT64_MAX when nothing known bounds them
  MemoryBound bound = MemoryBound::kMachine;
};

// The smallest of the machine's available memory (MemAvailable of <procRoot>/meminfo, else the
// physical memory) and, for every control group holding the process (<procRoot>/self/cgroup)
// from its own up to the root, its memory limit less its usage, the usage without the clean
// file cache, which the kernel reclaims before it runs out: the active and the inactive file
// pages less the dirty ones and those under writeback (a missing key counts 0). Groups of the
// unified (v2) layout are read under <cgroupRoot>/<path>, those of the v1 memory controller
// under <cgroupRoot>/memory/<path>. A group whose limit or
// usage is missing, unreadable or malformed sets no limit; usage above the limit leaves 0.
// A tie is put down to the machine. Plain reads of a few small files.
AvailableMemory availableMemory(const std::string& procRoot = "/proc",
                                const std::string& cgroupRoot = "/sys/fs/cgroup");

// The least room left under the memory limit of a control group holding the process (as
// availableMemory counts it); UINT64_MAX when no group's limit applies.
uint64_t controlGroupRoom(const std::string& procRoot = "/proc",
                          const std::string& cgroupRoot = "/sys/fs/cgroup");

// What the memory checks keep back for what they cannot count: kMemoryMarginBytes for the
// allocator's slack, the threads' stacks and small lists, and one byte in kPageTableShare for
// the page tables of what is taken, which the kernel charges to a control group too. Measured
// by scanning control-group limits in 1 MB steps over cell-heavy and net-heavy designs with
// the margin at 0 (see BENCHMARKS.md).
constexpr uint64_t kMemoryMarginBytes = uint64_t{2} << 20;
constexpr uint64_t kPageTableShare = 256;

// What a run may still take: availableMemory() less the margin.
AvailableMemory memoryLeft();

// Asks what memory the process may still take; tests give a fixed answer.
using MemoryProbe = std::function<AvailableMemory()>;

// What `probe` says can be had, when `bytes` more do not fit in it. Nothing when they fit, when
// there is no probe, or when they are fewer than kUncheckedBytes: not worth the question, which
// reads a few files.
constexpr uint64_t kUncheckedBytes = uint64_t{1} << 18;
std::optional<AvailableMemory> shortOf(uint64_t bytes, const MemoryProbe& probe);

// The Error text for memory that is not there: "<what>: <bytes> bytes needed, <available>
// available", and " (memory limit of the control group)" when a group's limit bounds it,
// " (data limit of the process)" when the data limit does.
std::string shortfallError(const std::string& what, uint64_t bytes,
                           const AvailableMemory& available);

// Memory that a step needs and the probe says is not there. what() is the whole Error text;
// it is a std::bad_alloc, so that code which handles a failed allocation handles it too.
class MemoryShortfallError : public std::bad_alloc {
 public:
  explicit MemoryShortfallError(std::string text) : text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

// Throws MemoryShortfallError with shortfallError(what, bytes, ...) when shortOf(bytes, probe).
void requireMemory(const std::string& what, uint64_t bytes, const MemoryProbe& probe);

// Reserves room for `count` elements in `list` and writes to every page of the room beyond its
// elements on all OpenMP threads, so that filling the list afterwards on one thread does not
// also take the page faults of fresh memory one after another.
template <typename T>
void reserveTouched(std::vector<T>& list, size_t count) {
  constexpr size_t kPageBytes = 4096;
  list.reserve(count);
  char* room = reinterpret_cast<char*>(list.data() + list.size());
  const int64_t pages = static_cast<int64_t>(
      ((list.capacity() - list.size()) * sizeof(T) + kPageBytes - 1) / kPageBytes);
#pragma omp parallel for schedule(static) if (pages >= 1024)
  for (int64_t page = 0; page < pages; ++page) room[page * kPageBytes] = 0;
}

}  // namespace utils
