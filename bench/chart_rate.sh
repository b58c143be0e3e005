#!/usr/bin/env bash
# The strip chart's drawing rate at the fastest speed setting (1 ms), as it
# opens and with every source drawn, and its processor share at the setting it
# opens with (50 ms), in a real X server (Xvfb) on the simulated board. The
# processor share is the program's own; the X server's is not counted.
#
#   bench/chart_rate.sh [BUILD_DIR] [SECONDS]   (defaults: build/release, 10)
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
seconds=${2:-10}
exe=$build/bin/chart_rate
[ -x "$exe" ] || { echo "no chart_rate at $exe (build the chart_rate target first)" >&2; exit 2; }
source "$root/bench/xvfb.sh"
kvn_start_xvfb

"$exe" 1 "$seconds"
"$exe" 1 "$seconds" all
"$exe" 50 "$seconds"
