#!/usr/bin/env bash
# Runs every benchmark binary built under bench/ (names start with bench_).
set -euo pipefail
BUILD=${1:-build}
status=0
for b in $(find "$BUILD/bench" -type f -name 'bench_*' -perm -u+x | sort); do
  echo "== $b"
  QT_QPA_PLATFORM=offscreen "$b" || status=1
done
exit $status
