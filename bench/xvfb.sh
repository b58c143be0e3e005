# Sourced by the benchmarks that need a real X server: starts a private Xvfb
# on a free display, points DISPLAY at it and stops it when the script ends.
#
#   source bench/xvfb.sh; kvn_start_xvfb [WIDTHxHEIGHT]   (default 1280x1024)
kvn_start_xvfb() {
  command -v Xvfb >/dev/null || { echo "Xvfb is not installed (Debian: xvfb)" >&2; exit 2; }
  local d=95
  while [ -e /tmp/.X$d-lock ] || [ -e /tmp/.X11-unix/X$d ]; do d=$((d + 1)); done
  Xvfb :$d -screen 0 "${1:-1280x1024}x24" -nolisten tcp >/dev/null 2>&1 &
  kvn_xvfb_pid=$!
  kvn_xvfb_runtime=$(mktemp -d)
  trap 'kill $kvn_xvfb_pid 2>/dev/null; wait $kvn_xvfb_pid 2>/dev/null || true; rm -rf "$kvn_xvfb_runtime"' EXIT
  for _ in $(seq 100); do
    [ -S /tmp/.X11-unix/X$d ] && break
    kill -0 $kvn_xvfb_pid 2>/dev/null || { echo "Xvfb did not start on :$d" >&2; exit 1; }
    sleep 0.05
  done
  [ -S /tmp/.X11-unix/X$d ] || { echo "Xvfb did not start on :$d" >&2; exit 1; }
  export DISPLAY=:$d QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$kvn_xvfb_runtime
  unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
}
