# Debian package lists shared by the scripts (sourced).
# shellcheck shell=bash disable=SC2034
# The console and the simulator (scripts/run.sh): nothing for tests, benchmarks or fuzzers.
BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra)
# The Windows lane: the cross build, Wine, the window test, the installer (wixl, msitools), the
# signing step (osslsigncode, openssl; python3 serves the run's own timestamp authority) and the
# checks of the .exe's resources (icoutils).
WINE_PACKAGES=(wine wine64 g++-mingw-w64-x86-64-posix googletest xvfb xdotool imagemagick wixl msitools
               osslsigncode openssl icoutils libxml2-utils python3)
# Qt for MinGW-w64 built from Debian's source (scripts/build-qt6-mingw.sh), when no tarball is at hand.
QT_BUILD_PACKAGES=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-tools cmake ninja-build
                   qt6-base-dev qt6-base-dev-tools xz-utils patch dpkg-dev debian-archive-keyring)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev python3-pymodbus python3-serial python3-serial-asyncio
               mbpoll socat clang libclang-rt-14-dev xvfb xauth
               openbox xdotool x11-utils imagemagick tesseract-ocr)
# A real display with a window manager, driven from outside (scripts/settings-users.sh).
WINDOW_PACKAGES=(xvfb xauth xdotool openbox imagemagick)
# The Debian package: build and validation (scripts/package.sh).
PACKAGE_PACKAGES=(dpkg-dev fakeroot file lintian appstream desktop-file-utils)
# The tests in a fresh Debian 12 root (scripts/ci-root.sh): the install test
# (scripts/package-test.sh) and the first run of a clean clone (scripts/first-run-test.sh), with
# the X server, window manager and xdotool that drive them from outside the root.
ROOT_TEST_PACKAGES=(debootstrap git imagemagick openbox xvfb xauth xdotool)
# The documents' screenshots (scripts/screenshots.sh): the window on a virtual X screen with a
# window manager, driven with xdotool, placed by xwininfo and read back with ImageMagick's import.
SCREENSHOT_PACKAGES=(xvfb xauth openbox xdotool x11-utils imagemagick)
