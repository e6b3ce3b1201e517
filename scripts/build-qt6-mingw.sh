#!/usr/bin/env bash
# Builds Qt for the Windows cross build from Debian's own source: Qt 6.4.2 qtbase (Core, Gui,
# Widgets, Test; platform plugins windows, offscreen and minimal; style windowsvista) for
# x86_64-w64-mingw32 (posix threads), from Debian 12's qt6-base source package, with Debian's host
# Qt tools (moc, rcc, uic) of the same version. The result is the tarball cmake/QtMingw.cmake
# unpacks: qt6-mingw/prefix (the Qt install) and qt6-mingw/toolchain (the toolchain it was built
# with).
#
# Usage: scripts/build-qt6-mingw.sh OUT.tar.xz [WORKDIR]
#
# About 15 minutes on an idle 2-core machine, much longer on a busy one. Installs the build
# packages with apt-get when missing (through sudo when not root); the source package comes
# through a private deb-src list, so the system's package lists stay as they are. The work folder
# (about 3 GB) is removed afterwards unless given. QUORVEL_QT_BUILD_JOBS sets the parallel jobs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(realpath -m "${1:?usage: build-qt6-mingw.sh OUT.tar.xz [WORKDIR]}")
QT_VERSION=6.4.2
QT_DEBIAN_VERSION=$QT_VERSION+dfsg-10
jobs=${QUORVEL_QT_BUILD_JOBS:-$(nproc)}
started=$(date +%s)
step() { echo "== build-qt6-mingw [$(( $(date +%s) - started )) s] $*"; }

if [ -n "${2:-}" ]; then
    work=$(realpath -m "$2")
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/qt6-mingw-build.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi

source "$here/packages.sh"
bash "$here/deps.sh" "${QT_BUILD_PACKAGES[@]}"
# moc, rcc and uic run on the host: they must be Debian's of exactly this Qt version.
host_qt=$(dpkg-query -W -f='${Version}' qt6-base-dev)
if [ "${host_qt%%+*}" != "$QT_VERSION" ]; then
    echo "build-qt6-mingw: the host's qt6-base-dev is $host_qt, not Qt $QT_VERSION" >&2
    exit 1
fi

step "source package qt6-base $QT_DEBIAN_VERSION"
# The machine's own Debian mirror, from either form of the source list.
mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null ||
    true)
if [ -z "$mirror" ]; then
    mirror=$(awk '$1 == "deb" && $0 ~ /debian/ { for (i = 2; i <= NF; i++) if ($i ~ /^https?:/) { print $i; exit } }' \
        /etc/apt/sources.list 2>/dev/null || true)
fi
mirror=${mirror:-http://deb.debian.org/debian}
mkdir -p "$work/apt/lists/partial" "$work/src"
cat >"$work/apt/src.sources" <<SRC
Types: deb-src
URIs: $mirror
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
aptsrc=(-o Dir::Etc::sourcelist=/dev/null -o Dir::Etc::sourceparts="$work/apt"
    -o Dir::State::Lists="$work/apt/lists")
apt-get "${aptsrc[@]}" update -qq
(cd "$work/src" && apt-get "${aptsrc[@]}" source --download-only "qt6-base=$QT_DEBIAN_VERSION" \
    >/dev/null)
cd "$work"
source_dir=qtbase-everywhere-src-$QT_VERSION
rm -rf "$source_dir"
tar xf "src/qt6-base_${QT_VERSION}+dfsg.orig.tar.xz"
tar xf "src/qt6-base_${QT_DEBIAN_VERSION}.debian.tar.xz" -C src
# Debian's upstream security backports only; its other patches are Linux packaging.
for p in cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch; do
    patch -d "$source_dir" -p1 -s <"src/debian/patches/$p"
done
# 0001: the +dfsg tarball drops src/3rdparty/wintab; Wine's LGPL wintab.h/pktdef.h stand in.
# 0002: with Direct2D off, QtGui lacks the DirectWrite font database the windows plugin uses.
for p in "$here"/qt6-mingw-patches/*.patch; do
    patch -d "$source_dir" -p1 -s <"$p"
done

rm -rf qt6-mingw build
mkdir -p qt6-mingw/toolchain build
cat >qt6-mingw/toolchain/mingw-w64-x86_64-posix.cmake <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${_mingw}-windres)
set(CMAKE_AR           /usr/bin/${_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${_mingw}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TC

step "configure (log: $work/configure.log)"
cd build
cmake -G Ninja "../$source_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$work/qt6-mingw/toolchain/mingw-w64-x86_64-posix.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
    -DCMAKE_INSTALL_PREFIX="$work/qt6-mingw/prefix" \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_pkg_config=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF -DFEATURE_testlib=ON \
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_icu=OFF -DFEATURE_zstd=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF \
    -DFEATURE_harfbuzz=ON -DFEATURE_system_harfbuzz=OFF -DFEATURE_png=ON \
    -DFEATURE_system_png=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_textmarkdownreader=OFF \
    >"$work/configure.log" 2>&1 || { tail -n 40 "$work/configure.log" >&2; exit 1; }

step "build with $jobs jobs (log: $work/build.log)"
ninja -j"$jobs" >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install . >/dev/null
cd "$work"

step "pack $out"
mkdir -p "$(dirname "$out")"
# Written aside and moved into place, so an interrupted run never leaves a tarball behind.
XZ_OPT=-9 tar -cJf "$out.partial" qt6-mingw
mv "$out.partial" "$out"
step "built $out ($(du -k "$out" | cut -f1) KiB)"
