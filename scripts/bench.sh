#!/usr/bin/env bash
# Runs every benchmark binary built under bench/ (names start with bench_).
set -euo pipefail
BUILD=${1:-build}
status=0
for b in $(find "$BUILD/bench" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $b"
  QT_QPA_PLATFORM=offscreen "$b" || status=1
done
# Whole-process figures: the station against a fake MOC on loopback, beside a plain reader.
for s in bench/korvex/e2e_*.py; do
  [ -x "$BUILD/korvex/korvex" ] && [ -x "$BUILD/tools/mocsim/mocsim" ] || break
  echo "== $s"
  python3 "$s" "$BUILD" || status=1
done
exit $status
