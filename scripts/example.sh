#!/usr/bin/env bash
# Builds the program and runs it on the small example design in examples/small; the reports
# land in build/example/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
# Same configuration as scripts/test.sh, so the two share one build.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TESTS=ON > /dev/null
cmake --build "$root/build" --target quorvane -j "$(nproc)"
mkdir -p "$root/build/example"
cd "$root/build/example"
"$root/build/app/quorvane" --bm_name small \
  --cell_file "$root/examples/small/cells.txt" --net_file "$root/examples/small/nets.txt" \
  --avail_layer 4 --threads 2
for report in small_cells_ea.rpt small_nets_ea.rpt; do
  [ -f "$report" ] && { echo "==> build/example/$report"; cat "$report"; }
done
exit 0
