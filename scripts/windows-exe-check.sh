#!/usr/bin/env bash
# Checks quorvel.exe from outside, as Windows will see it: a GUI program; subsystem and OS
# version 10.0, so an older Windows refuses it at once instead of failing on a missing DLL; the
# application manifest (Windows 10/11 in the supported-OS list, long paths, UTF-8 as the ANSI code
# page, run as the invoking user); the program icon with a 256-pixel image; the project's version;
# and the C++ run-time the Qt DLLs use, imported as libstdc++-6.dll rather than linked in as a
# second copy. Usage: scripts/windows-exe-check.sh QUORVEL.EXE [VERSION]; VERSION defaults to the
# project's. Prints each fact that holds and each that does not; fails when any does not.
set -euo pipefail
exe=${1:?usage: windows-exe-check.sh QUORVEL.EXE [VERSION]}
root=$(cd "$(dirname "$0")/.." && pwd)
version=${2:-$(sed -nE 's/^project\(Quorvel VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-exe-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failures=0
fail() {
    echo "windows-exe-check: $exe: $*" >&2
    failures=$((failures + 1))
}
# Whole outputs are captured first: grep -q would end a pipe early, which pipefail counts as failure.
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
header() { awk -v key="$1" '$1 == key { print $2; exit }' <<<"$headers"; }

check_headers() {
    grep -q '^Subsystem.*(Windows GUI)' <<<"$headers" || { fail "not a Windows GUI program"; return; }
    local part major minor
    for part in Subsystem OSystem; do
        major=$(header "Major${part}Version")
        minor=$(header "Minor${part}Version")
        [ "$major.$minor" = 10.0 ] ||
            { fail "${part} version is $major.$minor, not 10.0 (Windows 10)"; return; }
    done
    echo "subsystem: Windows GUI, subsystem and OS version 10.0"
}

check_runtime() {
    grep -q 'DLL Name: libstdc++-6.dll' <<<"$headers" || {
        fail "does not import libstdc++-6.dll: it carries its own C++ run-time beside the Qt DLLs' one"
        return
    }
    echo "C++ run-time: imports libstdc++-6.dll, the one the Qt DLLs use"
}

# manifest_value <xpath>: the text of the first node found in the extracted manifest.
manifest_value() {
    xmllint --xpath "string(($1)[1])" "$scratch/manifest.xml" 2>/dev/null || true
}
# manifest_setting <name> <year>: a windowsSettings element in its own namespace, which is
# what makes Windows read it.
manifest_setting() {
    manifest_value "//*[local-name()='$1' and namespace-uri()='http://schemas.microsoft.com/SMI/$2/WindowsSettings']"
}

# The manifest: resource type 24, id 1 (the one the loader reads for a program).
check_manifest() {
    wrestool -x --raw --type=24 --name=1 "$exe" >"$scratch/manifest.xml" 2>/dev/null || true
    [ -s "$scratch/manifest.xml" ] || { fail "has no application manifest"; return; }
    xmllint --noout "$scratch/manifest.xml" 2>/dev/null ||
        { fail "its manifest is not well-formed XML"; return; }
    local compat='urn:schemas-microsoft-com:compatibility.v1' os_ids
    local windows10='{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' # Windows 10 and Windows 11
    os_ids=$(xmllint --xpath "//*[local-name()='supportedOS' and namespace-uri()='$compat']/@Id" \
        "$scratch/manifest.xml" 2>/dev/null || true)
    grep -qiF "Id=\"$windows10\"" <<<"$os_ids" ||
        { fail "its manifest does not name Windows 10/11"; return; }
    [ "$(manifest_setting longPathAware 2016)" = true ] ||
        { fail "its manifest does not declare longPathAware"; return; }
    [ "$(manifest_setting activeCodePage 2019)" = UTF-8 ] ||
        { fail "its manifest does not set the active code page to UTF-8"; return; }
    [ "$(manifest_value "//*[local-name()='requestedExecutionLevel']/@level")" = asInvoker ] ||
        { fail "its manifest does not ask to run as the invoking user"; return; }
    echo "manifest: Windows 10/11, longPathAware, active code page UTF-8, asInvoker"
}

# The icon group: every image it holds, the largest 256 pixels.
check_icon() {
    local icons sizes
    mkdir "$scratch/icons"
    wrestool -x --type=14 -o "$scratch/icons" "$exe" 2>/dev/null || true
    icons=("$scratch"/icons/*)
    [ -f "${icons[0]}" ] || { fail "has no icon"; return; }
    sizes=$(icotool -l "${icons[0]}" | sed -nE 's/.*--width=([0-9]+).*/\1/p' | sort -n | uniq |
        tr '\n' ' ')
    grep -qw 256 <<<"$sizes" || { fail "its icon has no 256-pixel image (sizes: ${sizes% })"; return; }
    echo "icon: ${sizes% } pixels"
}

check_version() {
    local resources
    resources=$(x86_64-w64-mingw32-windres -i "$exe" -O rc)
    grep -q "VALUE \"FileVersion\", \"$version\"" <<<"$resources" ||
        { fail "does not carry the version $version"; return; }
    echo "version: $version"
}

check_headers
check_runtime
check_manifest
check_icon
check_version
[ "$failures" -eq 0 ]
