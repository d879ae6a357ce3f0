#!/usr/bin/env bash
# Runs the program on one end-to-end case (a folder) and compares what it did with what the case
# expects, within two minutes: the command line in `args` (one argument per line, run in a scratch copy of the
# folder); standard output in `expected_stdout`, timestamps, memory figures and available bytes
# (and what bounds them) masked; the exit status in `expected_status` (0 when missing); every
# report file it must leave, byte for byte, under `expected/`; nothing on standard error. An optional `prepare`
# script makes inputs too large or odd to keep. With UPDATE_EXPECTED=1 the expectations are
# rewritten from the run instead: read every change before committing it.
set -uf    # report names are names, never patterns
IFS=$'\n'  # and may hold blanks: lists split at line ends only
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$case_dir"/. "$work"/
rm -rf "$work/expected" "$work/expected_stdout" "$work/expected_status" "$work/prepare"
cd "$work"
[ -f "$case_dir/prepare" ] && ! bash "$case_dir/prepare" && { echo "prepare failed"; exit 1; }
mapfile -t args < "$case_dir/args"
# A run that hangs (on a FIFO, say) is stopped and fails with status 124.
timeout -k 5 120 "$binary" "${args[@]}" < /dev/null > raw_stdout 2> stderr
status=$?
sed -E -e 's/^\[ *-?[0-9]+\.[0-9]{3}\] /[TIME] /' \
       -e 's/MEM: cur=[^M]*MB, peak=[^M]*MB/MEM: cur=#MB, peak=#MB/' \
       -e 's/bytes needed, [0-9]+ available( \(memory limit of the control group\))?$/bytes needed, # available/' \
       raw_stdout > stdout
reports=$(find . -name '*.rpt' | sort)
expected=$case_dir/expected

if [ "${UPDATE_EXPECTED:-0}" = 1 ]; then
  cp stdout "$case_dir/expected_stdout"
  rm -rf "$case_dir/expected_status" "$expected"
  [ "$status" = 0 ] || echo "$status" > "$case_dir/expected_status"
  for r in $reports; do mkdir -p "$expected/$(dirname "$r")"; cp "$r" "$expected/$r"; done
  exit 0
fi

failed=0
[ "$status" = "$(cat "$case_dir/expected_status" 2> /dev/null || echo 0)" ] ||
  { echo "exit status $status differs"; failed=1; }
diff -u "$case_dir/expected_stdout" stdout || { echo "standard output differs"; failed=1; }
[ -s stderr ] && { echo "standard error is not empty:"; cat stderr; failed=1; }
expected_reports=$( [ -d "$expected" ] && cd "$expected" && find . -name '*.rpt' | sort)
[ "$reports" = "$expected_reports" ] ||
  { echo "report files: [$reports], expected [$expected_reports]"; failed=1; }
for r in $expected_reports; do
  [ -f "$r" ] && ! diff -u "$expected/$r" "$r" && { echo "report $r differs"; failed=1; }
done
exit "$failed"
