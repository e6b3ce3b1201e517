#!/usr/bin/env bash
# Windows lane: cross-builds the mingw preset (the release quorvel.exe against Qt for MinGW-w64,
# and the tests) and runs every Windows test executable under Wine, with COM5 (and COM6, whose
# replies come in pieces) mapped to kelmar-sim ptys in a throwaway Wine prefix; then operates
# quorvel.exe from the portable zip on a virtual X screen, starts the zip in a fresh prefix
# (scripts/wine-window.sh), and installs, runs, upgrades and removes the MSI in another fresh
# prefix (scripts/wine-msi.sh). The zip's and the MSI's binaries are signed with a certificate
# made for the run and verified (scripts/wine-signing.sh). Fails when any test fails. Cleans up
# simulators, X server, timestamp server and wineserver on every exit.
# Qt for MinGW-w64: the tarball QUORVEL_QT_MINGW_TARBALL, else $QUORVEL_SHARED/qt6-mingw/, else
# ../shared/qt6-mingw/ beside the repository; without one, Qt is built from Debian's source with
# scripts/build-qt6-mingw.sh (about 15 minutes) and cached in QUORVEL_QT_CACHE (default
# ~/.cache/quorvel), keyed by the recipe; QUORVEL_QT_BUILD=no skips the window parts instead.
# While working on a few tests: QUORVEL_WINE_ONLY=<ctest -R regex> builds only the targets in
# QUORVEL_WINE_TARGETS (default: all), runs only the matching tests one at a time and skips the
# window test and the counts; never set in CI.
set -euo pipefail
cd "$(dirname "$0")/.."
lane_start=$(date +%s)
phase() { echo "== [$(( $(date +%s) - lane_start )) s] $*"; }

source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}" "${WINE_PACKAGES[@]}"

