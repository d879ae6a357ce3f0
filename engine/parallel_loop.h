// The engine's parallel loops: OpenMP over the indices 0..n-1, handed out one at a time, on the
// thread count the driver set. Iteration i may write only entry i of vectors sized before the
// loop; there are no locks, atomics or reductions, so results never depend on the threads.
// An exception (e.g. std::bad_alloc) that leaves an iteration ends that thread's share of the
// loop and is thrown again on the calling thread once the loop is over.
#pragma once

#include <omp.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <vector>

// Runs body(i, scratch) for every i in [0, n), with one default-built Scratch per thread that
// the thread's iterations share one after another.
template <typename Scratch, typename Body>
void parallelForWithScratch(int32_t n, const Body& body) {
  std::vector<std::exception_ptr> failures(omp_get_max_threads());
#pragma omp parallel if (n > 1)
  {
    // An exception may not leave the loop: each iteration catches its own.
    std::exception_ptr& failure = failures[omp_get_thread_num()];
    std::optional<Scratch> scratch;
    try {
      scratch.emplace();
    } catch (...) {
      failure = std::current_exception();
    }
#pragma omp for schedule(dynamic, 1)
    for (int32_t i = 0; i < n; ++i) {
      if (failure) continue;
      try {
        body(i, *scratch);
      } catch (...) {
        failure = std::current_exception();
      }
    }
  }
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

// Runs body(i) for every i in [0, n).
template <typename Body>
void parallelFor(int32_t n, const Body& body) {
  struct NoScratch {};
  parallelForWithScratch<NoScratch>(n, [&](int32_t i, NoScratch&) { body(i); });
}
