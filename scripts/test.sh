#!/usr/bin/env bash
# Builds everything and runs every test.
# Usage: scripts/test.sh [--sanitize]   (--sanitize: address and undefined-behaviour sanitizers)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build"
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_TESTS=ON)
if [ "${1:-}" = --sanitize ]; then
  build="$root/build-sanitize"
  flags=(-DCMAKE_BUILD_TYPE=Debug -DQUORVANE_TESTS=ON -DQUORVANE_SANITIZE=address,undefined)
fi
cmake -S "$root" -B "$build" "${flags[@]}" > /dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure -j "$(nproc)"
