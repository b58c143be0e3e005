#!/usr/bin/env bash
# The strip chart's drawing rate at the fastest speed setting (1 ms), as it
# opens and with every source drawn, and its processor share at the setting it
# opens with (50 ms), in a real X server (Xvfb) on the simulated board. The
# processor share is the program's own; the X server's is not counted.
#
#   bench/chart_rate.sh [BUILD_DIR] [SECONDS]   (defaults: build/release, 10)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
seconds=${2:-10}
exe=$build/bin/chart_rate
[ -x "$exe" ] || { echo "no chart_rate at $exe (build the chart_rate target first)" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (Debian: xvfb)" >&2; exit 2; }

d=95
while [ -e /tmp/.X$d-lock ] || [ -e /tmp/.X11-unix/X$d ]; do d=$((d + 1)); done
Xvfb :$d -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
runtime=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null || true; rm -rf "$runtime"' EXIT
for _ in $(seq 100); do
  [ -S /tmp/.X11-unix/X$d ] && break
  kill -0 $xvfb 2>/dev/null || { echo "Xvfb did not start on :$d" >&2; exit 1; }
  sleep 0.05
done
[ -S /tmp/.X11-unix/X$d ] || { echo "Xvfb did not start on :$d" >&2; exit 1; }

export DISPLAY=:$d QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$runtime
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
"$exe" 1 "$seconds"
"$exe" 1 "$seconds" all
"$exe" 50 "$seconds"
