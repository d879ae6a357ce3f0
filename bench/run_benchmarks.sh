#!/usr/bin/env bash
# Benchmarks the program on generated designs: builds Release, generates each design once (cached
# in build-bench/designs), runs the program on every design with every thread count, checks that
# the reports do not depend on the thread count, and prints one table (bench/bench_table.py).
#
# Usage: bench/run_benchmarks.sh [--sizes "S M L"] [--threads "1 8"] [--seed N] [--markdown]
#                                [--no-die-growth] [--mem-limit MB] [--timeout SECONDS]
#                                [--program PATH] [--strict]
#   --sizes          any of S M L XL R (default S M L; XL and R only when asked); R is L on a
#                    routed grid (integer nm, wire ends on tracks), with far fewer bins
#   --threads        thread counts to run each design with (default "1 8")
#   --no-die-growth  skip L_die2, the nets of L on a die twice as wide and high
#   --mem-limit      address-space limit of each run (default: total memory less 1 GB), so that a
#                    run that outgrows the machine fails alone instead of waking the OOM killer
#   --timeout        seconds after which a run is stopped (default 3600)
#   --program        run this binary instead of the one built here (e.g. an older build, to
#                    compare its reports with those of a newer one)
#   --strict         fail also when a run does not end with status 0
# Exit status 1 when the reports of two thread counts differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
sizes="S M L"
threads="1 8"
seed=1
layers=8
die_growth=1
table_flags=()
mem_limit_mb=$(( $(awk '/^MemTotal:/ {print $2}' /proc/meminfo) / 1024 - 1024 ))
timeout_s=3600
program="$build/app/quorvane"

while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --markdown | --strict) table_flags+=("$1"); shift ;;
    --no-die-growth) die_growth=0; shift ;;
    --mem-limit) mem_limit_mb=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --program) program=$(realpath "$2"); shift 2 ;;
    *) echo "run_benchmarks.sh: unknown argument $1 (see the head of this script)" >&2; exit 2 ;;
  esac
done

"$root/scripts/deps.sh" libbenchmark-dev time python3
jobs=$(nproc); [ "$jobs" -gt 8 ] && jobs=8
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUORVANE_BENCH=ON -DQUORVANE_TESTS=ON \
  > /dev/null
cmake --build "$build" -j "$jobs" --target quorvane generate_design > /dev/null
designs="$build/designs/seed${seed}_layers${layers}"
mkdir -p "$designs"

# generate NAME SIZE DIE_SCALE: writes the design unless it is there and newer than the generator.
generate() {
  local name=$1 size=$2 scale=$3
  local nets="$designs/${name}_nets.txt"
  if [ ! -s "$nets" ] || [ "$build/bench/generate_design" -nt "$nets" ]; then
    "$build/bench/generate_design" --size "$size" --die-scale "$scale" --seed "$seed" \
      --layers "$layers" --out-dir "$designs" --name "$name" >&2
  fi
}

# run DESIGN THREADS: runs the program in its own folder, leaving meta, log, time.txt and reports.
run() {
  local design=$1 count=$2 dir="$build/runs/$1/t$2" status
  rm -rf "$dir"
  mkdir -p "$dir"
  # read the inputs once, so that the run finds them in the page cache
  cat "$designs/${design}_cells.txt" "$designs/${design}_nets.txt" > /dev/null
  echo "running $design with $count thread(s)" >&2
  set +e
  (cd "$dir" && ulimit -v $(( mem_limit_mb * 1024 )) &&
     timeout "$timeout_s" /usr/bin/time -v -o time.txt "$program" --bm_name "$design" \
       --cell_file "$designs/${design}_cells.txt" --net_file "$designs/${design}_nets.txt" \
       --avail_layer "$layers" --threads "$count" > log 2> stderr)
  status=$?
  set -e
  [ "$status" -gt 128 ] && status="signal $(( status - 128 ))"
  printf 'design=%s\nthreads=%s\ncell_file=%s\nnet_file=%s\nstatus=%s\n' "$design" "$count" \
    "$designs/${design}_cells.txt" "$designs/${design}_nets.txt" "$status" > "$dir/meta"
  echo "$dir"
}

run_dirs=()
for size in $sizes; do
  names=("$size")
  generate "$size" "$size" 1
  if [ "$size" = L ] && [ "$die_growth" = 1 ]; then
    generate L_die2 L 2
    names+=(L_die2)
  fi
  for name in "${names[@]}"; do
    for count in $threads; do
      run_dirs+=("$(run "$name" "$count")")
    done
  done
done

echo "machine: $(nproc) cores, $(awk '/^MemTotal:/ {printf "%.1f", $2 / 1048576}' /proc/meminfo) GB"
python3 "$root/bench/bench_table.py" "${table_flags[@]}" "${run_dirs[@]}"
