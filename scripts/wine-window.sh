# shellcheck shell=bash disable=SC2154,SC2034 # work, sim_pty...: set by wine-tests.sh
# Windows lane, the window (sourced by wine-tests.sh after the test suites): the portable zip
# checked as a user gets it (a release build, the .exe's headers and resources, the read-me
# texts and licences), then its quorvel.exe operated under Wine with the windows platform on a
# virtual X screen, driven from outside with xdotool by on-screen positions, checked from
# outside (the simulator's status file and frame log, screenshots, the settings file). Then the
# zip is unpacked into a fresh Wine prefix and started there, to prove it brings every DLL it
# needs.
# Expects from wine-tests.sh: work, SIM, COM_PORT, WINEPREFIX, phase, start_sim, sim_pids.

DIST_ZIP=build/mingw/dist/quorvel-win64.zip
SCREENSHOT=build/mingw/window-windows.png # the guides' pictures: scripts/screenshots.sh
CLIENT_HEIGHT=270 # the window's client height with chart and log hidden
SETTINGS_KEYS=(Left Top Port Baudrate Mode Address TimerASCII TimerRTU Diagram Max Messages)
source scripts/xvfb.sh
xvfb_pid=
app_pid=
fresh_prefix=

# Positions inside the client area (below the menu bar), centres of the controls.
declare -A AT=(
    [Combo_Port]="160 35" [Radio_ModeRTU]="177 85" [Bt_PortOpen]="78 110" [Bt_PortClose]="158 110"
    [Edit_SetControlRefSignal]="378 163" [Bt_SendControlRefSignal]="384 190"
    [Bt_VirtualInput1]="339 240"
)
# Boxes inside the client area: x y width height.
declare -A BOX=(
    [Edit_SentMessage]="575 25 71 21" [Edit_RecMessage]="575 50 71 21"
    [Edit_Frequency]="130 153 66 21" [Edit_MotorCurrent]="130 178 66 21"
    [Edit_ControlRefSignal]="130 203 66 21"
)

fail() {
    echo "window test: $*" >&2
    if [ -n "${DISPLAY:-}" ] && import -window root build/mingw/window-failure.png 2>/dev/null; then
        echo "the screen at the failure: build/mingw/window-failure.png" >&2
    fi
    return 1
}

# shellcheck disable=SC2317 # called from the EXIT trap of wine-tests.sh
stop_window_processes() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    return 0
}

start_xvfb() {
    start_private_xvfb "$work" || { fail "Xvfb did not start"; return 1; }
    export DISPLAY
}

# Simulator status: status_value <key> prints a register (F098...) or count (requests...).
status_value() {
    sed -E "s/.*\"$1\":([0-9]+).*/\1/" "$work/e2e-status.json"
}
# frames_in <ascii|rtu>: requests in the simulator's frame log (the installer test uses its own).
frames_in() { grep -c "rx $1" "${sim_frame_log:-$work/e2e-sim.err}" || true; }

# wait_for <seconds> <description> <command...>: polls the command every 0.2 s.
wait_for() {
    local seconds=$1 what=$2
    shift 2
    local tries=$((seconds * 5))
    while [ "$tries" -gt 0 ]; do
        "$@" && return 0
        sleep 0.2
        tries=$((tries - 1))
    done
    fail "timed out after $seconds s waiting for $what"
}

# The window and its client origin: the X window holds menu bar and client area.
# Only a viewable window counts: a first start in a fresh prefix names its X window a while
# before it is mapped, and an unmapped window cannot take the focus.
find_window() {
    window=$(xdotool search --onlyvisible --name '^Quorvel Kelmar' 2>/dev/null | head -n1)
    [ -n "$window" ] || return 1
    eval "$(xdotool getwindowgeometry --shell "$window")"
    win_x=$X win_y=$Y win_w=$WIDTH win_h=$HEIGHT
    client_x=$win_x
    client_y=$((win_y + win_h - CLIENT_HEIGHT))
    [ "$win_h" -gt "$CLIENT_HEIGHT" ]
}

