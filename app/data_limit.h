// A backstop under the memory limit of a control group: the process may map no more private
// data than the group has room for when the run starts, so that an allocation beyond it fails,
// and the run ends with the Error line of the step that asked, instead of the kernel killing
// the process. The limit is raised when the group gets room back (files staged into the group
// written back, file cache freed). Runs outside such a limit, and a lower limit of the user's
// own, are left alone.
#pragma once

#include <cstdint>

#include "utils/memory.h"

namespace app {

// The data limit for a process that maps `dataBytes` of private data now in a group that has
// `groupRoom` bytes of room (UINT64_MAX: no group limits it) under the limit `currentLimit`
// (RLIM_INFINITY for none): the data and the room, less the page tables of that room
// (utils::kPageTableShare), unless the current limit is lower.
uint64_t dataLimitFor(uint64_t dataBytes, uint64_t groupRoom, uint64_t currentLimit);

// The private data the process maps now (VmData of <procRoot>/self/status) in bytes; 0 when it
// cannot be read.
uint64_t processDataBytes(const char* procRoot = "/proc");

// The anonymous memory the process holds now (RssAnon of <procRoot>/self/status) in bytes; 0
// when it cannot be read.
uint64_t residentAnonymousBytes(const char* procRoot = "/proc");

// Sets the soft data limit (RLIMIT_DATA) to dataLimitFor the process now. Call it after the
// worker threads have started, as their stacks count as data. Returns false when the limit
// could not be read or set; the run then goes on without it.
bool limitDataToControlGroup();

// The soft data limit now; RLIM_INFINITY when it cannot be read.
uint64_t softDataLimit();

// Raises the soft data limit, never above `userLimit` (the soft limit before
// limitDataToControlGroup), to dataLimitFor the anonymous memory the process holds now and the
// group's room now: its data then grows by no more than the room, though some of it (freed
// memory the allocator keeps mapped, stacks not yet touched) takes no memory now. Returns false
// when the limit could not be read or set.
bool raiseDataLimitToControlGroup(uint64_t userLimit);

// A memory probe that answers as utils::memoryLeft and raises the data limit as above.
utils::MemoryProbe memoryLeftRaisingDataLimit(uint64_t userLimit);

}  // namespace app
