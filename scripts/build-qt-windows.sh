#!/usr/bin/env bash
# Builds Qt 6.4.2 for 64-bit Windows from Debian's own sources, once:
#   scripts/build-qt-windows.sh        prints the folder of the built Qt
# It fetches the qt6-base source package of the installed host Qt through
# apt (adding a deb-src entry for the same suite where none is set), checks
# its hash, and cross-builds Core, Gui, Widgets, Test and the windows
# platform plugin with MinGW-w64 and Debian's host tools (moc, rcc, uic).
# The result goes to a cache folder outside the checkout, keyed by Qt's
# version and the build options:
#   ${XDG_CACHE_HOME:-~/.cache}/kvnvb_DazEvo/qt-6.4.2-mingw-<key>
# A second run finds it and builds nothing. KVN_QT_WINDOWS_CACHE sets the
# parent folder. Progress goes to standard error, the folder to standard output.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"; exit 0 ;; esac

qt_version=6.4.2
# The source package of Debian 12's qt6-base, and the hash of Qt's own
# sources inside it (the upstream tarball, without Debian's patches, which
# are for Linux).
debian_version=6.4.2+dfsg-10
orig=qt6-base_6.4.2+dfsg.orig.tar.xz
orig_sha256=4f14b89a9463a540fd84a6718b8519a2297119b454ef547721015a9e9019ae9e

say() { echo "build-qt-windows: $*" >&2; }
fail() { say "$*"; exit 1; }

# What the panel needs and nothing more. Each option that leaves something out
# or mends the cross build says why.
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_TESTS=OFF -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_BENCHMARKS=OFF
  # Modules the panel does not use.
  -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  # The panel draws with QPainter on images; no OpenGL, no Vulkan.
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF
  # The windows platform plugin alone; not the Direct2D one. Qt 6.4's Gui
  # builds its DirectWrite font database only with Direct2D, while the
  # windows plugin refers to it whenever DirectWrite 3 is there (and links
  # no more): DirectWrite 3 goes too. The plugin's default font database,
  # GDI's, is the one used either way.
  -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF
  # Debian's sources leave out Wacom's tablet header (src/3rdparty/wintab,
  # whose licence does not allow changes), which the windows platform
  # plugin's tablet support includes; the panel takes no tablet input.
  -DFEATURE_tabletevent=OFF
  # Image formats: PNG (Qt's own images) and ICO only; no JPEG, no GIF.
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=ON
  # Debian has none of these libraries built for Windows (its zlib for
  # MinGW is static only); Qt's bundled copies are used.
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
  # Tools run on the build machine: Debian's own, of the same version.
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)

# The third-party code Qt compiles into these libraries, whose licences go with them.
bundled=(zlib pcre2 libpng harfbuzz-ng freetype double-conversion md4c tinycbor
  blake2 easing sha3 md5 md4 sha1 rfc6234 icc)

# The compiler, for Qt and for the panel: Debian's MinGW-w64, posix threads.
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)'

# Patches to Qt's sources, each with its reason (applied in order).
patches=()

key=$(printf '%s\n' "$qt_version" "$orig_sha256" "${options[@]}" "$toolchain_text" "${patches[@]}" |
  sha256sum | cut -c1-12)
cache_root=${KVN_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kvnvb_DazEvo}
prefix=$cache_root/qt-$qt_version-mingw-$key

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

command -v x86_64-w64-mingw32-g++-posix >/dev/null || fail "MinGW-w64 is missing: apt-get install g++-mingw-w64-x86-64-posix"
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
[ "${host_version%%+*}" = "$qt_version" ] ||
  fail "the host tools of Qt $qt_version are missing (qt6-base-dev-tools is '${host_version:-not installed}')"

work=$cache_root/qt-$qt_version-mingw-$key.work
mkdir -p "$work"
cd "$work"

# The sources, through apt.
if [ ! -f "$orig" ] || ! echo "$orig_sha256  $orig" | sha256sum -c --status; then
  if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $debian_version\$"; then
    [ "$(id -u)" = 0 ] || fail "no deb-src entry gives qt6-base $debian_version; add one for your suite (or run this as root, which adds it) and run apt-get update"
    suites=$(. /etc/os-release && echo "$VERSION_CODENAME $VERSION_CODENAME-updates")
    say "adding a deb-src entry for $suites"
    cat >/etc/apt/sources.list.d/kvnvb-dazevo-deb-src.sources <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    apt-get update -qq || fail "apt-get update failed, so the sources of qt6-base cannot be fetched"
    apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $debian_version\$" ||
      fail "apt offers no qt6-base $debian_version source package"
  fi
  say "fetching the sources of qt6-base $debian_version"
  rm -f "$orig"
  apt-get source -qq --download-only "qt6-base=$debian_version" >/dev/null 2>&1 ||
    fail "apt-get source qt6-base=$debian_version failed"
  echo "$orig_sha256  $orig" | sha256sum -c --status ||
    fail "$orig does not have the expected SHA-256 $orig_sha256"
fi

src=$work/qtbase-everywhere-src-$qt_version
if [ ! -f "$src/.unpacked" ]; then
  rm -rf "$src"
  say "unpacking $orig"
  tar xf "$orig"
  for p in "${patches[@]}"; do patch -d "$src" -p1 <"$p" >&2; done
  touch "$src/.unpacked"
fi

printf '%s\n' "$toolchain_text" >"$work/toolchain.cmake"
say "configuring Qt $qt_version for Windows"
start=$(date +%s)
cmake -G Ninja -S "$src" -B "$work/build" -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >"$work/configure.log" 2>&1 ||
  { tail -40 "$work/configure.log" >&2; fail "configuring failed; the whole log is $work/configure.log"; }
say "building (the log is $work/build.log)"
cmake --build "$work/build" >"$work/build.log" 2>&1 ||
  { tail -40 "$work/build.log" >&2; fail "the build failed; the whole log is $work/build.log"; }
rm -rf "$prefix"
cmake --install "$work/build" >"$work/install.log" 2>&1 ||
  { tail -20 "$work/install.log" >&2; fail "installing failed; the whole log is $work/install.log"; }
printf '%s\n' "$toolchain_text" >"$prefix/toolchain.cmake"
# The licences of Qt and of the libraries it bundles into the DLLs built here,
# for whoever ships them.
mkdir -p "$prefix/licenses/3rdparty"
cp "$src"/LICENSES/{LGPL-3.0-only,GPL-3.0-only,GPL-2.0-only,Qt-GPL-exception-1.0}.txt "$prefix/licenses/"
for lib in "${bundled[@]}"; do
  mkdir -p "$prefix/licenses/3rdparty/$lib"
  find "$src/src/3rdparty/$lib" -maxdepth 1 -type f \
    \( -iname '*licen[cs]e*' -o -iname 'copying*' -o -name qt_attribution.json \) \
    -exec cp {} "$prefix/licenses/3rdparty/$lib/" \;
done
say "built in $(($(date +%s) - start)) s"
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
