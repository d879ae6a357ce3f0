#!/usr/bin/env bash
# Runs the program on the small example with 64 threads under an address-space limit
# (`ulimit -v`) of 200 MB; one thread needs less than 50 MB. Passes when the run ends with
# status 0, writes both reports and prints nothing on standard error, i.e. when the worker
# threads reserve little address space beyond what they use.
# Usage: thread_address_space.sh BINARY EXAMPLE_FOLDER
set -u
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
example=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
(ulimit -v $((200 * 1024)) &&
   "$binary" --bm_name small --cell_file "$example/cells.txt" --net_file "$example/nets.txt" \
     --avail_layer 4 --threads 64 < /dev/null > stdout 2> stderr)
status=$?
failed=0
if [ "$status" != 0 ]; then
  echo "exit status $status; the end of standard output:"
  tail -3 stdout
  failed=1
fi
[ -s stderr ] && { echo "standard error is not empty:"; cat stderr; failed=1; }
for report in small_cells_ea.rpt small_nets_ea.rpt; do
  [ -s "$report" ] || { echo "no report $report"; failed=1; }
done
exit "$failed"