click() {
    read -r x y <<<"${AT[$1]}"
    xdotool mousemove --sync $((client_x + x)) $((client_y + y)) click 1
    sleep 0.3
}

# box_shot <name> <file>: the box's pixels from the screen.
box_shot() {
    read -r x y w h <<<"${BOX[$1]}"
    import -window root -crop "${w}x${h}+$((client_x + x))+$((client_y + y))" +repage "$2"
}
# A box shows text when its inside holds more than its background colour.
box_has_text() {
    box_shot "$1" "$work/box.png"
    local colours
    colours=$(convert "$work/box.png" -shave 3x3 -format '%k' info:)
    [ "$colours" -gt 1 ]
}
boxes_show_values() {
    local box
    for box in Edit_Frequency Edit_MotorCurrent Edit_ControlRefSignal Edit_SentMessage \
        Edit_RecMessage; do
        box_has_text "$box" || return 1
    done
}
# The sent counter's box changes while the port is open.
counter_moves() {
    box_shot Edit_SentMessage "$work/count1.png"
    sleep 1
    box_shot Edit_SentMessage "$work/count2.png"
    local differing
    differing=$(compare -metric AE "$work/count1.png" "$work/count2.png" null: 2>&1 || true)
    [ "${differing%% *}" != 0 ]
}

requests_at_least() { [ "$(status_value requests)" -ge "$1" ]; }
frames_at_least() { [ "$(frames_in "$1")" -ge "$2" ]; }
register_is() { [ "$(status_value "$1")" -eq "$2" ]; }
# The link is closed when no request arrives for a second.
no_more_requests() {
    local before
    before=$(status_value requests)
    sleep 1
    [ "$(status_value requests)" -eq "$before" ]
}

# unpack_dist <folder>: the zip's quorvel-win64 folder inside <folder>.
unpack_dist() {
    mkdir -p "$1"
    (cd "$1" && cmake -E tar xf "$OLDPWD/$DIST_ZIP")
    [ -f "$1/quorvel-win64/quorvel.exe" ] || fail "$DIST_ZIP holds no quorvel-win64/quorvel.exe"
}

# start_app <exe>: runs it with the windows platform, waits for its window.
start_app() {
    (cd "$work/empty" && exec env WINEQT_QPA_PLATFORM=windows wine "$1") \
        >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for 60 "the main window" find_window
}

# close_app: Alt+F4 on the focused window, then the process must end with status 0. The window
# is looked up again, and a key that found no focus (Wine can remake the X window) is pressed
# again, up to three times ten seconds.
close_app() {
    local press tries status=0
    for press in 1 2 3; do
        find_window && xdotool windowfocus --sync "$window" 2>/dev/null
        xdotool key alt+F4
        tries=50
        while kill -0 "$app_pid" 2>/dev/null && [ "$tries" -gt 0 ]; do
            sleep 0.2
            tries=$((tries - 1))
        done
        kill -0 "$app_pid" 2>/dev/null || break
        echo "window test: quorvel.exe still runs 10 s after Alt+F4, pressing it again" >&2
    done
    if kill -0 "$app_pid" 2>/dev/null; then
        fail "quorvel.exe still runs 30 s after Alt+F4"
        kill "$app_pid" 2>/dev/null
        app_pid=
        return 1
    fi
    wait "$app_pid" || status=$?
    app_pid=
    [ "$status" -eq 0 ] || { cat "$work/app.log" >&2; fail "quorvel.exe ended with $status"; }
}

check_settings_file() {
    local ini=$1 key
    [ -f "$ini" ] || { fail "no settings file $ini"; return 1; }
    for key in "${SETTINGS_KEYS[@]}"; do
        grep -q "^$key=" "$ini" || { cat "$ini" >&2; fail "settings file lacks $key"; return 1; }
    done
    [ "$(grep -c '=' "$ini")" -eq "${#SETTINGS_KEYS[@]}" ] ||
        { cat "$ini" >&2; fail "settings file does not hold exactly the eleven keys"; return 1; }
}

