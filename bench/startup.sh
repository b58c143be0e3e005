#!/usr/bin/env bash
# Start-up of the panel on the simulated board: the time from process start to
# the main window shown, and the resident memory once it is up.
#
#   bench/startup.sh [BUILD_DIR] [RUNS]      (defaults: build/release, 5)
#
# Runs the executable in a private Xvfb server (Debian's xvfb and xdotool) with
# the command line /X, so that no status box waits for a click.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
runs=${2:-5}
exe=$build/bin/kvnvb_DazEvo
[ -x "$exe" ] || { echo "no executable at $exe (build the release preset first)" >&2; exit 2; }
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "needs $tool (apt-get install xvfb xdotool)" >&2; exit 2; }
done

d=95
while [ -e /tmp/.X$d-lock ] || [ -e /tmp/.X11-unix/X$d ]; do d=$((d + 1)); done
Xvfb :$d -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
export DISPLAY=:$d
unset QT_QPA_PLATFORM
for _ in $(seq 100); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
work=$(mktemp -d)
cd "$work"

times=()
rss=()
for _ in $(seq "$runs"); do
  t0=$(date +%s%N)
  "$exe" /X 2>>"$work/stderr.txt" &
  pid=$!
  # Poll in short steps (xdotool's own --sync waits half a second between looks).
  shown=0
  for _ in $(seq 6000); do
    if xdotool search --onlyvisible --name "korvan PC/104" >/dev/null 2>&1; then shown=1; break; fi
    sleep 0.005
  done
  [ $shown = 1 ] || { echo "the window did not appear:" >&2; cat "$work/stderr.txt" >&2; kill $pid 2>/dev/null; exit 1; }
  t1=$(date +%s%N)
  sleep 1
  rss+=("$(awk '/VmRSS/ {print $2}' /proc/$pid/status)")
  kill -TERM $pid
  wait $pid || true
  times+=($(((t1 - t0) / 1000000)))
done
rm -rf "$work"

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }
echo "runs:                         $runs"
echo "start to window shown (ms):   median $(median "${times[@]}")  (all: ${times[*]})"
echo "resident memory after start:  median $(median "${rss[@]}") KiB  (all: ${rss[*]})"
