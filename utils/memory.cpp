#include "utils/memory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

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

uint64_t availableMemoryBytes() {
  if (FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kilobytes = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, meminfo) != nullptr)
      found = std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1;
    std::fclose(meminfo);
    if (found) return static_cast<uint64_t>(kilobytes) * 1024;
  }
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

}  // namespace utils
