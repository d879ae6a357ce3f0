#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, address and undefined-behaviour sanitizers) in build-fuzz/
# and runs them side by side, each for the given number of seconds (default 60), starting from
# the seed corpus in fuzz/corpus/<name>/. Findings land in build-fuzz/artifacts/<name>/, logs in
# build-fuzz/logs/<name>.log. Exits 1 when any target found a fault.
# Usage: fuzz/run.sh [seconds] [name ...]   (names: grid_reader grid_exposure rtree_engine, all
# three by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
names=("$@")
[ ${#names[@]} -eq 0 ] && names=(grid_reader grid_exposure rtree_engine)
"$root/scripts/deps.sh" clang-14 libclang-rt-14-dev libomp-dev
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_TESTS=OFF -DQUORVANE_FUZZ=ON -DQUORVANE_SANITIZE=address,undefined > /dev/null
cmake --build "$build" -j 8 --target "${names[@]/%/_fuzzer}"
mkdir -p "$build/logs"
pids=()
for name in "${names[@]}"; do
  mkdir -p "$build/corpus/$name" "$build/artifacts/$name"
  "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name/" \
    "$build/corpus/$name" "$root/fuzz/corpus/$name" > "$build/logs/$name.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!names[@]}"; do
  log="$build/logs/${names[$i]}.log"
  if wait "${pids[$i]}"; then
    runs=$(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "${names[$i]}: ${runs:-?} runs in ${seconds} s, nothing found"
  else
    echo "${names[$i]}: FAULT FOUND, see $log and build-fuzz/artifacts/${names[$i]}/"
    tail -n 40 "$log"
    failed=1
  fi
done
exit "$failed"
