#!/usr/bin/env bash
# Tests of the packages as they ship, made by CPack from the release build:
#   package_test.sh SOURCE_DIR PACKAGE_DIR CASE
# CASE "make" builds the release preset (build/release) where it is not up to
# date and runs CPack into PACKAGE_DIR; the others check what it made.
# Status 77 marks a case skipped for want of a tool.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac
source_dir=$1 packages=$2 case=$3
build=$source_dir/build/release

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
  (
    cd "$source_dir"
    [ -f "$build/build.ninja" ] || cmake --preset release >/dev/null
    cmake --build --preset release --target kvn_packaged >/dev/null
  ) || fail "the release build"
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
  for p in libqt6widgets6 libqt6gui6 libqt6core6 libmicrohttpd12 libstdc++6 libc6 fonts-liberation2; do
    [[ ", $depends," == *", $p"[\ ,]* ]] || fail "Depends lacks $p: $depends"
  done
  files=$(dpkg-deb -c "$(deb)" | awk '$1 !~ /^d/ {print $6, $7, $8}' | sort)
  expect_eq "$files" "./lib/systemd/system/kvnvb-dazevo-logger.service  
./opt/kvnvb-dazevo/kvnvb_DazEvo  
./opt/kvnvb-dazevo/libkvnapp_DazEvo.so  
./usr/bin/kvnvb_DazEvo -> /opt/kvnvb-dazevo/kvnvb_DazEvo
./usr/share/applications/kvnvb-dazevo.desktop  
./usr/share/doc/kvnvb-dazevo/README.md  
./usr/share/doc/kvnvb-dazevo/changelog.gz  
./usr/share/doc/kvnvb-dazevo/copyright  
./usr/share/doc/kvnvb-dazevo/docs/chart.png  
./usr/share/doc/kvnvb-dazevo/docs/design-choices.md  
./usr/share/doc/kvnvb-dazevo/docs/developing.md  
./usr/share/doc/kvnvb-dazevo/docs/driver-library.md  
./usr/share/doc/kvnvb-dazevo/docs/measurements.md  
./usr/share/doc/kvnvb-dazevo/docs/metrics.md  
./usr/share/doc/kvnvb-dazevo/docs/mqtt.md  
./usr/share/doc/kvnvb-dazevo/docs/panel.png  
./usr/share/doc/kvnvb-dazevo/docs/service.md  
./usr/share/doc/kvnvb-dazevo/docs/settings.png  
./usr/share/doc/kvnvb-dazevo/docs/user-guide.md  
./usr/share/doc/kvnvb-dazevo/docs/windows-1x.png  
./usr/share/doc/kvnvb-dazevo/docs/windows-2x.png  
./usr/share/doc/kvnvb-dazevo/docs/windows.md  
./usr/share/icons/hicolor/scalable/apps/kvnvb-dazevo.svg  
./usr/share/kvnvb-dazevo/prometheus/kvnvb-dazevo.rules.yml  
./usr/share/kvnvb-dazevo/systemd/mqtt.conf  
./usr/share/lintian/overrides/kvnvb-dazevo  
./usr/share/man/man1/kvnvb_DazEvo.1.gz  " "the package's files"
  # The copyright file carries the licence of LICENSE whole, and the
  # changelog's newest entry is this version's.
  unpack
  doc=$work/root/usr/share/doc/kvnvb-dazevo
  expect_eq "$(sed -n '/^License: Expat$/,$p' "$doc/copyright" | tail -n +2 | sed 's/^ //; s/^\.$//')" \
    "$(tail -n +5 "$source_dir/LICENSE")" "the licence in the copyright file"
  [[ $(zcat "$doc/changelog.gz" | head -1) == "kvnvb-dazevo ($version) "* ]] || fail "changelog"
  expect_eq "$(zcat "$doc/changelog.gz" | sed -n 's/^ -- \(.*>\)  .*/\1/p' | head -1)" \
    "$(dpkg-deb -f "$(deb)" Maintainer)" "the changelog's maintainer is the package's"
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
  [ "$(readlink "$work/root/usr/bin/$exec")" = /opt/kvnvb-dazevo/kvnvb_DazEvo ] &&
    [ -x "$work/root/opt/kvnvb-dazevo/kvnvb_DazEvo" ] || fail "Exec=$exec is the command on the PATH"
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
  # Its Documentation= manual page is looked up in the package's own tree.
  MANPATH=$work/root/usr/share/man \
    systemd-analyze verify "$work/units/kvnvb-dazevo-logger.service" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
  [ ! -s "$work/verify.txt" ] || { cat "$work/verify.txt"; fail "systemd-analyze verify"; }
  # The unit's documentation is in the package.
  for url in $(sed -n 's/^Documentation=//p' "$work/units/kvnvb-dazevo-logger.service"); do
    case $url in
    file://*) [ -f "$work/root${url#file://}" ] || fail "Documentation= $url is not in the package" ;;
    man:*) page=${url#man:}; page=${page%%(*}
      [ -f "$work/root/usr/share/man/man1/$page.1.gz" ] || fail "Documentation= $url is not in the package" ;;
    *) fail "Documentation= $url is neither a file nor a manual page" ;;
    esac
  done
  # Its confinement as systemd rates it: at most 3.5 ("OK"). The same unit
  # without its confinement rates worse, or the rating would prove nothing.
  exposure() {
    systemd-analyze security --offline=yes "$1" 2>&1 |
      sed -n 's/^→ Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p'
  }
  confined=$(exposure "$work/units/kvnvb-dazevo-logger.service")
  [ -n "$confined" ] && awk "BEGIN { exit !($confined <= 3.5) }" ||
    { systemd-analyze security --offline=yes "$work/units/kvnvb-dazevo-logger.service"
      fail "exposure level ${confined:-unknown}, above 3.5"; }
  # With the MQTT drop-in, as the administrator turns it on: still valid, and
  # still rated at most 3.5.
  mkdir "$work/mqtt"
  cat "$work/units/kvnvb-dazevo-logger.service" "$work/root/usr/share/kvnvb-dazevo/systemd/mqtt.conf" \
    >"$work/mqtt/kvnvb-dazevo-logger.service"
  MANPATH=$work/root/usr/share/man \
    systemd-analyze verify "$work/mqtt/kvnvb-dazevo-logger.service" >"$work/verify.txt" 2>&1 ||
    { cat "$work/verify.txt"; fail "systemd-analyze verify, with MQTT"; }
  [ ! -s "$work/verify.txt" ] || { cat "$work/verify.txt"; fail "systemd-analyze verify, with MQTT"; }
  grep -q '^LoadCredential=mqtt:' "$work/mqtt/kvnvb-dazevo-logger.service" ||
    fail "the MQTT drop-in hands the credentials through LoadCredential="
  withMqtt=$(exposure "$work/mqtt/kvnvb-dazevo-logger.service")
  [ -n "$withMqtt" ] && awk "BEGIN { exit !($withMqtt <= 3.5) }" ||
    fail "exposure level with MQTT ${withMqtt:-unknown}, above 3.5"
  mkdir "$work/loose"
  sed '/^DynamicUser=/,/^SystemCallErrorNumber=/d' "$work/units/kvnvb-dazevo-logger.service" \
    >"$work/loose/kvnvb-dazevo-logger.service"
  loose=$(exposure "$work/loose/kvnvb-dazevo-logger.service")
  awk "BEGIN { exit !(${loose:-0} > 3.5) }" || fail "an unconfined unit rates ${loose:-unknown}"
  echo "exposure level: $confined, with MQTT $withMqtt (unconfined: $loose)"
  # Port access needs CAP_SYS_RAWIO and nothing else, and PrivateDevices=
  # would take it away; the system calls of port access stay allowed.
  unit=$work/units/kvnvb-dazevo-logger.service
  expect_eq "$(sed -n 's/^CapabilityBoundingSet=//p; s/^AmbientCapabilities=//p' "$unit")" \
    "CAP_SYS_RAWIO"$'\n'"CAP_SYS_RAWIO" "the capabilities"
  ! grep -q '^PrivateDevices=' "$unit" || fail "PrivateDevices= removes CAP_SYS_RAWIO"
  ! grep '^SystemCallFilter=~' "$unit" | grep -qE '@(privileged|raw-io)' ||
    fail "the system call filter denies ioperm and iopl"
  ;;

