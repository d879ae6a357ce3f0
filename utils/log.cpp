#include "utils/log.h"

#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <sstream>

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

std::ostream& writeTimestamp(std::ostream& out, const int64_t& start) {
  const double seconds = static_cast<double>(nowNanos() - start) / 1e9;
  std::ostringstream prefix;
  prefix << "[" << std::fixed << std::setprecision(3) << std::setw(8) << seconds << "] ";
  out << prefix.str();
  return out;
}

std::ostream& logInfo(std::ostream& out) { return writeTimestamp(out, programStart); }

std::ostream& logAt(LogLevel level, std::ostream& out) {
  std::ostream& target = level < 2 ? nullStream : out;
  writeTimestamp(target, programStart);
  if (level > 2) target << levelPrefix(level);
  return target;
}

std::string levelPrefix(LogLevel level) {
  const char esc = 27;
  const char* label = nullptr;
  switch (level) {
    case 3: label = "[1;34mNotice"; break;
    case 4: label = "[1;93mWarning"; break;
    case 5: label = "[1;31mError"; break;
    case 6: label = "[1;41;97m F A T A L "; break;
    case 7: label = "[1;32mOK"; break;
    default: return std::string();
  }
  return esc + std::string(label) + esc + "[0m: ";
}

void fatalError(const std::string& message) {
  logAt(5, std::cout) << message << std::endl;
  std::exit(1);
}

}  // namespace utils
