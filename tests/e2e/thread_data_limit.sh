#!/usr/bin/env bash
# Runs the program on the small example with 8 threads under a data limit (`ulimit -d`) of
# 200 MB. With worker stacks of 64 MB (OMP_STACKSIZE) the 7 workers cannot map theirs: the run
# must end before they start, with status 1, one Error line that gives the bytes, nothing on
# standard error (where the OpenMP runtime would say that it failed) and no report. With
# stacks of 1 MB the same run completes.
# Usage: thread_data_limit.sh BINARY EXAMPLE_FOLDER
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
example=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0

# run STACK: one run with worker stacks of STACK, its outputs in stdout, stderr and status.
run() {
  rm -f stdout stderr ./*.rpt
  (ulimit -d $((200 * 1024)) &&
     OMP_STACKSIZE=$1 "$binary" --bm_name small --cell_file "$example/cells.txt" \
       --net_file "$example/nets.txt" --avail_layer 4 --threads 8 < /dev/null > stdout 2> stderr)
  status=$?
}
fail() { echo "$1"; cat stdout stderr; failed=1; }

run 64M
expected="Cannot allocate memory for 8 threads: 469790720 bytes needed, N available (data limit of the process)"
errors=$(grep -a 'Error' stdout | sed -e 's/^.*Error[^:]*: //' -e 's/[0-9]* available/N available/')
[ "$status" = 1 ] || fail "64 MB stacks: exit status $status, not 1"
[ "$errors" = "$expected" ] || fail "64 MB stacks: Error lines '$errors', not '$expected'"
[ -s stderr ] && fail "64 MB stacks: standard error is not empty"
ls ./*.rpt > /dev/null 2>&1 && fail "64 MB stacks: a report was written"

run 1M
[ "$status" = 0 ] || fail "1 MB stacks: exit status $status, not 0"
[ -s small_cells_ea.rpt ] && [ -s small_nets_ea.rpt ] || fail "1 MB stacks: a report is missing"
exit "$failed"
