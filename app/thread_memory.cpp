#include "app/thread_memory.h"

#include <pthread.h>
#include <sys/resource.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/data_limit.h"

namespace app {
namespace {

constexpr uint64_t kPageBytes = 4096;

// The bytes an OMP_STACKSIZE value stands for: blanks, a decimal number, blanks, an optional
// unit (kilobytes without one), blanks; nothing for anything else or for 0.
std::optional<uint64_t> stackSetting(const char* text) {
  if (text == nullptr) return std::nullopt;
  while (std::isspace(static_cast<unsigned char>(*text))) ++text;
  if (!std::isdigit(static_cast<unsigned char>(*text))) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const unsigned long long number = std::strtoull(text, &end, 10);
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  int shift = 10;
  switch (std::tolower(static_cast<unsigned char>(*end))) {
    case 'b': shift = 0; ++end; break;
    case 'k': ++end; break;
    case 'm': shift = 20; ++end; break;
    case 'g': shift = 30; ++end; break;
    default: break;
  }
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (errno != 0 || *end != '\0' || number == 0 || number > (UINT64_MAX >> shift))
    return std::nullopt;
  return static_cast<uint64_t>(number) << shift;
}

// The default stack of new threads; 0 when the C library does not say.
size_t defaultThreadStack() {
  pthread_attr_t attr;
  size_t bytes = 0;
  if (pthread_getattr_default_np(&attr) != 0) return 0;
  if (pthread_attr_getstacksize(&attr, &bytes) != 0) bytes = 0;
  pthread_attr_destroy(&attr);
  return bytes;
}

// The data the process may still map under its data limit; UINT64_MAX without one.
uint64_t dataLeftUnderLimit() {
  const uint64_t limit = softDataLimit();
  if (limit == RLIM_INFINITY) return UINT64_MAX;
  const uint64_t data = processDataBytes();
  return limit > data ? limit - data : 0;
}

}  // namespace

size_t ompStackBytes(const char* ompStackSize, const char* gompStackSize, size_t defaultBytes) {
  std::optional<uint64_t> bytes = stackSetting(ompStackSize);
  if (!bytes) bytes = stackSetting(gompStackSize);
  return bytes ? static_cast<size_t>(*bytes) : defaultBytes;
}

uint64_t workerDataBytes(size_t stackBytes) { return stackBytes + kPageBytes; }

void requireThreadMemory(int32_t threads, size_t stackBytes, const utils::MemoryProbe& memoryLeft,
                         uint64_t dataLeft) {
  if (threads <= 1) return;
  const uint64_t workers = static_cast<uint64_t>(threads) - 1;
  const std::string what = "Cannot allocate memory for " + std::to_string(threads) + " threads";
  utils::requireMemory(what, workers * kThreadChargeBytes, memoryLeft);
  const uint64_t data = workers * workerDataBytes(stackBytes);
  if (data > dataLeft)
    throw utils::MemoryShortfallError(utils::shortfallError(
        what, data, utils::AvailableMemory{dataLeft, utils::MemoryBound::kDataLimit}));
}

void requireThreadMemory(int32_t threads) {
  const size_t stack = ompStackBytes(std::getenv("OMP_STACKSIZE"), std::getenv("GOMP_STACKSIZE"),
                                     defaultThreadStack());
  requireThreadMemory(threads, stack, utils::memoryLeft, dataLeftUnderLimit());
}

}  // namespace app
