#!/usr/bin/env bash
# Scans the program under memory limits of a control group (scripts/memory_scan.py) on two small
# designs made here: one of 150000 asset cells in a row (with the small example's nets), one of
# 150000 segments of 15000 nets on metal1 .. metal4, a fifth of them asset nets (with the small
# example's cells). Each design is scanned at 1 and 8 threads, the net-heavy one once more with
# its net file through a pipe; both at 8 threads with their input dropped from the page cache
# before every run (--fresh, so that each run's reading charges its own group), the cell-heavy
# one with its reports on /dev/shm (a memory file system: the reports take the group's memory);
# the small example at 1024 threads from 1 MB up. Fails when a scan finds a run that neither
# completes as without a limit nor ends with exactly one Error line (or one per report that
# cannot be written, the other report as without a limit); passes, with one line saying
# so per scan, where no child memory control group can be made (or, for the reports' scan, where
# /dev/shm is not tmpfs). Builds nothing; about a minute on 8 cores.
# Usage: scripts/memory_scans.sh [PROGRAM]   (default build/app/quorvane)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/app/quorvane}
small=$root/examples/small
designs=$(mktemp -d)
trap 'rm -rf "$designs"' EXIT

# Copies of the small example too: a scan with --fresh drops its input from the page cache,
# which no other reader of the same files should see.
cp "$small/cells.txt" "$designs/small_cells.txt"
cp "$small/nets.txt" "$designs/small_nets.txt"
awk 'BEGIN { for (i = 0; i < 150000; i++) printf "cell C%d %d 0 %d 1 N\n", i, i, i + 1 }' \
  > "$designs/cells.txt"
# Ten segments a net, each net's on all four layers, the segments of every fifth net flagged.
awk 'BEGIN {
  for (i = 0; i < 150000; i++) {
    net = int(i / 10); x = (i * 7) % 1000; y = (i * 13) % 1000; layer = i % 4 + 1
    printf "seg S%d N%d %d %d %d %d M%d:metal%d %d x\n", i, net, x, y, x + 1 + i % 5,
           y + 1 + i % 3, layer, layer, net % 5 == 0
  }
}' > "$designs/nets.txt"

failed=0
# scan TITLE OPTIONS...: one scan from 15 MB (or --from) up to a little above the run's peak.
scan() {
  local title=$1 start=$SECONDS
  shift
  echo "== $title"
  python3 "$root/scripts/memory_scan.py" --program "$program" --from 15 "$@"
  local status=$?
  echo "== $title: exit status $status, $((SECONDS - start)) s"
  [ "$status" = 0 ] || failed=1
}

cell_heavy=(--cell_file "$designs/cells.txt" --net_file "$designs/small_nets.txt")
net_heavy=(--cell_file "$designs/small_cells.txt" --net_file "$designs/nets.txt" --avail_layer 4)
for threads in 1 8; do
  scan "cell-heavy design, $threads thread(s)" "${cell_heavy[@]}" --threads "$threads"
  scan "net-heavy design, $threads thread(s)" "${net_heavy[@]}" --threads "$threads"
done
scan "net-heavy design, 8 threads, net file through a pipe" "${net_heavy[@]}" --threads 8 --pipe
scan "cell-heavy design, 8 threads, input not cached" "${cell_heavy[@]}" --threads 8 --fresh
scan "net-heavy design, 8 threads, input not cached" "${net_heavy[@]}" --threads 8 --fresh
scan "cell-heavy design, 8 threads, reports on /dev/shm" "${cell_heavy[@]}" --threads 8 \
  --reports-on-tmpfs /dev/shm
# The threads' stacks and the runtime's pools at a limit that hardly lets the process start.
scan "small example, 1024 threads" --cell_file "$designs/small_cells.txt" \
  --net_file "$designs/small_nets.txt" --avail_layer 4 --threads 1024 --from 1 --step 5
exit "$failed"
