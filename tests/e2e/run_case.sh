#!/usr/bin/env bash
# Runs the program on one end-to-end case and compares what it did with what the case expects.
#
# A case is a folder holding:
#   args             the command line, one argument per line (run inside a copy of the folder)
#   expected_stdout  standard output with timestamps, memory figures and available bytes masked
#                    (and whether a control group's limit or the machine bounds them)
#   expected_status  the exit status (0 when the file is missing)
#   expected/        every report file the run must leave, byte for byte (no folder: none)
#   prepare          optional: a bash script run in the copy before the run, to make inputs too
#                    large or too odd to keep in the repository
# and whatever input files the arguments name. The program must write nothing on standard
# error. With UPDATE_EXPECTED=1 the expectations are rewritten from the run instead of compared:
# read every change before committing it.
set -u
set -f      # report names are names, never patterns
IFS=$'\n'  # report names may hold blanks: lists below split at line ends only
# Both paths made absolute, as the run happens in a scratch folder.
binary=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case_dir=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$case_dir"/. "$work"/
rm -rf "$work/expected" "$work/expected_stdout" "$work/expected_status" "$work/prepare"
cd "$work"
if [ -f "$case_dir/prepare" ] && ! bash "$case_dir/prepare"; then
  echo "prepare failed"; exit 1
fi

mapfile -t args < "$case_dir/args"
"$binary" "${args[@]}" < /dev/null > raw_stdout 2> stderr
status=$?
sed -E -e 's/^\[ *-?[0-9]+\.[0-9]{3}\] /[TIME] /' \
       -e 's/MEM: cur=[^M]*MB, peak=[^M]*MB/MEM: cur=#MB, peak=#MB/' \
       -e 's/bytes needed, [0-9]+ available( \(memory limit of the control group\))?$/bytes needed, # available/' \
       raw_stdout > stdout
reports=$(find . -name '*.rpt' | sort)

if [ "${UPDATE_EXPECTED:-0}" = 1 ]; then
  cp stdout "$case_dir/expected_stdout"
  if [ "$status" = 0 ]; then rm -f "$case_dir/expected_status"; else echo "$status" > "$case_dir/expected_status"; fi
  rm -rf "$case_dir/expected"
  if [ -n "$reports" ]; then
    mkdir -p "$case_dir/expected"
    for r in $reports; do mkdir -p "$case_dir/expected/$(dirname "$r")"; cp "$r" "$case_dir/expected/$r"; done
  fi
  exit 0
fi

failed=0
expected_status=0
[ -f "$case_dir/expected_status" ] && expected_status=$(cat "$case_dir/expected_status")
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"; failed=1
fi
if ! diff -u "$case_dir/expected_stdout" stdout; then
  echo "standard output differs"; failed=1
fi
if [ -s stderr ]; then
  echo "standard error is not empty"; failed=1
fi
expected_reports=""
[ -d "$case_dir/expected" ] && expected_reports=$(cd "$case_dir/expected" && find . -name '*.rpt' | sort)
if [ "$reports" != "$expected_reports" ]; then
  echo "report files: [$reports], expected [$expected_reports]"; failed=1
fi
for r in $expected_reports; do
  [ -f "$r" ] && ! diff -u "$case_dir/expected/$r" "$r" && { echo "report $r differs"; failed=1; }
done
if [ "$failed" != 0 ]; then
  echo "--- stderr:"; cat stderr
fi
exit "$failed"
