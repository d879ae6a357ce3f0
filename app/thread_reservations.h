// The address space that threads take besides the memory they use: every thread that allocates
// may get a malloc arena of its own, which reserves 64 MB, and every thread reserves its whole
// stack when it starts. Left alone, each OpenMP worker reserves some 72 MB, enough to fail a run
// under `ulimit -v` that one thread would pass.
#pragma once

#include <cstddef>

namespace app {

// Malloc arenas the whole process shares under an address-space limit, the main one included.
// One more arena than the main one keeps the reader's allocations from waiting on a single lock.
// Without such a limit every thread keeps an arena of its own: names longer than a string holds
// in place are then stored twice as fast or more on eight threads.
constexpr int kMallocArenas = 2;

// The stack of a thread started without a size of its own, such as an OpenMP worker when
// OMP_STACKSIZE and GOMP_STACKSIZE are not set. The engine's loops neither recurse deeply nor
// keep large arrays on the stack: designs of a million segments run on 16 kB worker stacks.
constexpr size_t kWorkerStackBytes = size_t{1} << 20;

// True when `arenaMax` (MALLOC_ARENA_MAX, null when unset) or `tunables` (GLIBC_TUNABLES, null
// when unset) already sets the number of malloc arenas.
bool arenaCountGiven(const char* arenaMax, const char* tunables);

// The default thread stack to set when the default is `current` bytes: the smaller of the two,
// so that a smaller `ulimit -s` still holds.
size_t workerStackBytes(size_t current);

// Whether an address-space limit (`ulimit -v`) holds for the process.
bool addressSpaceLimited();

// Caps the malloc arenas at kMallocArenas when the address space is limited, unless the
// environment sets their number (an arena that a thread took before stays). Returns false when
// the allocator refused, as the sanitizers' allocators do.
bool limitMallocArenas();

// Makes workerStackBytes of the current default the default stack of the threads started from
// now on. Returns false when the C library refused.
bool limitDefaultThreadStack();

// Both of the above. Call it before any thread starts. Returns false when a setting was refused;
// the run then goes on without it.
bool limitThreadReservations();

}  // namespace app
