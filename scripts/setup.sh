# Shared set-up of ./run and ./test: the Debian 12 packages the build needs.
# Sourced, not run.

# Packages for building and running the panel (prometheus-cpp, and the web
# server and zlib for the metrics endpoint; libmosquitto for MQTT).
KVN_RUN_PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev prometheus-cpp-dev libmicrohttpd-dev zlib1g-dev libmosquitto-dev pkg-config fonts-dejavu-core fonts-liberation2"
# Further packages for the test suite, the sanitizer build, fuzzing and benchmarks;
# a real X server and key presses for the tests of the keyboard and the chart;
# dpkg-dev (dependencies of the Debian package), desktop-file-utils, lintian,
# devscripts (hardening-check) and man-db for the package's tests; a real
# Prometheus server (and promtool) for the metrics; a real Mosquitto broker,
# its clients and openssl (certificates) for MQTT; Python for the tests of the
# documentation.
KVN_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev xvfb xdotool dpkg-dev desktop-file-utils lintian devscripts man-db prometheus mosquitto mosquitto-clients openssl python3"
# The Windows build and its tests (./test-windows): the MinGW-w64 cross
# compiler; Qt's host tools and Perl, xz and patch to build Qt for Windows
# from its sources; GoogleTest's sources; Wine, with an X server (Xvfb),
# xdotool and the panel's font, to run the tests and the program.
KVN_WINDOWS_PACKAGES="cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools perl xz-utils patch googletest wine64 xvfb xdotool fonts-liberation2 python3"

kvn_missing_packages() {
  local missing="" p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  echo "$missing"
}

# kvn_install_packages PACKAGE...: installs what is missing when we are root,
# otherwise prints the one apt-get line to run and fails.
kvn_install_packages() {
  local missing
  missing=$(kvn_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" = 0 ]; then
    echo "Installing Debian packages:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y --no-install-recommends $missing >/dev/null 2>&1 || {
      apt-get update >/dev/null && apt-get install -y --no-install-recommends $missing >/dev/null
    }
  else
    echo "Please install the packages this needs, then run it again:" >&2
    echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
    return 1
  fi
}

# kvn_build PRESET [TARGET...]: configures (once) and builds.
kvn_build() {
  local preset=$1
  shift
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ ! -f "$root/build/$preset/build.ninja" ]; then
    (cd "$root" && cmake --preset "$preset" >/dev/null) || return 1
  fi
  if [ $# -gt 0 ]; then
    local targets="" t
    for t in "$@"; do targets="$targets --target $t"; done
    (cd "$root" && cmake --build --preset "$preset" $targets) || return 1
  else
    (cd "$root" && cmake --build --preset "$preset") || return 1
  fi
}

# kvn_configure_windows: configures the windows preset with the Qt for
# Windows at KVN_QT_WINDOWS (scripts/build-qt-windows.sh), again whenever that
# Qt changed.
kvn_configure_windows() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local cached
  cached=$(sed -n 's/^KVN_QT_WINDOWS:[A-Z]*=//p' "$root/build/windows/CMakeCache.txt" 2>/dev/null || true)
  if [ ! -f "$root/build/windows/build.ninja" ] || [ "$cached" != "$KVN_QT_WINDOWS" ]; then
    rm -rf "$root/build/windows"
    (cd "$root" && cmake --preset windows >/dev/null) || return 1
  fi
}
