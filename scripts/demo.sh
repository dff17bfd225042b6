#!/usr/bin/env bash
# The demo: a fresh copy of station/, the simulator on the ports of its cfg/korvex.cfg, and korvex
# connected and recording. With a display korvex shows its window (close it to end); without one
# it runs headless for DEMO_SECONDS (default 30) and the event log scrolls by on stdout. korvex
# serves the telemetry on its local port (52003), where drev can connect.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-build}" && pwd)
RUN=${DEMO_DIR:-$ROOT/demo-run}
SECONDS_TO_RUN=${DEMO_SECONDS:-30}

rm -rf "$RUN"
cp -r "$ROOT/station" "$RUN"
cd "$RUN"
echo "demo: working directory $RUN"

"$BUILD/tools/mocsim/mocsim" --station . --tlm-port 52001 --cmd-port 52002 --rate 20 \
  > mocsim.out 2>&1 &
MOC=$!
KVX=""
cleanup() {
  [ -n "$KVX" ] && kill "$KVX" 2>/dev/null || true
  kill "$MOC" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do
  grep -q "TLM PORT" mocsim.out 2>/dev/null && break
  sleep 0.1
done

# What the operator types first: connect to the MOC telemetry server (which also sends the
# simulator its set-up line) and switch recording on; it starts as soon as the spacecraft is known.
commands() {
  echo "set moc stream realtime"
  echo "rec on"
  sleep "$1"
  echo "quit"
}

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${DEMO_HEADLESS:-}" ]; then
  echo "demo: korvex with its window (close it to end)"
  { commands 86400; } | "$BUILD/korvex/korvex" --serve &
  KVX=$!
  wait "$KVX" || true
else
  echo "demo: korvex headless for $SECONDS_TO_RUN s (DEMO_SECONDS to change)"
  { commands "$SECONDS_TO_RUN"; } | "$BUILD/korvex/korvex" --headless --serve &
  KVX=$!
  wait "$KVX" || true
fi
KVX=""
echo "demo: archives written:"
ls -l log/ | sed 's/^/  /'
