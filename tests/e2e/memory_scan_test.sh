#!/usr/bin/env bash
# Checks scripts/memory_scan.py, the scan of the program under memory limits of a control group:
# - on the small example the program completes or ends with one Error line at every limit tried
#   (1 and 8 threads, the net file through a pipe too): the scan passes;
# - against memory_scan_fake.sh, a stand-in that misbehaves as FAKE_BEHAVIOUR says below some
#   limit (a SIGKILL, a real kill by the memory controller, status 137, two Error lines, a line
#   after the Error line, a report left behind or wrong or missing, text on standard error, no
#   Error line, an Error line in a complete run, a hang), the scan names the violation at the
#   right limits and exits with status 1; a kill only between two coarse limits is found by the
#   fine steps; a well-behaved stand-in passes;
# - a scan stopped by SIGTERM mid-run exits with status 2; no scan leaves a group or a process
#   behind.
# Exit status 77 (skipped) where no child memory control group can be made.
# Usage: memory_scan_test.sh BINARY EXAMPLE_FOLDER
set -u
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
scan=$scripts/memory_scan.py
fake=$here/memory_scan_fake.sh
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
example=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

scan_pids=()  # of every scan, whose groups are memory_scan.PID.*

# Runs the scan with the given options; its output lands in $work/NAME.out, its status in $status.
run_scan() {
  local name=$1
  shift
  python3 "$scan" --cell_file "$example/cells.txt" --net_file "$example/nets.txt" "$@" \
    > "$work/$name.out" 2>&1 &
  scan_pids+=($!)
  wait $!
  status=$?
}

# Scans the stand-in behaving as $1 over 10 .. 40 MB, more options after it.
scan_fake() {
  local behaviour=$1
  shift
  FAKE_BEHAVIOUR=$behaviour run_scan "$behaviour" --program "$fake" --from 10 --to 40 --step 10 "$@"
}

fail() {
  echo "$1: $2; the scan printed:"
  cat "$work/$1.out"
  failed=1
}

expect_status() { [ "$status" = "$2" ] || fail "$1" "exit status $status, expected $2"; }
expect_line() { grep -Eq -- "$2" "$work/$1.out" || fail "$1" "no line matching '$2'"; }

# The folder of this process's memory group, where the scans make theirs.
parent=$(python3 -B -c "import sys; sys.path.insert(0, sys.argv[1]); import memory_scan
print(memory_scan.find_parent()[1])" "$scripts" 2> /dev/null)

scan_fake good
if grep -q '^memory_scan: skipped:' "$work/good.out"; then
  cat "$work/good.out"
  exit 77
fi
expect_status good 0
# 21 .. 24 MB are tried because the outcomes at 20 and 30 MB differ.
expect_line good '^ +10 \.\. 24 MB \(  6 tried\)  error: Cannot allocate memory for the design: N MB available$'
expect_line good '^ +25 \.\. 40 MB \(  7 tried\)  complete$'
expect_line good '^No violation\.$'
# An Error line followed by the closing banner, as in a run given a missing cell file, passes.
scan_fake banner_always --fine 10
expect_status banner_always 0
expect_line banner_always '^ +10 \.\. 20 MB \(  2 tried\)  error: Cannot allocate memory for the design: N MB available$'

# behaviour, then a line that must be in the scan's output
violations=(
  'kill|^ +10 \.\. 24 MB \(  6 tried\)  VIOLATION: killed by SIGKILL$'
  'kill_window|^VIOLATIONS at 2 limit\(s\): 25 MB, 26 MB$'
  'status137|^ +10 MB  VIOLATION: status 137 '
  'two_errors|^ +10 MB  VIOLATION: 2 Error lines '
  'banner_after|^ +10 MB  VIOLATION: the end of standard output after the Error line differs .*\(3 lines, the last: ---'
  'mid_line|^ +10 MB  VIOLATION: the Error line does not begin the line: Handling X-coords\[ '
  'report_left|^ +10 MB  VIOLATION: reports left after an Error: scan_cells_ea.rpt '
  'stderr|^ +10 MB  VIOLATION: standard error: a warning '
  'no_error_line|^ +10 MB  VIOLATION: status 1 without an Error line '
  'error_status0|^ +10 MB  VIOLATION: 1 Error line in a run with status 0 '
  'wrong_report|^VIOLATIONS at 10 limit\(s\): 25 MB, 26 MB, .* 34 MB$'
  'one_report|^ +30 MB  VIOLATION: report scan_nets_ea.rpt missing '
)
for entry in "${violations[@]}"; do
  behaviour=${entry%%|*}
  scan_fake "$behaviour"
  expect_status "$behaviour" 1
  expect_line "$behaviour" "${entry#*|}"
  expect_line "$behaviour" '^ +40 MB  complete '
done
expect_line kill_window '^ +10 \.\. 24 MB \(  6 tried\)  error: '
expect_line kill_window '^ +25 \.\. 26 MB \(  2 tried\)  VIOLATION: killed by SIGKILL$'
expect_line wrong_report '^ +30 MB  VIOLATION: report scan_cells_ea.rpt differs from the reference '

scan_fake hog --fine 10
expect_status hog 1
expect_line hog '^ +10 \.\. 20 MB \(  2 tried\)  VIOLATION: killed by SIGKILL \(OOM kill in the group\)$'

scan_fake hang --fine 10 --timeout 1
expect_status hang 1
expect_line hang '^ +10 \.\. 20 MB \(  2 tried\)  VIOLATION: hang: no end within 1 s$'

# The stand-in refuses a net file that is not a pipe, so only the scan with --pipe completes.
scan_fake needs_pipe --pipe
expect_status needs_pipe 0
expect_line needs_pipe '^No violation\.$'
FAKE_BEHAVIOUR=needs_pipe run_scan needs_pipe_file --program "$fake" --from 30 --to 30
expect_status needs_pipe_file 2

# A scan stopped by SIGTERM while a run hangs removes its group and the run's processes.
FAKE_BEHAVIOUR=hang python3 "$scan" --program "$fake" --cell_file "$example/cells.txt" \
  --net_file "$example/nets.txt" --from 10 --to 10 > "$work/stopped.out" 2>&1 &
scan_pid=$!
scan_pids+=("$scan_pid")
for _ in $(seq 100); do
  procs=$(cat "$parent"/memory_scan."$scan_pid".*/cgroup.procs 2> /dev/null | wc -l)
  grep -q '^Reference' "$work/stopped.out" && [ "$procs" -ge 2 ] && break  # the shell and sleep
  sleep 0.1
done
kill -TERM "$scan_pid"
wait "$scan_pid"
status=$?
expect_status stopped 2
expect_line stopped '^memory_scan: stopped \(SIGTERM\)$'

# The real program on the small example.
for threads in 1 8; do
  run_scan "program_threads$threads" --program "$binary" --avail_layer 4 --threads "$threads" \
    --from 4 --to 16 --step 4
  expect_status "program_threads$threads" 0
  expect_line "program_threads$threads" '^No violation\.$'
  expect_line "program_threads$threads" ' 16 MB \( *[0-9]+ tried\)  complete$'
done
run_scan program_pipe --program "$binary" --avail_layer 4 --pipe --from 4 --to 16 --step 4
expect_status program_pipe 0
expect_line program_pipe '^No violation\.$'
expect_line program_pipe ' 16 MB \( *[0-9]+ tried\)  complete$'

for pid in "${scan_pids[@]}"; do
  left=$(find "$parent" -maxdepth 1 -name "memory_scan.$pid.*")
  [ -z "$left" ] || { echo "groups left behind: $left"; failed=1; }
done
exit "$failed"
