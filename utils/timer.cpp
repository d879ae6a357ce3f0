#include "utils/timer.h"

#include <chrono>

namespace utils {

int64_t nowNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

Timer::Timer() : start_(nowNanos()) {}

void Timer::reset() { start_ = nowNanos(); }

double Timer::elapsedSeconds() const { return static_cast<double>(nowNanos() - start_) / 1e9; }

}  // namespace utils
