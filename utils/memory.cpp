#include "utils/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

namespace utils {

double currentMemoryMB() {
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0.0;
  long residentPages = 0;
  const int assigned = std::fscanf(statm, "%*s%ld", &residentPages);
  std::fclose(statm);
  if (assigned != 1) return 0.0;
  const int64_t bytes = static_cast<int64_t>(residentPages) * sysconf(_SC_PAGESIZE);
  return static_cast<double>(bytes) * 9.5367431640625e-7;
}

double peakMemoryMB() {
  struct rusage usage;
  std::memset(&usage, 0, sizeof usage);
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0.0;
  return static_cast<double>(usage.ru_maxrss) * 0.0009765625;
}

std::optional<uint64_t> kilobyteLine(const std::string& path, const std::string& key) {
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return std::nullopt;
  const std::string format = key + ": %llu kB";
  char line[256];
  unsigned long long kilobytes = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, file) != nullptr)
    found = std::sscanf(line, format.c_str(), &kilobytes) == 1;
  std::fclose(file);
  if (!found) return std::nullopt;
  return static_cast<uint64_t>(kilobytes) * 1024;
}

namespace {

// A limit at or above this is none: v1 writes 2^63 rounded down to whole pages for no limit.
constexpr uint64_t kNoLimit = uint64_t{1} << 62;

// The files of a control group in one layout. The memory.stat keys name the file cache of the
// group and every group below it, as the usage counts them too: the pages on the active and the
// inactive list, and those of them that are dirty or under writeback.
struct GroupFiles {
  const char* limit;
  const char* usage;
  const char* activeFileKey;
  const char* inactiveFileKey;
  const char* dirtyKey;
  const char* writebackKey;
};
constexpr GroupFiles kUnifiedFiles{"memory.max",    "memory.current", "active_file",
                                   "inactive_file", "file_dirty",     "file_writeback"};
constexpr GroupFiles kV1Files{"memory.limit_in_bytes", "memory.usage_in_bytes",
                              "total_active_file",     "total_inactive_file",
                              "total_dirty",           "total_writeback"};

// The whole text of the file at `path`; empty when it cannot be read.
std::string fileText(const std::string& path) {
  std::string text;
  FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return text;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> result;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    result.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

// The unsigned decimal `text` holds, trailing white space allowed.
std::optional<uint64_t> parseCount(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const std::from_chars_result parsed = std::from_chars(text.data(), end, value);
  if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return value;
}

// The value of `key` in the text of a memory.stat file; 0 when it is missing or malformed.
uint64_t statValue(std::string_view stat, std::string_view key) {
  for (std::string_view line : lines(stat))
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ' ')
      return parseCount(line.substr(key.size() + 1)).value_or(0);
  return 0;
}

// The file cache of the group in folder `dir` that the kernel can reclaim without a write: the
// pages of both lists less those that are dirty or under writeback.
uint64_t cleanFileCache(const std::string& dir, const GroupFiles& files) {
  const std::string stat = fileText(dir + "/memory.stat");
  const uint64_t cached =
      statValue(stat, files.activeFileKey) + statValue(stat, files.inactiveFileKey);
  const uint64_t unwritten =
      statValue(stat, files.dirtyKey) + statValue(stat, files.writebackKey);
  return cached - std::min(cached, unwritten);
}

// Bytes the group in folder `dir` still lets its members take; UINT64_MAX for no limit.
uint64_t groupRoom(const std::string& dir, const GroupFiles& files) {
  const std::optional<uint64_t> limit = parseCount(fileText(dir + "/" + files.limit));
  const std::optional<uint64_t> usage = parseCount(fileText(dir + "/" + files.usage));
  if (!limit || *limit >= kNoLimit || !usage) return UINT64_MAX;
  const uint64_t used = *usage - std::min(*usage, cleanFileCache(dir, files));
  return *limit > used ? *limit - used : 0;
}

// The least room of the group <root><path> and of every group above it up to <root>.
uint64_t hierarchyRoom(const std::string& root, std::string_view path, const GroupFiles& files) {
  uint64_t room = UINT64_MAX;
  for (;;) {
    room = std::min(room, groupRoom(root + std::string(path), files));
    if (path.empty()) return room;
    const size_t slash = path.rfind('/');
    path = path.substr(0, slash == path.npos ? 0 : slash);
  }
}

bool hasController(std::string_view controllers, std::string_view name) {
  for (size_t start = 0; start <= controllers.size();) {
    const size_t end = std::min(controllers.find(',', start), controllers.size());
    if (controllers.substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

// MemAvailable of <procRoot>/meminfo, else the physical memory; UINT64_MAX when unknown.
uint64_t machineAvailable(const std::string& procRoot) {
  if (const std::optional<uint64_t> bytes = kilobyteLine(procRoot + "/meminfo", "MemAvailable"))
    return *bytes;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

}  // namespace

// The least room of the groups that hold the process: the unified hierarchy ("0::<path>") and
// the v1 memory controller ("<id>:<controllers with memory>:<path>") of <procRoot>/self/cgroup.
uint64_t controlGroupRoom(const std::string& procRoot, const std::string& cgroupRoot) {
  uint64_t room = UINT64_MAX;
  const std::string groups = fileText(procRoot + "/self/cgroup");
  for (std::string_view line : lines(groups)) {
    const size_t first = line.find(':');
    const size_t second = first == line.npos ? first : line.find(':', first + 1);
    if (second == line.npos) continue;
    const std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    if (line.substr(0, first) == "0" && controllers.empty())
      room = std::min(room, hierarchyRoom(cgroupRoot, path, kUnifiedFiles));
    else if (hasController(controllers, "memory"))
      room = std::min(room, hierarchyRoom(cgroupRoot + "/memory", path, kV1Files));
  }
  return room;
}

AvailableMemory availableMemory(const std::string& procRoot, const std::string& cgroupRoot) {
  const uint64_t machine = machineAvailable(procRoot);
  const uint64_t group = controlGroupRoom(procRoot, cgroupRoot);
  if (group < machine) return AvailableMemory{group, MemoryBound::kControlGroup};
  return AvailableMemory{machine, MemoryBound::kMachine};
}

AvailableMemory memoryLeft() {
  AvailableMemory left = availableMemory();
  left.bytes -= std::min(left.bytes, kMemoryMarginBytes + left.bytes / kPageTableShare);
  return left;
}

std::optional<AvailableMemory> shortOf(uint64_t bytes, const MemoryProbe& probe) {
  if (bytes < kUncheckedBytes || !probe) return std::nullopt;
  const AvailableMemory available = probe();
  if (bytes <= available.bytes) return std::nullopt;
  return available;
}

namespace {

// What the Error line says bounds the memory.
const char* boundNote(MemoryBound bound) {
  switch (bound) {
    case MemoryBound::kControlGroup:
      return " (memory limit of the control group)";
    case MemoryBound::kDataLimit:
      return " (data limit of the process)";
    case MemoryBound::kMachine:
      break;
  }
  return "";
}

}  // namespace

std::string shortfallError(const std::string& what, uint64_t bytes,
                           const AvailableMemory& available) {
  return what + ": " + std::to_string(bytes) + " bytes needed, " +
         std::to_string(available.bytes) + " available" + boundNote(available.bound);
}

void requireMemory(const std::string& what, uint64_t bytes, const MemoryProbe& probe) {
  if (const std::optional<AvailableMemory> available = shortOf(bytes, probe))
    throw MemoryShortfallError(shortfallError(what, bytes, *available));
}

}  // namespace utils
