#!/usr/bin/env bash
# Threads under ThreadSanitizer: builds with clang and LLVM's OpenMP runtime in build-tsan/ (the
# runtime's Archer tool tells ThreadSanitizer about OpenMP's own synchronisation), runs the
# engine tests, then runs the program on generated designs with 1, 2, 8 and 64 threads and
# requires every report to be identical to the one of 1 thread. Fails on any race report.
# Usage: scripts/tsan.sh [segments per design]   (default 20000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
segments=${1:-20000}
"$root/scripts/deps.sh" clang-14 libclang-rt-14-dev libomp-dev libbenchmark-dev
build="$root/build-tsan"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_TESTS=ON -DQUORVANE_BENCH=ON -DQUORVANE_SANITIZE=thread > /dev/null
cmake --build "$build" -j 8 --target engine_tests quorvane generate_design

export OMP_TOOL_LIBRARIES=/usr/lib/llvm-14/lib/libarcher.so
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 ignore_noninstrumented_modules=1"
echo "== engine tests, 4 threads"
OMP_NUM_THREADS=4 "$build/tests/engine_tests" --gtest_brief=1 \
  --gtest_death_test_style=threadsafe  # a forked child trips over the OpenMP tool at exit

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for seed in 1 2 3; do
  design="$work/design$seed"
  mkdir -p "$design"
  "$build/bench/generate_design" --size S --segments "$segments" --seed "$seed" --layers 8 \
    --out-dir "$design" --name d > /dev/null
  for threads in 1 2 8 64; do
    run="$design/threads$threads"
    mkdir -p "$run"
    (cd "$run" && "$build/app/quorvane" --bm_name d --cell_file ../d_cells.txt \
      --net_file ../d_nets.txt --avail_layer 8 --threads "$threads" > stdout)
    for report in d_cells_ea.rpt d_nets_ea.rpt; do
      cmp "$design/threads1/$report" "$run/$report"
    done
  done
  echo "== design $seed ($segments segments): reports identical for 1, 2, 8 and 64 threads"
done
