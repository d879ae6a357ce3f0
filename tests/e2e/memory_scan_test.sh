#!/usr/bin/env bash
# Checks scripts/memory_scan.py, the scan of the program under memory limits of a control group:
# - on the small example the program completes or ends with one Error line at every limit tried
#   (1 and 8 threads, the net file through a pipe too): the scan passes;
# - against memory_scan_fake.sh, a stand-in that misbehaves as FAKE_BEHAVIOUR says below some
#   limit (a SIGKILL, a real kill by the memory controller, status 137, two Error lines, a line
#   after the Error line, a report left behind or wrong or missing, text on standard error, no
#   Error line, an Error line in a complete run, a hang), the scan names the violation at the
#   right limits and exits with status 1; a kill only between two coarse limits is found by the
#   fine steps; a well-behaved stand-in passes, and so does one that cannot write one report or
#   both, with an Error line for each, as long as it leaves none of them and goes on as the
#   complete run (leaving it, or ending at the Error line, is found);
# - a scan stopped by SIGTERM mid-run exits with status 2; no scan leaves a group or a process
#   behind.
# - --fresh: no page of the input is cached when a run starts (a stand-in that checks passes only
#   with it, also with --pipe); an input on a memory file system, which cannot be dropped, stops
#   the scan. --staged: the runs' groups hold the copies of the input when the program starts
#   (a stand-in that checks passes only with it; with --pipe the net file still is a pipe), and
#   the copies' paths read as <cell_file> in Error lines. --reports-on-tmpfs: a report cut off
#   only on tmpfs, or left there after an Error, is found; no folder is left in DIR; a DIR that
#   is missing or on a disk skips the scan. The real program passes with all three at once.
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

# Scans the stand-in behaving as $2 over 10 .. 40 MB, more options after it; the output lands in
# $work/$1.out.
scan_fake_as() {
  local name=$1 behaviour=$2
  shift 2
  FAKE_BEHAVIOUR=$behaviour run_scan "$name" --program "$fake" --from 10 --to 40 --step 10 "$@"
}

# Scans the stand-in behaving as $1 over 10 .. 40 MB, more options after it.
scan_fake() { scan_fake_as "$1" "$@"; }

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
  'report_error_left|^ +30 MB  VIOLATION: report scan_cells_ea.rpt left after its Error line'
  'report_error_early|^ +30 MB  VIOLATION: report scan_nets_ea.rpt missing; standard output after the Error line differs'
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

# A report that cannot be written gets an Error line of its own where the complete run finished
# writing it; the other report is written as in the complete run.
for behaviour in report_error report_errors; do
  scan_fake "$behaviour"
  expect_status "$behaviour" 0
  expect_line "$behaviour" '^ +25 \.\. 34 MB \( *[0-9]+ tried\)  error: Cannot write report scan_cells_ea.rpt: N bytes needed, N available$'
  expect_line "$behaviour" '^No violation\.$'
done

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

# --fresh, on copies of the example that no other test reads (a drop on a memory file system
# does nothing, so the copies must be on a disk).
fresh=$work/fresh
mkdir "$fresh"
cp "$example/cells.txt" "$example/nets.txt" "$fresh/"
fresh_input=(--cell_file "$fresh/cells.txt" --net_file "$fresh/nets.txt")
if ! command -v fincore > /dev/null; then
  echo "not checked: --fresh (no fincore here)"
elif [ "$(stat -f -c %T "$fresh")" = tmpfs ] || [ "$(stat -f -c %T "$fresh")" = ramfs ]; then
  echo "not checked: --fresh ($fresh is on a memory file system)"
else
  scan_fake_as fresh fresh --fresh "${fresh_input[@]}"
  expect_status fresh 0
  expect_line fresh '^Every run: the input files dropped from the page cache first$'
  expect_line fresh '^ +10 \.\. 24 MB \(  6 tried\)  error: '
  expect_line fresh '^No violation\.$'
  scan_fake_as fresh_pipe fresh --fresh --pipe "${fresh_input[@]}"
  expect_status fresh_pipe 0
  expect_line fresh_pipe '^No violation\.$'
  cat "$fresh/cells.txt" "$fresh/nets.txt" > /dev/null
  scan_fake_as fresh_cached fresh "${fresh_input[@]}"
  expect_status fresh_cached 2
  expect_line fresh_cached '^memory_scan: the run without a limit does not complete \(status 3\)'
fi

# Memory file systems: the reports' folders and an input --fresh cannot drop.
shm=/dev/shm
if [ "$(stat -f -c %T "$shm" 2> /dev/null)" != tmpfs ]; then
  echo "not checked: --reports-on-tmpfs ($shm is not tmpfs)"
  shm=
