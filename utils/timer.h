// A restartable wall-clock stopwatch (system clock, so not monotonic).
#pragma once

#include <cstdint>

namespace utils {

// Nanoseconds since the system clock's epoch.
int64_t nowNanos();

class Timer {
 public:
  Timer();
  void reset();
  // Seconds since construction or the last reset.
  double elapsedSeconds() const;

 private:
  int64_t start_;  // system-clock nanoseconds
};

}  // namespace utils
