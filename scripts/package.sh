#!/usr/bin/env bash
# Builds the Debian package build/app/quorvel_<version>_amd64.deb with CPack and checks it
# with desktop-file-validate, appstreamcli validate and lintian; fails on any error they report.
# The app preset leaves tests, benchmarks and fuzzers out, so it needs no test tool.
# Installs the Debian packages it needs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"

build=build/app
cmake --preset app >/dev/null
cmake --build --preset app --target quorvel kelmar-sim quorvel_package_files
rm -f "$build"/quorvel_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
deb=$(ls "$build"/quorvel_*_amd64.deb)

echo "== package: $deb ($(stat -c %s "$deb") bytes)"
dpkg-deb --field "$deb" Package Version Installed-Size Depends
dpkg-deb --contents "$deb" | awk '{ print $1, $2, $6 }'

# The version in the package must be the one the about box was built with.
version=$(dpkg-deb --field "$deb" Version)
header_version=$(sed -n 's/^#define QUORVEL_VERSION_TEXT "V\([^ ]*\) .*/\1/p' \
    "$build/src/gui/generated/QuorvelVersion.h")
if [ "$version" != "$header_version" ]; then
    echo "package version $version differs from the about box's $header_version" >&2
    exit 1
fi

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
status=0
echo "== desktop-file-validate"
desktop-file-validate "$unpacked/usr/share/applications/quorvel.desktop" || status=1
echo "== appstreamcli validate"
appstreamcli validate --no-net --explain "$unpacked"/usr/share/metainfo/*.metainfo.xml || status=1
echo "== lintian"
# Errors and warnings fail; info tags are shown. Any tag overridden here is explained in README.
lintian --display-info --show-overrides --fail-on error,warning "$deb" || status=1
[ "$status" -eq 0 ] && echo "== package checks passed" || echo "== package checks FAILED" >&2
exit "$status"