fi
if [ -n "$shm" ]; then
  reports=$(mktemp -d -p "$shm")
  trap 'rm -rf "$work" "$reports"' EXIT
  cp "$example/cells.txt" "$example/nets.txt" "$reports/"
  scan_fake_as fresh_tmpfs good --fresh --cell_file "$reports/cells.txt" \
    --net_file "$reports/nets.txt"
  expect_status fresh_tmpfs 2
  expect_line fresh_tmpfs '^memory_scan: --fresh: [0-9]+ pages of .*/cells\.txt stay in the page cache after they are dropped \(tmpfs\)$'
  rm "$reports/cells.txt" "$reports/nets.txt"

  scan_fake_as cut_report_tmpfs cut_report_tmpfs --reports-on-tmpfs "$reports"
  expect_status cut_report_tmpfs 1
  expect_line cut_report_tmpfs "^Every run: the reports in a folder in $reports \\(tmpfs\\)$"
  expect_line cut_report_tmpfs '^VIOLATIONS at 10 limit\(s\): 25 MB, 26 MB, .* 34 MB$'
  expect_line cut_report_tmpfs '^ +30 MB  VIOLATION: report scan_cells_ea.rpt differs from the reference '
  scan_fake_as cut_report_disk cut_report_tmpfs
  expect_status cut_report_disk 0
  scan_fake_as report_left_tmpfs report_left --reports-on-tmpfs "$reports"
  expect_status report_left_tmpfs 1
  expect_line report_left_tmpfs '^ +10 MB  VIOLATION: reports left after an Error: scan_cells_ea.rpt '
  left=$(ls -A "$reports")
  [ -z "$left" ] || { echo "left in $reports: $left"; failed=1; }
fi
scan_fake_as tmpfs_missing good --reports-on-tmpfs "$work/missing"
expect_status tmpfs_missing 0
expect_line tmpfs_missing "^memory_scan: skipped: the reports cannot go to a memory file system: $work/missing is not a folder$"
case $(stat -f -c %T "$work") in
  tmpfs | ramfs) ;;
  *)
    scan_fake_as tmpfs_disk good --reports-on-tmpfs "$work"
    expect_status tmpfs_disk 0
    expect_line tmpfs_disk '^memory_scan: skipped: the reports cannot go to a memory file system: .* is on .*, not on a memory file system' ;;
esac

# --staged, with a cell file of a few MB: the copy counts in the group only when made there.
awk 'BEGIN { for (i = 0; i < 100000; i++) printf "cell C%d %d 0 %d 1 N\n", i, i, i + 1 }' \
  > "$work/cells.txt"
scan_fake_as staged staged --staged --cell_file "$work/cells.txt"
expect_status staged 0
expect_line staged "^Every run: the cell file and the net file copied into the run's folder from inside its group$"
expect_line staged '^No violation\.$'
scan_fake_as staged_not staged --cell_file "$work/cells.txt"
expect_status staged_not 2
expect_line staged_not '^memory_scan: the run without a limit does not complete \(status 3\)'
scan_fake_as staged_pipe needs_pipe --staged --pipe
expect_status staged_pipe 0
expect_line staged_pipe '^No violation\.$'
scan_fake_as staged_path path_in_error --staged
expect_status staged_path 0
expect_line staged_path '^ +10 \.\. 24 MB \(  6 tried\)  error: Cannot allocate memory for the cells of cell asset file <cell_file>$'
if [ -n "$shm" ]; then
  scan_fake_as staged_tmpfs staged --staged --reports-on-tmpfs "$reports" --cell_file "$work/cells.txt"
  expect_status staged_tmpfs 0
  expect_line staged_tmpfs '^No violation\.$'
fi

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

if [ -n "$shm" ]; then
  run_scan program_fresh_staged_tmpfs --program "$binary" --avail_layer 4 --fresh --staged \
    --reports-on-tmpfs "$reports" "${fresh_input[@]}" --from 4 --to 16 --step 4
  expect_status program_fresh_staged_tmpfs 0
  expect_line program_fresh_staged_tmpfs '^No violation\.$'
  expect_line program_fresh_staged_tmpfs ' 16 MB \( *[0-9]+ tried\)  complete$'
fi

for pid in "${scan_pids[@]}"; do
  left=$(find "$parent" -maxdepth 1 -name "memory_scan.$pid.*")
  [ -z "$left" ] || { echo "groups left behind: $left"; failed=1; }
done
exit "$failed"
