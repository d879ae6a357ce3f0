// What fstat says of an open regular file that tells whether its text may have changed since an
// earlier look: its identity, its size, its stamps to the nanosecond and its link count.
#pragma once

#include <sys/stat.h>
#include <time.h>

#include <cstdint>

namespace utils {

struct FileStatus {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;      // bytes
  timespec modified{};    // when the text was last written (settable by any writer)
  timespec changed{};     // when the text or the status last changed (set by the kernel only)
  uint64_t links = 0;

  explicit FileStatus(const struct stat& info);
};

// Whether the text of the file that `earlier` and `later` describe may differ between the two
// looks: the identity, size or modification time differ, or the change time does while the
// link count stayed the same. Linking, unlinking or renaming another file over it move only
// the change time (and the link count) and leave its text as it was.
bool textMayDiffer(const FileStatus& earlier, const FileStatus& later);

// Returns once the clock that stamps files (the kernel's coarse clock, which moves a tick at a
// time) is more than a tick past `status`'s stamps. A write stamped within the tick of those
// stamps leaves them as they were; it has begun by then and, but for one still copying its
// bytes, ended. Returns at once for a file stamped earlier.
void waitPastStamps(const FileStatus& status);

}  // namespace utils