# The release as a Windows user gets it: a release build (none of the program's own C++ code
# carries debug information, even before stripping; only the MinGW start-up code does), the
# .exe as Windows sees it (scripts/windows-exe-check.sh), and the read-me texts and licences in
# the folder, which must also lie beside the program in the build tree.
check_release() {
    local folder=$1 producers
    grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' build/mingw/CMakeCache.txt ||
        { fail "build/mingw is not a release build"; return 1; }
    producers=$(x86_64-w64-mingw32-objdump --dwarf=info build/mingw/bin/quorvel.exe 2>/dev/null |
        grep DW_AT_producer || true)
    if grep -q 'GNU C++' <<<"$producers"; then
        fail "build/mingw/bin/quorvel.exe: its C++ code was compiled with debug information"
        return 1
    fi
    bash scripts/windows-exe-check.sh "$folder/quorvel.exe" || { fail "quorvel.exe check"; return 1; }
    check_licences "$folder" || return 1
    check_licences build/mingw/bin || return 1
    local text
    for text in OLVASSEL.txt README.txt; do
        if ! grep -q 'Windows 10' "$folder/$text" || ! grep -q 'APPDATA' "$folder/$text"; then
            fail "$text missing or incomplete"
            return 1
        fi
    done
    echo "release build; OLVASSEL.txt, README.txt and the licences in the folder"
}

