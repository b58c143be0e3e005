#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]: runs a Windows program of the
# build under Wine, in the Wine prefix PREFIX, which the first run makes
# (a run started meanwhile waits for it). Its windows go to an X server of
# the prefix's own (Xvfb), never to the desktop of whoever runs the tests: a
# program that waits for an answer to a box fails on its test's time limit.
set -eu
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to download Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# File names reach Linux in UTF-8 (C.UTF-8 is on every Debian system), and
# Wine's 8-bit code page for it is that of Western Europe (1252).
export LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
# The server itself: Debian's wrapper of that name starts it with no
# persistence, whatever it is asked for.
wineserver="$(dirname "$wine")/wineserver64"
[ -x "$wineserver" ] || wineserver="$(dirname "$wine")/wineserver"
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  # The X server: started for the first program, ended 30 s after the last
  # of them has gone (Wine's desktop, which the Wine server keeps, is its
  # last client). The prefix's .display holds its number and process.
  number="" xvfb=""
  if [ -f "$prefix.display" ]; then read -r number xvfb <"$prefix.display" || true; fi
  if [ -z "$xvfb" ] || ! kill -0 "$xvfb" 2>/dev/null || [ ! -S "/tmp/.X11-unix/X$number" ]; then
    command -v Xvfb >/dev/null || { echo "wine-run.sh: Xvfb is missing (apt-get install xvfb)" >&2; exit 1; }
    rm -f "$prefix.displayfd"
    setsid Xvfb -displayfd 8 -screen 0 1280x1024x24 -nolisten tcp -terminate 30 \
      </dev/null >/dev/null 2>&1 8>"$prefix.displayfd" 9>&- &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$prefix.displayfd" ] && break; sleep 0.1; done
    [ -s "$prefix.displayfd" ] || { echo "wine-run.sh: Xvfb did not start" >&2; exit 1; }
    number=$(head -n1 "$prefix.displayfd")
    echo "$number $xvfb" >"$prefix.display"
  fi
  export DISPLAY=":$number"
  if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    "$wineserver" -w 9>&- 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: no Wine prefix at $prefix" >&2; exit 1; }
  fi
  # One Wine server for a whole test run, kept 30 seconds after its last
  # program (one that a program starts itself ends with it, and the next
  # could reach it just ending). A new one starts Wine's own background programs
  # at once, away from the output of any test: its services, and the desktop
  # (rundll32 makes a window). Started by a test's program, they would hold
  # its output open, and the test would last until they end. None of them
  # holds the lock (descriptor 9) either.
  if "$wineserver" -p30 </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    "$wine" rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"
read -r number _ <"$prefix.display"
export DISPLAY=":$number"
exec "$wine" "$@"
