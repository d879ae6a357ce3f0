#!/bin/sh
# A stand-in for the program, run by memory_scan_test.sh under scripts/memory_scan.py: it takes
# the program's options, reads the memory limit of its control group and ends as
# FAKE_BEHAVIOUR says for that limit (L, in MB; no limit reads as a very large L):
#   good           L < 25: one Error line, status 1; else the reports, the closing banner, 0
#   kill           L < 25: killed by SIGKILL; else as good
#   kill_window    L < 25: as good; 25 <= L <= 26: killed by SIGKILL; else as good
#   status137      L < 25: status 137 without a signal; else as good
#   two_errors     L < 25: two Error lines, status 1; else as good
#   banner_after   L < 25: the Error line, then the closing banner, status 1; else as good
#   banner_always  as good, but every Error line is followed by the closing banner
#   mid_line       L < 25: the Error line begun after another line's text, status 1; else as good
#   report_left    L < 25: a report written, then the Error line, status 1; else as good
#   stderr         L < 25: one Error line, status 1, and a line on standard error
#   no_error_line  L < 25: status 1 without an Error line; else as good
#   error_status0  L < 25: an Error line, then the reports and status 0; else as good
#   wrong_report   25 <= L < 35: a cell report with one number changed, status 0; else as good
#   one_report     25 <= L < 35: only the cell report, status 0; else as good
#   hang           L < 25: sleeps a minute; else as good
#   hog            L < 25: takes 256 MB until the memory controller kills it; else as good
#   needs_pipe     as good, but status 3 unless the net file is a pipe with some lines
#   fresh          as good, but status 3 when a page of the cell file, or of the net file when it
#                  is a regular file, is in the page cache as it starts (fincore)
#   staged         as good, but status 3 unless its group already holds as much memory as the
#                  cell file takes as it starts: the file was copied from inside the group
#   path_in_error  L < 25: an Error line that names the cell file, status 1; else as good
#   cut_report_tmpfs  25 <= L < 35 in a folder on tmpfs or ramfs: the cell report cut off
#                  after its first word, status 0; else as good
#   report_error   25 <= L < 35: the cell report's Error line where it would be written, then
#                  the net report as in a complete run, status 1; else as good
#   report_errors  25 <= L < 35: an Error line for each report, status 1; else as good
#   report_error_left  as report_error, but the cell report is left behind
#   report_error_early  as report_error, but the run ends at its Error line
# A cell file that cannot be read gets one Error line and status 1 at any limit. The reports are
# the line counts of the input files.
set -u
bm_name=fake cell_file= net_file=
while [ $# -gt 0 ]; do
  case $1 in
    --bm_name) bm_name=$2; shift ;;
    --cell_file) cell_file=$2; shift ;;
    --net_file) net_file=$2; shift ;;
    --avail_layer | --threads) shift ;;
  esac
  shift
done
behaviour=${FAKE_BEHAVIOUR:-good}

# The first line of one file of this process's memory group: $1 for cgroup v1, $2 for v2 (found
# through /proc/self/cgroup and /proc/self/mountinfo); nothing when there is no such file.
group_value() {
  awk -v cgroups=/proc/self/cgroup -v v1_name="$1" -v v2_name="$2" '
    BEGIN {
      while ((getline line < cgroups) > 0) {
        split(line, part, ":")
        if (part[2] ~ /(^|,)memory(,|$)/) v1 = part[3]
        else if (part[1] == "0" && part[2] == "") v2 = part[3]
      }
    }
    {
      for (i = 7; $i != "-"; i++) {}
      fstype = $(i + 1)
      if (fstype == "cgroup" && v1 != "" && $(i + 3) ~ /(^|,)memory(,|$)/)
        file = dir($5, $4, v1) "/" v1_name
      else if (fstype == "cgroup2" && v1 == "" && v2 != "")
        file = dir($5, $4, v2) "/" v2_name
      else next
      if ((getline value < file) > 0) {
        print value
        exit
      }
    }
    function dir(point, root, path) {
      if (root != "/") path = substr(path, length(root) + 1)
      return point path
    }' /proc/self/mountinfo
}

# The memory limit of this process's group in MB (cgroup v1 memory.limit_in_bytes or v2
# memory.max).
limit_mb() {
  group_value memory.limit_in_bytes memory.max | awk -v unlimited=1000000 '
    { print ($1 == "max" || $1 >= 1099511627776 ? unlimited : int($1 / 1048576)); found = 1 }
    END { if (!found) print unlimited }'
}

