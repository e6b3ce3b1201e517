# Debian package lists shared by the scripts (sourced).
# shellcheck disable=SC2034
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
               mbpoll socat clang libclang-rt-14-dev xvfb xauth)
# The Debian package: build, validation (scripts/package.sh) and the install test in a fresh
# Debian root (scripts/package-test.sh).
PACKAGE_PACKAGES=(dpkg-dev fakeroot file lintian appstream desktop-file-utils imagemagick debootstrap xvfb xauth xdotool)
