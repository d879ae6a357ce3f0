#!/usr/bin/env bash
# Smoke test of the benchmarks for CI: builds them (the micro-benchmarks too, without running
# them), runs their tests, then runs the program on the S design once with 1 and with 8 threads.
# Fails when a test or a run fails or when the reports of the two runs differ; no timing is
# checked. Arguments go on to run_benchmarks.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
"$root/scripts/deps.sh" libbenchmark-dev time python3
jobs=$(nproc); [ "$jobs" -gt 8 ] && jobs=8
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BENCH=ON -DQUORVANE_TESTS=ON \
  > /dev/null
cmake --build "$build" -j "$jobs" --target bench_tests quorvane generate_design micro_benchmarks
(cd "$build" && ctest --output-on-failure -j "$jobs" -R '^bench\.')
"$root/bench/run_benchmarks.sh" --sizes S --threads "1 8" --no-die-growth --strict "$@"
