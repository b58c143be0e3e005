#!/usr/bin/env bash
# A fleet on one machine: N headless loggers on the simulated board, each
# serving its metrics on a loopback port of its own, and one Prometheus
# server scraping them all every second.
#
#   bench/fleet.sh [BUILD_DIR] [N] [SECONDS] [FIRST_PORT]
#   (defaults: build/release, 50, 60, 19800; needs prometheus and curl)
#
# Reports how many boards Prometheus sees open, the scrape durations it
# measured, and each logger's processor share and resident memory.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
count=${2:-50}
seconds=${3:-60}
first=${4:-19800}
exe=$build/bin/kvnvb_DazEvo
[ -x "$exe" ] || { echo "no executable at $exe (build the release preset first)" >&2; exit 2; }
for tool in prometheus curl; do
  command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

web=$((first + count))
{
  echo "global: {scrape_interval: 1s, scrape_timeout: 1s}"
  echo "scrape_configs:"
  echo "  - job_name: kvnvb"
  echo "    static_configs:"
  echo "      - targets:"
  for ((i = 0; i < count; i++)); do echo "          - 127.0.0.1:$((first + i))"; done
} >"$work/prometheus.yml"

loggers=()
for ((i = 0; i < count; i++)); do
  mkdir "$work/pc$i"
  (cd "$work/pc$i" && exec env QT_QPA_PLATFORM=offscreen "$exe" /L "/M=127.0.0.1:$((first + i))" \
    2>"$work/pc$i/stderr.txt") &
  pids+=($!)
  loggers+=($!)
done
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$web" >"$work/prometheus.txt" 2>&1 &
pids+=($!)
prometheus_pid=$!

# query EXPRESSION: the value of the first sample of an instant query.
query() {
  curl -s --get --data-urlencode "query=$1" "http://127.0.0.1:$web/api/v1/query" |
    sed -n 's/.*"value":\[[^,]*,"\([^"]*\)"\].*/\1/p'
}

sleep 3  # past start-up
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$1/stat"; }
declare -A c0
for pid in "${loggers[@]}"; do c0[$pid]=$(cpu "$pid"); done
t0=$(date +%s%N)
sleep "$seconds"
t1=$(date +%s%N)

shares=() rss=()
for pid in "${loggers[@]}"; do
  shares+=("$(awk -v c=$(($(cpu "$pid") - c0[$pid])) -v hz="$ticks" -v ns=$((t1 - t0)) \
    'BEGIN {printf "%.3f", 100 * c / hz / (ns / 1e9)}')")
  rss+=("$(awk '/^VmRSS:/ {printf "%.1f", $2 / 1024}' "/proc/$pid/status")")
done
p_share=$(awk -v c=$(($(cpu "$prometheus_pid"))) -v hz="$ticks" 'BEGIN {printf "%.2f", c / hz}')

summary() { tr ' ' '\n' | sort -g | awk '{v[NR] = $1; s += $1}
  END {printf "min %s, median %s, max %s, sum %.2f", v[1], v[int((NR + 1) / 2)], v[NR], s}'; }

echo "loggers:                      $count, for ${seconds} s, scraped every second"
echo "count(kvnvb_board_open == 1): $(query 'count(kvnvb_board_open == 1)')"
echo "targets up:                   $(query 'count(up == 1)')"
echo "scrape duration (ms), last:   $(query '1000 * quantile(0.5, scrape_duration_seconds)') median," \
     "$(query '1000 * max(scrape_duration_seconds)') max"
echo "scrape duration (ms), ${seconds} s:  $(query "1000 * max(max_over_time(scrape_duration_seconds[${seconds}s]))") max" \
     "over every target"
echo "samples per scrape:           $(query 'max(scrape_samples_scraped)')"
echo "logger processor share (% of one core): $(echo "${shares[*]}" | summary)"
echo "logger resident memory (MiB):           $(echo "${rss[*]}" | summary)"
echo "prometheus processor time:    ${p_share} s in all"
