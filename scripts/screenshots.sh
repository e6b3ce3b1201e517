#!/usr/bin/env bash
# The user's guides' screenshots, taken from the real window while it polls kelmar-sim: on
# Linux the release quorvel on a private Xvfb screen managed by openbox, on Windows quorvel.exe
# from the portable zip under Wine (the machinery of scripts/wine-window.sh). The operator's
# steps are driven from outside with xdotool: pick the port, "Nyit", show the chart, write a
# control reference and switch virtual input 1 so the simulated motor ramps, a second
# reference, hide the chart, show the log. Each picture is read from the X server once the
# values and counters have moved.
# Usage: scripts/screenshots.sh [--out DIR] [linux|windows|all]
#   writes window.png, chart.png and log.png (Linux) and window-windows.png (Windows) into DIR
#   (default docs/). Windows needs build/mingw/dist/quorvel-win64.zip or Qt for MinGW-w64 to
#   build it (see scripts/wine-tests.sh). Installs the Debian packages it needs.
set -euo pipefail
cd "$(dirname "$0")/.."

out=docs
platforms=all
while [ $# -gt 0 ]; do
    case $1 in
    --out) out=$2; shift 2 ;;
    linux | windows | all) platforms=$1; shift ;;
    *) echo "usage: scripts/screenshots.sh [--out DIR] [linux|windows|all]" >&2; exit 2 ;;
    esac
done
mkdir -p "$out"

source scripts/packages.sh
wanted=("${BUILD_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}")
[ "$platforms" = linux ] || wanted+=("${WINE_PACKAGES[@]}")
bash scripts/deps.sh "${wanted[@]}"