# check_licences <folder>: each licence text by a line only it holds.
check_licences() {
    local folder=$1/licenses entry file line
    for entry in 'Quorvel.txt:Copyright (c) 2009-2026 Quorvel developers' \
        'LGPL-3.0.txt:GNU LESSER GENERAL PUBLIC LICENSE' 'GPL-3.0.txt:GNU GENERAL PUBLIC LICENSE' \
        'GCC-runtime.txt:GCC RUNTIME LIBRARY EXCEPTION' 'winpthreads.txt:mingw-w64 project' \
        'Qt-third-party.txt:The FreeType Project' \
        'LICENSES.txt:snapshot.debian.org/package/qt6-base/'; do
        file=${entry%%:*}
        line=${entry#*:}
        grep -qF "$line" "$folder/$file" 2>/dev/null ||
            { fail "$folder/$file missing or without '$line'"; return 1; }
    done
}

# The group frames as Windows draws them: with ClearType font smoothing on for the prefix, a
# cached group frame and a plain QGroupBox side by side on Wine's own platform must show the
# same pixels on the screen (text drawn into a transparent image would lose its subpixel
# smoothing and blends unlike text drawn on the window). The smoothing stays on for the window
# test after it, as on a Windows desktop. The screen is saved in build/mingw/screens.
group_frames_on_screen() {
    phase "group frames on a ClearType screen"
    wine_setup reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /t REG_SZ /d 2 /f
    wine_setup reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD /d 2 /f
    wine_setup reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingOrientation /t REG_DWORD \
        /d 1 /f
    mkdir -p build/mingw/screens
    local result=0
    (cd build/mingw/bin && env WINEQT_QPA_PLATFORM=windows \
        QUORVEL_SCREENS='Z:'"$(cd ../screens && pwd)" \
        wine widgets_tests.exe --gtest_filter='CachedGroupBox.*') >"$work/group-frames.log" 2>&1 ||
        result=1
    tr -d '\r' <"$work/group-frames.log" |
        grep -E '^\[ +(OK|FAILED|SKIPPED|note) +\]|Failure|Expected|actual|Which' || true
    [ "$result" -eq 0 ] || { fail "cached and plain group frames differ on the screen"; return 1; }
    grep -q '\[  PASSED  \] [1-9]' <(tr -d '\r' <"$work/group-frames.log") ||
        { fail "the group frame tests did not run"; return 1; }
}

window_end_to_end() {
    phase "window: quorvel.exe under Wine, driven with xdotool"
    start_xvfb || return 1
    group_frames_on_screen || return 1
    start_sim e2e-sim --name "WINE$$C" --mode auto --address 1 --frozen --verbose \
        --status-file "$work/e2e-status.json" || return 1
    # COM5 now leads to this simulator (the port mapping is read when the server starts).
    wineserver -k
    wineserver -w
    wine_setup reg add 'HKLM\Software\Wine\Ports' /v "$COM_PORT" /t REG_SZ /d "$sim_pty" /f
    wineserver -w
    local app="$work/e2e"
    unpack_dist "$app" || return 1
    check_release "$app/quorvel-win64" || return 1
    start_app "$app/quorvel-win64/quorvel.exe" || return 1
    echo "window $window at $win_x,$win_y, ${win_w}x$win_h"

    # The port: open the list, type the name, take it.
    click Combo_Port
    xdotool type --delay 50 "$COM_PORT"
    xdotool key Return
    sleep 0.5

    # ASCII (the default mode): live values and moving counters.
    click Bt_PortOpen
    wait_for 20 "ASCII requests" frames_at_least ascii 20 || return 1
    wait_for 10 "values in the boxes" boxes_show_values || return 1
    counter_moves || { fail "the sent counter does not move"; return 1; }

    # The control reference from the entry field, then virtual input 1.
    click Edit_SetControlRefSignal
    xdotool key ctrl+a
    xdotool type --delay 50 "25"
    click Bt_SendControlRefSignal
    wait_for 10 "the control reference 25 Hz (word 2500)" register_is F510 2500 || return 1
    click Bt_VirtualInput1
    wait_for 10 "virtual input 1 on" register_is F508 1 || return 1
    import -window root -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage \
        build/mingw/window-ascii.png
    click Bt_PortClose
    wait_for 10 "the port closed" no_more_requests || return 1
    local ascii_frames
    ascii_frames=$(frames_in ascii)

    # RTU: the mode change, live values again, the screenshot.
    click Radio_ModeRTU
    click Bt_PortOpen
    wait_for 20 "RTU requests" frames_at_least rtu 20 || return 1
    wait_for 10 "values in the boxes" boxes_show_values || return 1
    counter_moves || { fail "the sent counter does not move in RTU"; return 1; }
    sleep 1
    import -window root -crop "${win_w}x${win_h}+${win_x}+${win_y}" +repage "$SCREENSHOT"
    click Bt_PortClose
    wait_for 10 "the port closed" no_more_requests || return 1

    close_app || return 1
    local ini="$app/quorvel-win64/quorvel.ini"
    check_settings_file "$ini" || return 1
    # Written on Windows, every line ends in CR LF, as the platform's profile functions write it.
    if grep -q $'[^\r]$' "$ini"; then
        cat -A "$ini" >&2
        fail "settings file has lines without CR LF"
        return 1
    fi
    local text
    text=$(tr -d '\r' <"$ini")
    if ! grep -qx "Port=$COM_PORT" <<<"$text" || ! grep -qx 'Mode=4' <<<"$text"; then
        cat "$ini" >&2
        fail "settings file does not hold the port and RTU"
        return 1
    fi
    echo "window test passed: $ascii_frames ASCII and $(( $(frames_in rtu) )) RTU requests" \
         "($(status_value replies_good) good replies), reference and input written," \
         "settings file with ${#SETTINGS_KEYS[@]} keys; screenshot $SCREENSHOT"
}

fresh_prefix_start() {
    phase "portable zip: start in a fresh Wine prefix"
    local lane_prefix=$WINEPREFIX
    export WINEPREFIX="$work/fresh-prefix"
    fresh_prefix=$WINEPREFIX # for the lane's cleanup
    wineboot -i >>"$work/wine-setup.log" 2>&1
    wineserver -w
    local folder="$WINEPREFIX/drive_c/Quorvel" status=0
    unpack_dist "$folder" &&
        # Started from an empty folder, so only the zip's own files can be found.
        { start_app "$folder/quorvel-win64/quorvel.exe" || { cat "$work/app.log" >&2; false; }; } &&
        close_app && check_settings_file "$folder/quorvel-win64/quorvel.ini" || status=1
    # Also after a failure: nothing of this prefix may stay on the screen for the next test.
    wineserver -k
    wineserver -w
    export WINEPREFIX=$lane_prefix
    [ "$status" -eq 0 ] || return 1
    echo "portable zip: $(du -k "$DIST_ZIP" | cut -f1) KiB, started and closed in a fresh prefix"
}
