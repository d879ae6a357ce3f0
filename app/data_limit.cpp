#include "app/data_limit.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "utils/memory.h"

namespace app {

uint64_t dataLimitFor(uint64_t dataBytes, uint64_t groupRoom, uint64_t currentLimit) {
  if (groupRoom == UINT64_MAX) return currentLimit;
  const uint64_t room = groupRoom - groupRoom / utils::kPageTableShare;
  const uint64_t wanted = dataBytes + std::min(room, UINT64_MAX - dataBytes);
  return std::min(wanted, currentLimit);
}

uint64_t processDataBytes(const char* procRoot) {
  FILE* status = std::fopen((std::string(procRoot) + "/self/status").c_str(), "r");
  if (status == nullptr) return 0;
  char line[256];
  unsigned long long kilobytes = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, status) != nullptr)
    found = std::sscanf(line, "VmData: %llu kB", &kilobytes) == 1;
  std::fclose(status);
  return found ? static_cast<uint64_t>(kilobytes) * 1024 : 0;
}

bool limitDataToControlGroup() {
  struct rlimit limit;
  const uint64_t data = processDataBytes();
  if (data == 0 || getrlimit(RLIMIT_DATA, &limit) != 0) return false;
  const uint64_t wanted = dataLimitFor(data, utils::controlGroupRoom(), limit.rlim_cur);
  if (wanted == limit.rlim_cur) return true;
  limit.rlim_cur = static_cast<rlim_t>(wanted);
  return setrlimit(RLIMIT_DATA, &limit) == 0;
}

}  // namespace app
