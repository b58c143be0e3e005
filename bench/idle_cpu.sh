#!/usr/bin/env bash
# Processor share of an idle panel whose scan runs (every 100 ms), on the
# simulated board and the offscreen platform.
#
#   bench/idle_cpu.sh [BUILD_DIR] [SECONDS] [ARGS...]   (defaults: build/release, 30, /X)
#
# ARGS is the panel's command line; /L measures a headless logger instead.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
seconds=${2:-30}
shift $(($# > 2 ? 2 : $#))
[ $# -gt 0 ] || set -- /X
exe=$build/bin/kvnvb_DazEvo
[ -x "$exe" ] || { echo "no executable at $exe (build the release preset first)" >&2; exit 2; }

work=$(mktemp -d)
cd "$work"
QT_QPA_PLATFORM=offscreen "$exe" "$@" 2>/dev/null &
pid=$!
sleep 2  # past start-up

ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
c0=$(cpu)
t0=$(date +%s%N)
sleep "$seconds"
c1=$(cpu)
t1=$(date +%s%N)
kill -TERM $pid
wait $pid || true
rm -rf "$work"

awk -v c=$((c1 - c0)) -v hz="$ticks" -v ns=$((t1 - t0)) -v args="$*" 'BEGIN {
  cpu = c / hz; wall = ns / 1e9
  printf "command line:      %s\n", args
  printf "measured for:      %.1f s\n", wall
  printf "processor time:    %.3f s\n", cpu
  printf "processor share:   %.3f %% of one core\n", 100 * cpu / wall
}'
