#include "app/data_limit.h"

#include <sys/resource.h>

#include <algorithm>
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
  return utils::kilobyteLine(std::string(procRoot) + "/self/status", "VmData").value_or(0);
}

uint64_t residentAnonymousBytes(const char* procRoot) {
  return utils::kilobyteLine(std::string(procRoot) + "/self/status", "RssAnon").value_or(0);
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

uint64_t softDataLimit() {
  struct rlimit limit;
  return getrlimit(RLIMIT_DATA, &limit) == 0 ? limit.rlim_cur : RLIM_INFINITY;
}

bool raiseDataLimitToControlGroup(uint64_t userLimit) {
  struct rlimit limit;
  const uint64_t resident = residentAnonymousBytes();
  if (resident == 0 || getrlimit(RLIMIT_DATA, &limit) != 0) return false;
  const uint64_t wanted = dataLimitFor(resident, utils::controlGroupRoom(), userLimit);
  if (wanted <= limit.rlim_cur) return true;
  limit.rlim_cur = static_cast<rlim_t>(wanted);
  return setrlimit(RLIMIT_DATA, &limit) == 0;
}

utils::MemoryProbe memoryLeftRaisingDataLimit(uint64_t userLimit) {
  return [userLimit] {
    const utils::AvailableMemory left = utils::memoryLeft();
    raiseDataLimitToControlGroup(userLimit);
    return left;
  };
}

}  // namespace app
