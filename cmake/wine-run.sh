#!/bin/sh
# wine-run.sh PREFIX PROGRAM [ARGUMENT...]: runs a Windows program of the
# build under Wine, in the Wine prefix PREFIX, which the first run makes
# (a run started meanwhile waits for it). No window of Wine's reaches the
# desktop of whoever runs the tests: a program that would show one waits,
# and its test fails on its time limit.
set -eu
prefix=$1
shift
export WINEPREFIX="$prefix" WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
# No offer to download Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# File names reach Linux in UTF-8 (C.UTF-8 is on every Debian system), and
# Wine's 8-bit code page for it is that of Western Europe (1252).
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot --init >/dev/null 2>&1 || true
    "$(dirname "$wine")/wineserver" -w 2>/dev/null || true
    [ -f "$prefix/system.reg" ] || { echo "wine-run.sh: no Wine prefix at $prefix" >&2; exit 1; }
  fi
) 9>"$prefix.lock"
# One Wine server for a whole test run, kept 30 seconds after its last
# program: with the default 3 seconds, a program may reach a server that is
# just ending ("wine client error ... Connection reset by peer"). Where one
# runs already, this one ends at once.
"$(dirname "$wine")/wineserver" -p30 </dev/null >/dev/null 2>&1 || true
exec "$wine" "$@"
