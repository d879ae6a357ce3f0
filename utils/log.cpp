#include "utils/log.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "utils/timer.h"

namespace utils {
namespace {

// Keeps the standard streams alive for the static objects below.
const std::ios_base::Init streamsReady;

}  // namespace

const int64_t programStart = nowNanos();

namespace {
NoStreamBuf discardingBuffer;
}  // namespace

std::ostream nullStream(&discardingBuffer);

// Written without taking memory, so that the line that says memory ran out can still be written.
std::ostream& writeTimestamp(std::ostream& out, const int64_t& start) {
  const double seconds = static_cast<double>(nowNanos() - start) / 1e9;
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "[%8.3f] ", seconds);
  return out << prefix;
}

std::ostream& logInfo(std::ostream& out) { return writeTimestamp(out, programStart); }

namespace {

// The coloured label of levels 3 to 7, between the escape characters; null for other levels.
const char* levelLabel(LogLevel level) {
  switch (level) {
    case 3: return "[1;34mNotice";
    case 4: return "[1;93mWarning";
    case 5: return "[1;31mError";
    case 6: return "[1;41;97m F A T A L ";
    case 7: return "[1;32mOK";
    default: return nullptr;
  }
}

constexpr char kEscape = 27;

}  // namespace

std::ostream& logAt(LogLevel level, std::ostream& out) {
  std::ostream& target = level < 2 ? nullStream : out;
  writeTimestamp(target, programStart);
  if (const char* label = levelLabel(level)) target << kEscape << label << kEscape << "[0m: ";
  return target;
}

std::string levelPrefix(LogLevel level) {
  const char* label = levelLabel(level);
  if (label == nullptr) return std::string();
  return kEscape + std::string(label) + kEscape + "[0m: ";
}

void fatalError(std::string_view message, std::string_view more) {
  logAt(5, std::cout) << message << more << std::endl;
  std::exit(1);
}

}  // namespace utils