# The bytes of the file in the page cache.
cached_bytes() { fincore --noheadings --bytes --output RES "$1" | tr -d ' '; }

log() { printf '[   0.000] %s\n' "$*"; }
error_line() { printf '[   0.000] \033[1;31mError\033[0m: %s\n' "$*"; }
closing_banner() {
  log '--------------------------------------------------------------------------- '
  log '                               Terminated...                                '
  log '--------------------------------------------------------------------------- '
}
cell_report() {
  echo "cells: $(wc -l < "$cell_file")" > "${bm_name}_cells_ea.rpt"
  log "Finish writing ${bm_name}_cells_ea.rpt"
}
net_report() {
  echo "nets: $(wc -l < "$net_file")" > "${bm_name}_nets_ea.rpt"
  log "Finish writing ${bm_name}_nets_ea.rpt"
}
report_error() { error_line "Cannot write report ${bm_name}_$1_ea.rpt: 8192 bytes needed, 0 available"; }
complete() {
  cell_report
  net_report
  closing_banner
  exit 0
}
fail() {
  error_line "$1"
  [ "$behaviour" = banner_always ] && closing_banner
  exit 1
}
fail_low() { fail "Cannot allocate memory for the design: $limit MB available"; }

log "Fake program: $behaviour"
[ -r "$cell_file" ] || fail "Fail to open cell asset file at $cell_file"
if [ "$behaviour" = fresh ]; then
  [ "$(cached_bytes "$cell_file")" = 0 ] || exit 3
  [ ! -f "$net_file" ] || [ "$(cached_bytes "$net_file")" = 0 ] || exit 3
fi
if [ "$behaviour" = staged ]; then
  used=$(group_value memory.usage_in_bytes memory.current)
  [ "${used:-0}" -ge "$(wc -c < "$cell_file")" ] || exit 3
fi
limit=$(limit_mb)
low=false window=false
[ "$limit" -lt 25 ] && low=true
[ "$limit" -ge 25 ] && [ "$limit" -lt 35 ] && window=true

case $behaviour in
  good | banner_always) $low && fail_low ;;
  kill) $low && kill -KILL $$ ;;
  kill_window) $low && fail_low; [ "$limit" -le 26 ] && kill -KILL $$ ;;
  status137) $low && exit 137 ;;
  two_errors) $low && { error_line "Cannot allocate memory for the cells"; fail_low; } ;;
  banner_after)
    $low && { error_line "Cannot allocate memory for the cells"; closing_banner; exit 1; } ;;
  mid_line) $low && { printf '[   0.000] Handling X-coords'; fail_low; } ;;
  report_left) $low && { cell_report; fail_low; } ;;
  stderr) $low && { echo "a warning" >&2; fail_low; } ;;
  no_error_line) $low && { log "out of memory"; exit 1; } ;;
  error_status0) $low && { error_line "Cannot allocate memory for the cells"; complete; } ;;
  wrong_report)
    $window && { echo "cells: 12345" > "${bm_name}_cells_ea.rpt"; net_report; closing_banner; exit 0; } ;;
  one_report) $window && { cell_report; closing_banner; exit 0; } ;;
  hang) $low && sleep 60 ;;
  path_in_error) $low && fail "Cannot allocate memory for the cells of cell asset file $cell_file" ;;
  cut_report_tmpfs)
    case $(stat -f -c %T .) in
      tmpfs | ramfs)
        $window && { printf 'cells:' > "${bm_name}_cells_ea.rpt"; net_report; closing_banner; exit 0; } ;;
    esac ;;
  report_error) $window && { report_error cells; net_report; closing_banner; exit 1; } ;;
  report_errors) $window && { report_error cells; report_error nets; closing_banner; exit 1; } ;;
  report_error_left)
    $window && { cell_report > /dev/null; report_error cells; net_report; closing_banner; exit 1; } ;;
  report_error_early) $window && { report_error cells; exit 1; } ;;
  hog) $low && exec python3 -c 'taken = b"x" * (256 << 20)' ;;
  needs_pipe)
    lines=$(wc -l < "$net_file")
    { [ -p "$net_file" ] && [ "$lines" -gt 0 ]; } || exit 3
    $low && fail_low
    cell_report
    echo "nets: $lines" > "${bm_name}_nets_ea.rpt"
    closing_banner
    exit 0 ;;
esac
$low && fail_low
complete
