# Debian package lists shared by the scripts (sourced).
# shellcheck disable=SC2034
BUILD_PACKAGES=(cmake make g++ pkg-config qt6-base-dev libgl-dev fonts-dejavu-core fonts-dejavu-extra)
WINE_PACKAGES=(wine wine64 g++-mingw-w64-x86-64-posix googletest xvfb xdotool imagemagick)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev python3-pymodbus python3-serial python3-serial-asyncio
               mbpoll socat clang libclang-rt-14-dev xvfb xauth openbox xdotool x11-utils imagemagick)
# The Debian package: build, validation (scripts/package.sh) and the install test in a fresh
# Debian root (scripts/package-test.sh).
PACKAGE_PACKAGES=(dpkg-dev fakeroot file lintian appstream desktop-file-utils imagemagick debootstrap xvfb xauth xdotool)
