// Memory figures of the process and the machine. MB are 2^20 bytes.
#pragma once

#include <cstdint>

namespace utils {

// Current resident memory in MB, from /proc/self/statm; 0.0 when it cannot be read.
double currentMemoryMB();

// Peak resident memory in MB (getrusage); 0.0 when the query fails.
double peakMemoryMB();

// Bytes the machine could still give this process (MemAvailable of /proc/meminfo, else the
// physical memory); 0 when unknown.
uint64_t availableMemoryBytes();

}  // namespace utils
