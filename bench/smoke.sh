#!/usr/bin/env bash
# Smoke test of the benchmarks for CI: builds them (the micro-benchmarks too, without running
# them), cross-checks the two engines on the example design, then generates the S design, runs
# the program on it once with 1 and with 8 threads and prints the table (bench_table.py). Fails
# when a run fails, when the engines disagree on the example or when the reports of the two runs
# differ; no timing is checked. Arguments go on to run_benchmarks.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
"$root/scripts/deps.sh" libbenchmark-dev time python3
jobs=$(nproc); [ "$jobs" -gt 8 ] && jobs=8
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BENCH=ON -DQUORVANE_TESTS=ON \
  > /dev/null
cmake --build "$build" -j "$jobs" --target quorvane generate_design cross_check micro_benchmarks
mkdir -p "$build/cross_check"
(cd "$build/cross_check" && "$build/bench/cross_check" --bm_name small \
  --cell_file "$root/examples/small/cells.txt" --net_file "$root/examples/small/nets.txt" \
  --avail_layer 4 | grep -v '^\[')
"$root/bench/run_benchmarks.sh" --sizes S --threads "1 8" --no-die-growth --strict "$@"