lintian)
  need lintian
  # No error and no warning; the overrides the package carries give a reason.
  # A package without its copyright file shows that lintian is heard.
  lint() {
    local status=0
    lintian --fail-on error,warning "$1" >"$work/lintian.txt" 2>&1 || status=$?
    grep -v '^running with root privileges is not recommended!$' "$work/lintian.txt" || true
    return $status
  }
  report=$(lint "$(deb)") || { echo "$report"; fail "lintian"; }
  [ -z "$report" ] || echo "$report"
  dpkg-deb -R "$(deb)" "$work/broken"
  rm "$work/broken/usr/share/doc/kvnvb-dazevo/copyright"
  dpkg-deb --root-owner-group -b "$work/broken" "$work/broken.deb" >/dev/null
  if report=$(lint "$work/broken.deb"); then fail "lintian passed a package without copyright"; fi
  [[ $report == *"no-copyright-file"* ]] || fail "lintian: $report"
  ;;

hardening)
  need hardening-check
  need objdump
  unpack
  # Every check but control flow protection: Debian 12's C start files
  # (crt1.o, crti.o) carry no IBT/SHSTK mark, so no executable linked here can
  # carry one. That the compiler protected our own code shows instead: its
  # functions begin with endbr64, hundreds of them, where an unprotected build
  # has only the few of GCC's start files.
  program=$work/root/opt/kvnvb-dazevo
  hardening-check --nocfprotection "$program/kvnvb_DazEvo" "$program/libkvnapp_DazEvo.so" ||
    fail "hardening-check"
  for binary in "$program/kvnvb_DazEvo" "$program/libkvnapp_DazEvo.so"; do
    marks=$(objdump -d "$binary" | grep -c $'\tendbr64') || true
    [ "$marks" -ge 30 ] || fail "$(basename "$binary"): $marks endbr64 (built without -fcf-protection?)"
  done
  library=$program/libkvnapp_DazEvo.so
  for f in vbapp_Open envReadTemp dazEvo; do
    at=$(objdump -T "$library" | awk -v f="$f" '$NF == f { print $1 }')
    [ -n "$at" ] || fail "$f is not exported"
    objdump -d --start-address=$((16#$at)) --stop-address=$((16#$at + 4)) "$library" |
      grep -q $'\tendbr64' || fail "$f does not begin with endbr64"
  done
  # An unhardened binary fails the same checks.
  printf '#include <stdio.h>\n#include <string.h>\nint main(int c, char** v) { char b[16]; strcpy(b, v[c - 1]); return puts(b); }\n' >"$work/plain.c"
  cc -O2 -fno-stack-protector -U_FORTIFY_SOURCE -Wl,-z,lazy -o "$work/plain" "$work/plain.c"
  if hardening-check --nocfprotection "$work/plain" >/dev/null; then
    fail "hardening-check passed an unhardened binary"
  fi
  ;;

manual)
  need man
  need lexgrog
  unpack
  page=$work/root/usr/share/man/man1/kvnvb_DazEvo.1.gz
  # Rendered as lintian renders it: not one warning.
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man: $warnings"
  expect_eq "$(lexgrog "$page")" \
    "$page: \"kvnvb_DazEvo - access panel of the PC/104 environmental monitoring and fan-control board\"" \
    "the name line"
  text=$(MANWIDTH=200 man -l "$page")
  for heading in SYNOPSIS OPTIONS FILES SIGNALS "EXIT STATUS" SERVICE; do
    grep -qx "$heading" <<<"$text" || fail "no $heading section"
  done
  ;;

logger)
  # The service's own command line and environment, started from the
  # unpacked package in a state folder of its own, then stopped as systemd
  # stops it. Started by root, it runs as nobody with the unit's capability
  # set (CAP_SYS_RAWIO alone) as its bounding set, as systemd starts it.
  unpack
  unit=$work/root/lib/systemd/system/kvnvb-dazevo-logger.service
  read -r -a command <<<"$(sed -n 's/^ExecStart=//p' "$unit")"
  command[0]=$work/root${command[0]}
  mapfile -t environment < <(sed -n 's/^Environment=//p' "$unit" | grep -v XDG_RUNTIME_DIR)
  # The metrics option as systemd expands it, on a loopback port of our own.
  metrics=$(sed -n 's/^Environment=KVNVB_METRICS=//p' "$unit")
  expect_eq "$metrics" "/M=127.0.0.1:9731" "the service serves metrics on loopback"
  expect_eq "${command[*]:1}" '/L $KVNVB_METRICS $KVNVB_MQTT' "the service's arguments"
  port=$((20000 + RANDOM % 30000))
  command[2]=/M=127.0.0.1:$port
  # KVNVB_MQTT is empty: systemd passes no argument for it.
  unset 'command[3]'
  [ "$(grep -c '^KillSignal=SIGTERM$' "$unit")" = 1 ] || fail "stopped with SIGTERM"
  mkdir -m 700 "$work/state" "$work/runtime"
  as=()
  if [ "$(id -u)" = 0 ]; then
    capability=$(sed -n 's/^CapabilityBoundingSet=CAP_//p' "$unit" | tr 'A-Z' 'a-z')
    expect_eq "$capability" sys_rawio "the unit's one capability"
    chmod 711 "$work"
    chown nobody:nogroup "$work/state" "$work/runtime"
    as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs
        --bounding-set=-all,+$capability --inh-caps=-all,+$capability
        --ambient-caps=-all,+$capability)
  fi
  cd "$work/state"
  env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$work/runtime" "${environment[@]}" \
    "${as[@]}" "${command[@]}" 2>"$work/stderr.txt" &
  pid=$!
  for _ in $(seq 100); do
    [ -f kvnvb_DazEvo.Log ] && [ "$(grep -c ' > ' kvnvb_DazEvo.Log)" -ge 2 ] && break
    sleep 0.1
  done
  # It answers a scrape.
  exec 3<>"/dev/tcp/127.0.0.1/$port" || fail "nothing listens at 127.0.0.1:$port"
  printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3
  scrape=$(cat <&3)
  exec 3<&-
  [[ $scrape == *$'\n'"kvnvb_board_open 1"* ]] || fail "scrape: $scrape"
  proc=$(cat "/proc/$pid/status")
  [[ $proc =~ $'\n'Uid:$'\t'([0-9]+) ]] && [ "${BASH_REMATCH[1]}" != 0 ] ||
    fail "the logger runs as root"
  if [ ${#as[@]} -gt 0 ]; then
    # Bit 17: CAP_SYS_RAWIO.
    [[ $proc == *$'\n'"CapBnd:"$'\t'"0000000000020000"$'\n'* ]] &&
      [[ $proc == *$'\n'"CapEff:"$'\t'"0000000000020000"$'\n'* ]] ||
      fail "capabilities: $(grep ^Cap <<<"$proc")"
  fi
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
