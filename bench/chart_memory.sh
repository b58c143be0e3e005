#!/usr/bin/env bash
# The strip chart's resident memory over time, at the fastest speed setting
# (1 ms) with its eight traces on the eight analog sources, in a real X server
# (Xvfb) on the simulated board, and with a Settings.txt whose first two short
# names are 450 KiB long each: every change of their readings gives the legend
# new texts to draw. The memory must level off, not grow with the run.
#
#   bench/chart_memory.sh [BUILD_DIR] [SECONDS]   (defaults: build/release, 180)
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
seconds=${2:-180}
exe=$build/bin/chart_rate
[ -x "$exe" ] || { echo "no chart_rate at $exe (build the chart_rate target first)" >&2; exit 2; }
source "$root/bench/xvfb.sh"
kvn_start_xvfb

settings=$kvn_xvfb_runtime/Settings.txt
long=$(head -c $((450 * 1024)) /dev/zero | tr '\0' 'A')
{
  for n in 1 2; do printf '%s\r\n 0 \r\n 160 \r\n 0 \r\nTitle %s\r\nVolts\r\nV\r\n' "$long" $n; done
} >"$settings"
"$exe" 1 "$seconds" eight "$settings"