COM_PORT=COM5       # simulator answering whole replies
SPLIT_COM_PORT=COM6 # simulator sending each reply in 3-byte pieces 50 ms apart
HIGH_COM_PORT=COM12 # the first simulator again, under a name that opens only as \\.\COM12
# Added to Wine's serial device map beside its own entries; the tests expect this order.
TEST_SERIAL_NAMES=(COM10 COM2 com3)
SIM=build/release/tools/kelmar-sim/kelmar-sim
QT_TARBALL=${QUORVEL_QT_MINGW_TARBALL:-${QUORVEL_SHARED:-$(cd .. && pwd)/shared}/qt6-mingw/qt6.4.2-mingw64.tar.xz}
have_qt=1
no_qt_note() {
    echo "!! Qt for MinGW-w64 is absent ($QT_TARBALL): quorvel.exe, the GUI and widget tests," \
         "the window and installer tests, the zip and the MSI are NOT built or run. Build Qt" \
         "with scripts/build-qt6-mingw.sh (about 15 min on 2 cores; the lane does so unless" \
         "QUORVEL_QT_BUILD=no) or point QUORVEL_QT_MINGW_TARBALL / QUORVEL_SHARED at the tarball." >&2
}
if [ ! -f "$QT_TARBALL" ]; then
    # CI always has the tarball: there its absence is a broken set-up, reported at the end.
    if [ "${CI:-}" = true ] || [ "${QUORVEL_QT_BUILD:-yes}" = no ]; then
        have_qt=0
        no_qt_note
    else
        # Built once per recipe: the cache name holds the hash of the recipe and its patches.
        recipe=$(cat scripts/build-qt6-mingw.sh scripts/qt6-mingw-patches/*.patch | sha256sum)
        QT_TARBALL=${QUORVEL_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quorvel}/qt6.4.2-mingw64-${recipe:0:12}.tar.xz
        if [ ! -f "$QT_TARBALL" ]; then
            phase "Qt for MinGW-w64 from Debian's source into $QT_TARBALL (about 15 min)"
            bash scripts/build-qt6-mingw.sh "$QT_TARBALL"
        fi
        echo "Qt for MinGW-w64: $QT_TARBALL (built from Debian's source by the recipe)"
    fi
fi
source scripts/wine-window.sh
source scripts/wine-msi.sh
source scripts/wine-signing.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-wine.XXXXXX")
sim_pids=()

# shellcheck disable=SC2317 # invoked by the EXIT trap
cleanup() {
    local status=$?
    set +e
    stop_window_processes
    stop_test_signer
    for pid in "${sim_pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    if [ -d "$work/prefix" ]; then
        WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1
        WINEPREFIX="$work/prefix" wineserver -w >/dev/null 2>&1
    fi
    for prefix in "$fresh_prefix" "$msi_prefix"; do
        if [ -n "$prefix" ] && [ -d "$prefix" ]; then
            WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1
            WINEPREFIX="$prefix" wineserver -w >/dev/null 2>&1
        fi
    done
    rm -rf "$work"
    echo "Wine lane finished in $(( $(date +%s) - lane_start )) s (status $status)"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

phase "mingw: configure and build"
only=${QUORVEL_WINE_ONLY:-}
if [ -n "$only" ]; then
    [ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
    # shellcheck disable=SC2086 # a list of target names
    cmake --build --preset mingw --target ${QUORVEL_WINE_TARGETS:-all}
elif [ "$have_qt" -eq 1 ]; then
    # The release is signed as it is built, with this run's own certificate; what an earlier run
    # signed is made again.
    start_test_signer "$work/signer"
    rm -rf build/mingw/dist/quorvel-win64 build/mingw/dist/*.zip build/mingw/dist/*.msi
    cmake --preset mingw -DQUORVEL_BUILD_GUI=ON -DQUORVEL_QT_MINGW_TARBALL="$QT_TARBALL" >/dev/null
    cmake --build --preset mingw --target all quorvel_dist quorvel_msi
    phase "signatures of the release"
    verify_signed_release
else
    cmake --preset mingw -DQUORVEL_BUILD_GUI=OFF >/dev/null
    cmake --build --preset mingw
fi

phase "release: kelmar-sim"
[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build --preset release --target kelmar-sim

# start_sim <log name> <options...>: starts a simulator, sets sim_pty to its pty path.
start_sim() {
    local log="$work/$1"
    shift
    "$SIM" "$@" >"$log.out" 2>"$log.err" &
    sim_pids+=("$!")
    local pid=$!
    for _ in $(seq 300); do
        sim_pty=$(sed -n 's/^pty //p' "$log.out")
        [ -n "$sim_pty" ] && return 0
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "kelmar-sim did not start:" >&2
    cat "$log.err" >&2
    return 1
}

phase "simulators"
export XDG_RUNTIME_DIR="$work/xdg"
mkdir -m 700 "$XDG_RUNTIME_DIR"
start_sim sim --name "WINE$$A" --mode auto --address 1 --frozen
com_pty=$sim_pty
start_sim split-sim --name "WINE$$B" --mode auto --address 1 --frozen \
    --split 3 --split-gap-ms 50
split_pty=$sim_pty
echo "$COM_PORT -> $com_pty, $SPLIT_COM_PORT -> $split_pty"

phase "Wine prefix"
# winemenubuilder would turn the installer's shortcut into a desktop entry in the user's home.
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY # no windows, no dialogs
# Debian's Wine makes its server folder under TMPDIR; keep it in the throwaway folder.
export TMPDIR="$work/tmp"
mkdir "$TMPDIR" "$work/empty"
# wine_setup <wine arguments...>: output (also of the helper processes it starts, which keep its
# streams) goes to a log that is shown only when the step fails.
wine_setup() {
    wine "$@" >>"$work/wine-setup.log" 2>&1 || {
        cat "$work/wine-setup.log" >&2
        return 1
    }
}
wineboot -i >>"$work/wine-setup.log" 2>&1
wineserver -w
wine_setup reg add 'HKLM\Software\Wine\Ports' /v "$COM_PORT" /t REG_SZ /d "$com_pty" /f
wine_setup reg add 'HKLM\Software\Wine\Ports' /v "$SPLIT_COM_PORT" /t REG_SZ /d "$split_pty" /f
wine_setup reg add 'HKLM\Software\Wine\Ports' /v "$HIGH_COM_PORT" /t REG_SZ /d "$com_pty" /f
# The port mapping is read when the server starts. The server then stays up until the end, so
# the volatile serial device map keeps the test names added below.
wineserver -k
wineserver -w
wineserver -p >/dev/null 2>&1 # it keeps these streams: its exit dump must not reach the log
for name in "${TEST_SERIAL_NAMES[@]}"; do
    wine_setup reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\QuorvelTest$name" \
        /t REG_SZ /d "$name" /f
done
serial_map=$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>>"$work/wine-setup.log" |
    tr -d '\r')
echo "$serial_map" | grep REG_SZ
if ! echo "$serial_map" | grep -q "REG_SZ *$COM_PORT\$"; then
    echo "Wine did not map $COM_PORT" >&2
    cat "$work/wine-setup.log" >&2
    exit 1
fi

export QUORVEL_WINE_COM="$COM_PORT" QUORVEL_WINE_SPLIT_COM="$SPLIT_COM_PORT"
export QUORVEL_WINE_HIGH_COM="$HIGH_COM_PORT"
QUORVEL_WINE_TEST_PORTS=$(IFS=,; echo "${TEST_SERIAL_NAMES[*]}")
export QUORVEL_WINE_TEST_PORTS

phase "tests under Wine"
# ctest runs each case in its own Wine process (the preset's toolchain names wine as the
# emulator) and runs host-side fixtures such as the pymodbus frame generator. The Wine-only
# suites (named Wine...) share the mapped ports, so they run one at a time after the others.
wine_suites='(^|/)Wine[A-Z]'
status=0
# run_ctest <log> <ctest options...>: shows failures, skips and the summary, not every pass.
run_ctest() {
    local log=$1
    shift
    local result=0
    ctest --test-dir build/mingw --output-on-failure --no-tests=error "$@" >"$log.raw" 2>&1 ||
        result=1
    tr -d '\r' <"$log.raw" >"$log"
    grep -vE '^ *Start +[0-9]+: |Passed +[0-9.]+ sec$' "$log" || true
    return "$result"
}
if [ -n "$only" ]; then
    run_ctest "$work/only.log" -j1 -R "$only" || status=1
    grep -E 'tests passed|tests? failed out of' "$work/only.log" || true
    exit "$status"
fi
rm -f build/mingw/gtest-results/*.xml # counted after the run: none may be left from an earlier one
phase "host-side fixtures and the other tests"
run_ctest "$work/others.log" -j2 -E "$wine_suites" || status=1
phase "Wine-only tests"
run_ctest "$work/wine.log" -j1 -R "$wine_suites" || status=1

window_status=skipped
if [ "$have_qt" -eq 1 ]; then
    window_status=passed
    window_end_to_end || window_status=failed
    fresh_prefix_start || window_status=failed
    msi_end_to_end || window_status=failed
    [ "$window_status" = passed ] || status=1
fi

# summary <log>: "<total> <failed> <skipped>" from a ctest log.
summary() {
    local line total failed skipped
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    failed=$(echo "$line" | sed -E 's/.*, ([0-9]+) tests? failed.*/\1/')
    total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
    skipped=$(grep -cE '\(Skipped\)$' "$1" || true)
    echo "${total:-0} ${failed:-0} ${skipped:-0}"
}
read -r other_total other_failed other_skipped < <(summary "$work/others.log")
read -r wine_total wine_failed wine_skipped < <(summary "$work/wine.log")
# gui_cases: "<cases> <failed> <skipped>" over the GUI and widget executables' result files.
gui_cases() {
    local cases=0 failed=0 skipped=0 file
    for file in build/mingw/gtest-results/*.xml; do
        [ -f "$file" ] || continue
        cases=$((cases + $(grep -c '<testcase ' "$file" || true)))
        failed=$((failed + $(grep -c '<failure ' "$file" || true)))
        skipped=$((skipped + $(grep -c '<skipped' "$file" || true)))
    done
    echo "$cases $failed $skipped"
}
read -r gui_total gui_failed gui_skipped < <(gui_cases)
echo "Wine lane tests: ctest (core/engine/port/settings cases, GUI and widget executables)" \
     "$other_total run, $other_failed failed, $other_skipped skipped;" \
     "GUI and widget cases $gui_total run, $gui_failed failed, $gui_skipped skipped;" \
     "Wine-only $wine_total run, $wine_failed failed, $wine_skipped skipped;" \
     "window test, fresh-prefix start and installer test: $window_status"
# Outside this lane the Wine-only tests skip themselves; here a skip means a broken set-up.
if [ "$wine_skipped" -ne 0 ] || [ "$wine_total" -eq 0 ]; then
    echo "Wine-only tests did not all run" >&2
    status=1
fi
if [ "$have_qt" -eq 1 ] && { [ "$gui_skipped" -ne 0 ] || [ "$gui_total" -eq 0 ]; }; then
    echo "GUI and widget tests did not all run" >&2
    status=1
fi
if [ "$have_qt" -eq 0 ]; then
    no_qt_note
    # CI always has the shared folder beside the clone: there its absence is a broken set-up.
    [ "${CI:-}" = true ] && status=1
fi
exit "$status"
