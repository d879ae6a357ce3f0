#include "utils/file_status.h"

#include <algorithm>

namespace utils {
namespace {

constexpr int64_t kNanosPerSecond = 1000000000;

int64_t nanos(const timespec& time) {
  return static_cast<int64_t>(time.tv_sec) * kNanosPerSecond + time.tv_nsec;
}

timespec timeOf(int64_t nanos) {
  return timespec{static_cast<time_t>(nanos / kNanosPerSecond),
                  static_cast<long>(nanos % kNanosPerSecond)};
}

bool sameTime(const timespec& a, const timespec& b) { return nanos(a) == nanos(b); }

// The time of the clock that stamps files, and its tick.
int64_t coarseNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return nanos(now);
}

int64_t coarseTick() {
  timespec tick{};
  ::clock_getres(CLOCK_REALTIME_COARSE, &tick);
  return nanos(tick);
}

}  // namespace

FileStatus::FileStatus(const struct stat& info)
    : device(info.st_dev),
      inode(info.st_ino),
      size(static_cast<uint64_t>(info.st_size)),
      modified(info.st_mtim),
      changed(info.st_ctim),
      links(info.st_nlink) {}

bool textMayDiffer(const FileStatus& earlier, const FileStatus& later) {
  if (earlier.device != later.device || earlier.inode != later.inode ||
      earlier.size != later.size || !sameTime(earlier.modified, later.modified))
    return true;
  return earlier.links == later.links && !sameTime(earlier.changed, later.changed);
}

void waitPastStamps(const FileStatus& status) {
  const int64_t tick = coarseTick();
  const int64_t until = std::max(nanos(status.modified), nanos(status.changed)) + tick;
  for (int64_t now = coarseNow(); now <= until; now = coarseNow()) {
    // The coarse clock lags the precise one by up to a tick: sleep past `until` by one more.
    const timespec pause = timeOf(until - now + tick);
    ::nanosleep(&pause, nullptr);  // woken early by a signal, it looks at the clock again
  }
}

}  // namespace utils
