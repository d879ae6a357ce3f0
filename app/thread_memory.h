// The memory that starting the OpenMP workers takes, checked before they start, so that a run
// with more threads than its limits allow ends with one Error line instead of being killed by
// the kernel or stopped by the OpenMP runtime.
#pragma once

#include <cstddef>
#include <cstdint>

#include "utils/memory.h"

namespace app {

// What a control group is charged for each worker that starts: the thread's kernel stack and
// task, and the pages of its own stack that it touches. Measured in a v1 group on x86-64: 27 to
// 34 KB a thread when 64 to 1024 workers start, 35 KB a thread over a whole run of the small
// example at 1024 threads (see BENCHMARKS.md).
constexpr uint64_t kThreadChargeBytes = uint64_t{36} << 10;

// The stack each worker maps, as the OpenMP runtime reads its settings: `ompStackSize`
// (OMP_STACKSIZE), else `gompStackSize` (GOMP_STACKSIZE), each a number of kilobytes or of
// bytes, kilobytes, megabytes or gigabytes when followed by B, K, M or G; else, or when neither
// holds such a number, `defaultBytes`. Null stands for an unset variable.
size_t ompStackBytes(const char* ompStackSize, const char* gompStackSize, size_t defaultBytes);

// The data (RLIMIT_DATA) that each worker maps: its stack and one page.
uint64_t workerDataBytes(size_t stackBytes);

// Throws utils::MemoryShortfallError ("Cannot allocate memory for <threads> threads: ...") when
// the threads - 1 workers do not fit: kThreadChargeBytes each against what `memoryLeft` says is
// left, then workerDataBytes(stackBytes) each against `dataLeft`, the data the process may
// still map (UINT64_MAX for no limit).
void requireThreadMemory(int32_t threads, size_t stackBytes, const utils::MemoryProbe& memoryLeft,
                         uint64_t dataLeft);

// requireThreadMemory for this process: its workers' stack and what its data limit leaves.
void requireThreadMemory(int32_t threads);

}  // namespace app
