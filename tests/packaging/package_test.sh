#!/usr/bin/env bash
# Tests of the packages that CPack makes from the build tree:
#   package_test.sh BUILD_DIR PACKAGE_DIR CASE
# CASE "make" runs CPack into PACKAGE_DIR; the others check what it made.
# Status 77 marks a case skipped for want of a tool.
set -euo pipefail
build=$1 packages=$2 case=$3

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3"$'\n'"expected: $2"$'\n'"got:      $1"; }
need() { command -v "$1" >/dev/null || { echo "SKIP: $1 is not installed"; exit 77; }; }

deb() { echo "$packages"/kvnvb-dazevo_*_*.deb; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The package's tree, unpacked without installing it.
unpack() { dpkg-deb -x "$(deb)" "$work/root"; }

case $case in
make)
  rm -rf "$packages"
  cpack --config "$build/CPackConfig.cmake" -B "$packages" >"$work/cpack.txt" 2>&1 ||
    { cat "$work/cpack.txt"; fail "cpack"; }
  ;;

contents)
  version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
  expect_eq "$(dpkg-deb -f "$(deb)" Package Version Architecture)" \
    "Package: kvnvb-dazevo
Version: $version
Architecture: $(dpkg --print-architecture)" "control fields"
  [ "$version" = "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] ||
    fail "the version is the project's"
  depends=$(dpkg-deb -f "$(deb)" Depends)
  for p in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6 fonts-liberation2; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
  done
  files=$(dpkg-deb -c "$(deb)" | awk '$1 !~ /^d/ {print $6, $7, $8}' | sort)
  expect_eq "$files" "./lib/systemd/system/kvnvb-dazevo-logger.service  
./opt/kvnvb-dazevo/kvnvb_DazEvo  
./opt/kvnvb-dazevo/libkvnapp_DazEvo.so  
./usr/bin/kvnvb_DazEvo -> ../../opt/kvnvb-dazevo/kvnvb_DazEvo
./usr/share/applications/kvnvb-dazevo.desktop  
./usr/share/doc/kvnvb-dazevo/README.md  
./usr/share/icons/hicolor/scalable/apps/kvnvb-dazevo.svg  
./usr/share/kvnvb-dazevo/prometheus/kvnvb-dazevo.rules.yml  " "the package's files"
  listing=$(dpkg-deb -c "$(deb)")
  grep -q '^-rwxr-xr-x root/root .* ./opt/kvnvb-dazevo/kvnvb_DazEvo$' <<<"$listing" ||
    fail "the executable is root's and runs for everybody"
  # The archive holds the same tree below one folder.
  tree=$(tar -tzf "$packages"/kvnvb-dazevo-*.tar.gz | grep -v '/$' | sed 's|^[^/]*/|./|' | sort)
  expect_eq "$tree" "$(echo "$files" | awk '{print $1}')" "the archive's files"
  # Maintainer scripts: valid shell, and purge is the one step that deletes the state folder.
  dpkg-deb -e "$(deb)" "$work/control"
  for s in postinst prerm postrm; do sh -n "$work/control/$s" || fail "$s"; done
  grep -l /var/lib/kvnvb-dazevo "$work/control"/* | grep -qx "$work/control/postrm" ||
    fail "only postrm touches the state folder"
  ;;

desktop)
  need desktop-file-validate
  unpack
  entry=$work/root/usr/share/applications/kvnvb-dazevo.desktop
  desktop-file-validate "$entry" || fail "desktop-file-validate"
  grep -qx 'Categories=System;Monitor;' "$entry" || fail "System/Monitor menu"
  exec=$(sed -n 's/^Exec=//p' "$entry")
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ "$(readlink -f "$work/root/usr/bin/$exec")" = "$work/root/opt/kvnvb-dazevo/kvnvb_DazEvo" ] ||
    fail "Exec=$exec is the command on the PATH"
  [ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon"
  ;;

service)
  need systemd-analyze
  unpack
  # The host's systemd checks the unit, its program taken from the unpacked
  # tree; every complaint fails the test.
  mkdir "$work/units"
  sed "s|^ExecStart=/|ExecStart=$work/root/|" \
    "$work/root/lib/systemd/system/kvnvb-dazevo-logger.service" \
    >"$work/units/kvnvb-dazevo-logger.service"
  systemd-analyze verify "$work/units/kvnvb-dazevo-logger.service" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
  [ ! -s "$work/verify.txt" ] || { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
  ;;

logger)
  # The service's own command line and environment, started from the
  # unpacked package in a state folder of its own, then stopped as systemd
  # stops it.
  unpack
  unit=$work/root/lib/systemd/system/kvnvb-dazevo-logger.service
  read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
  command[0]=$work/root${command[0]}
  mapfile -t environment < <(sed -n 's/^Environment=//p' "$unit" | grep -v XDG_RUNTIME_DIR)
  # The metrics option as systemd expands it, on a loopback port of our own.
  metrics=$(sed -n 's/^Environment=KVNVB_METRICS=//p' "$unit")
  expect_eq "$metrics" "/M=127.0.0.1:9731" "the service serves metrics on loopback"
  expect_eq "${command[*]:1}" '/L $KVNVB_METRICS' "the service's arguments"
  port=$((20000 + RANDOM % 30000))
  command[2]=/M=127.0.0.1:$port
  [ "$(grep -c '^KillSignal=SIGTERM$' "$unit")" = 1 ] || fail "stopped with SIGTERM"
  mkdir -m 700 "$work/state" "$work/runtime"
  cd "$work/state"
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" "${environment[@]}" \
    "${command[@]}" 2>"$work/stderr.txt" &
  pid=$!
  for _ in $(seq 100); do
    [ "$(grep -c ' > ' kvnvb_DazEvo.Log 2>/dev/null)" -ge 2 ] && break
    sleep 0.1
  done
  # It answers a scrape.
  exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "nothing listens at 127.0.0.1:$port"
  printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3
  scrape=$(cat <&3)
  exec 3<&-
  [[ $scrape == *$'\n'"kvnvb_board_open 1"* ]] || fail "scrape: $scrape"
  kill -TERM "$pid"
  status=0
  wait "$pid" || status=$?
  log=$(cat kvnvb_DazEvo.Log)
  expect_eq "$status" 0 "exit status after SIGTERM ($(cat "$work/stderr.txt"))"
  [[ $log == "Log Started on "* ]] || fail "log start: $log"
  [ "$(grep -c ' > ' kvnvb_DazEvo.Log)" -ge 2 ] || fail "records: $log"
  [[ $log == *"# Log Closed by Program Exit"$'\r\n'"Log Closed on "* ]] || fail "exit lines: $log"
  [ -s kvnvb_DazEvo.set ] || fail "state file"
  ;;

*) fail "unknown case $case" ;;
esac