started=$(date +%s)
phase() { echo "== [$(( $(date +%s) - started )) s] $*"; }
source scripts/wine-window.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-shots.XXXXXX")
sim_pid=
wm_pid=
# shellcheck disable=SC2317 # invoked by the EXIT trap
cleanup() {
    local status=$?
    set +e
    stop_shot_session
    if [ -d "$work/prefix" ]; then
        WINEPREFIX="$work/prefix" wineserver -k >/dev/null 2>&1
        WINEPREFIX="$work/prefix" wineserver -w >/dev/null 2>&1
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR" "$work/empty"

# Where the rest of the controls the steps use lie, inside the client area.
AT[Bt_Diagram]="520 236"
AT[Tab_Messages]="563 207"
AT[Bt_Messages]="520 236"

# The RTU line of the pictures: 19200 baud, a poll period of 40 character times (23 ms), so
# the chart draws about ten frequency samples a second.
write_settings() {
    printf '%s\r\n' '[Quorvel]' Left=0 Top=0 Port= Baudrate=19200 Mode=4 Address=1 TimerASCII=50 \
        TimerRTU=40 Diagram=0 Max=5 Messages=0 >"$1"
}

# start_simulator <port name>: a drive whose motor ramps at 4 Hz/s, with a few lost and a few
# damaged replies, so every counter has something to show. Sets sim_pty.
start_simulator() {
    build/release/tools/kelmar-sim/kelmar-sim --name "$1" --address 1 --ramp 4 \
        --drop-rate 0.004 --corrupt-rate 0.004 --seed 26 \
        --status-file "$work/e2e-status.json" >"$work/sim.out" 2>"$work/sim.err" &
    sim_pid=$!
    wait_for 10 "kelmar-sim's port" grep -qs '^port ' "$work/sim.out" || return 1
    sim_pty=$(sed -n 's/^pty //p' "$work/sim.out")
}

# shellcheck disable=SC2317 # also called from the EXIT trap
stop_shot_session() {
    stop_window_processes
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    wm_pid='' sim_pid='' xvfb_pid='' app_pid=''
    return 0
}

# find_window for a window openbox manages: xdotool counts the frame's offset twice there, so
# the position comes from the X server (xwininfo).
find_managed_window() {
    find_window || return 1
    local info
    info=$(xwininfo -id "$window")
    win_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    win_y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    client_x=$win_x
    client_y=$((win_y + win_h - CLIENT_HEIGHT))
}

set_reference() {
    click Edit_SetControlRefSignal
    xdotool key ctrl+a
    xdotool type --delay 50 "$1"
    click Bt_SendControlRefSignal
}

frequency_is() { register_is F098 "$1"; }

# shot <file> <frame|client>: the window as the X server shows it, with or without the window
# manager's frame.
shot() {
    if [ "$2" = frame ]; then
        import -frame -window "$window" "$1"
    else
        import -window root -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$1"
    fi
    echo "   $1"
}

# operate <port> <look> <chart file|-> <window file> <log file|->: the operator's steps.
operate() {
    local port=$1 look=$2
    click Combo_Port
    xdotool type --delay 50 "$port"
    xdotool key Return
    sleep 0.5
    click Bt_PortOpen
    wait_for 20 "polling" requests_at_least 20 || return 1
    wait_for 10 "values in the boxes" boxes_show_values || return 1
    click Bt_Diagram
    sleep 1
    set_reference 50
    click Bt_VirtualInput1
    wait_for 30 "the motor at 50 Hz" frequency_is 5000 || return 1
    sleep 3
    set_reference 30
    wait_for 20 "the motor at 30 Hz" frequency_is 3000 || return 1
    sleep 4
    [ "$3" = - ] || shot "$3" "$look"
    click Bt_Diagram
    counter_moves || { fail "the sent counter does not move"; return 1; }
    shot "$4" "$look"
    [ "$5" = - ] && return 0
    click Tab_Messages
    click Bt_Messages
    sleep 2
    shot "$5" "$look"
}

linux_shots() {
    phase "Linux: the release quorvel on Xvfb with openbox"
    cmake --preset release >/dev/null
    cmake --build --preset release --target quorvel kelmar-sim
    start_xvfb || return 1
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm_pid=$!
    sleep 1
    start_simulator KELMAR1 || return 1
    mkdir "$work/linux"
    cp build/release/src/gui/quorvel "$work/linux/"
    write_settings "$work/linux/quorvel.ini"
    (cd "$work/linux" && exec ./quorvel) >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for 30 "the main window" find_managed_window || return 1
    operate KELMAR1 frame "$out/chart.png" "$out/window.png" "$out/log.png" || return 1
    close_app || return 1
    grep -q '^Port=KELMAR1' "$work/linux/quorvel.ini" || fail "no settings written at close"
    stop_shot_session
}

windows_shots() {
    phase "Windows: quorvel.exe from the portable zip under Wine"
    if [ ! -f "$DIST_ZIP" ]; then
        local shared=${QUORVEL_SHARED:-$(cd .. && pwd)/shared}
        local tarball=${QUORVEL_QT_MINGW_TARBALL:-$shared/qt6-mingw/qt6.4.2-mingw64.tar.xz}
        cmake --preset mingw -DQUORVEL_BUILD_GUI=ON -DQUORVEL_QT_MINGW_TARBALL="$tarball" >/dev/null
        cmake --build --preset mingw --target quorvel_dist
    fi
    cmake --preset release >/dev/null
    cmake --build --preset release --target kelmar-sim
    start_simulator "WINESHOT$$" || return 1
    export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" TMPDIR="$work/tmp"
    mkdir -p "$TMPDIR"
    wineboot -i >>"$work/wine.log" 2>&1
    wineserver -w
    wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$sim_pty" /f \
        >>"$work/wine.log" 2>&1
    wineserver -k
    wineserver -w
    unpack_dist "$work/win" || return 1
    write_settings "$work/win/quorvel-win64/quorvel.ini"
    start_xvfb || return 1
    start_app "$work/win/quorvel-win64/quorvel.exe" || return 1
    operate COM5 client - "$out/window-windows.png" - || return 1
    close_app || return 1
    stop_shot_session
}

# Called as plain commands, so a failing step ends the script.
case $platforms in
linux) linux_shots ;;
windows) windows_shots ;;
all)
    linux_shots
    windows_shots
    ;;
esac
phase "done: the pictures are in $out; look at each before committing it"
