// The engine's parallel loops: OpenMP over the indices 0..n-1, handed out one at a time, on the
// thread count the driver set. Iteration i may write only entry i of vectors sized before the
// loop; there are no locks, atomics or reductions, so results never depend on the threads.
#pragma once

#include <cstdint>

// Runs body(i) for every i in [0, n).
template <typename Body>
void parallelFor(int32_t n, const Body& body) {
#pragma omp parallel for schedule(dynamic, 1)
  for (int32_t i = 0; i < n; ++i) body(i);
}

// Runs body(i, scratch) for every i in [0, n), with one default-built Scratch per thread that
// the thread's iterations share one after another.
template <typename Scratch, typename Body>
void parallelForWithScratch(int32_t n, const Body& body) {
#pragma omp parallel
  {
    Scratch scratch;
#pragma omp for schedule(dynamic, 1)
    for (int32_t i = 0; i < n; ++i) body(i, scratch);
  }
}
