#!/bin/sh
# Runs every benchmark program built under BUILD/bench/bin and every bench/*.sh script.
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for b in "$build"/bench/bin/*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
