#!/usr/bin/env bash
# The real window, operated as a person does on a desktop (Xvfb with openbox, xdotool), with two
# FTDI adapters: the stand-in D2XX library, which numbers adapters by their place among those
# plugged in, as the driver does. Adapter A is wired to one simulated drive, B to another
# (kelmar-sim, RTU). The console polls USB1 = A; A is pulled and the driver moves B into its
# place; later A is plugged in again and comes back as USB2. Required: polling resumes on A, no
# request ever reaches B, and the drop-down shows A as USB2 (the settings file keeps it).
# Screens are read from the X server (import -window root) into the shot folder when given.
# Usage: adapter_replug_window.sh QUORVEL KELMAR_SIM FAKE_LIBFTD2XX [SHOT_FOLDER]
set -euo pipefail
console=$1
simulator=$2
fake=$3
shots=${4:-}

fail() {
    echo "adapter_replug_window: $*" >&2
    for log in "$work"/*.log "$work"/*.err; do
        [ -s "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }
    done
    exit 1
}

for tool in Xvfb openbox xdotool import; do
    command -v "$tool" >/dev/null || { echo "adapter_replug_window: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 0700 "$work/run" "$work/simrun"

# Requests a simulated drive has answered so far (its status file, rewritten after each).
requests() { sed -n 's/.*"counts":{"requests":\([0-9]*\).*/\1/p' "$work/$1.json"; }
# Waits up to $2 seconds for command $1 to succeed.
wait_for() {
    for _ in $(seq $(($2 * 10))); do eval "$1" && return 0; sleep 0.1; done
    return 1
}
shot() { [ -z "$shots" ] || import -display "$DISPLAY" -window root "$shots/$1.png"; }
# Plugged adapters as the stand-in reads them at every call: SERIAL@LINE@PLUG.
plug() { echo "$*" >"$work/adapters.new" && mv "$work/adapters.new" "$work/adapters"; }

for drive in A B; do
    XDG_RUNTIME_DIR=$work/simrun "$simulator" --name "DRIVE$drive" --mode rtu --frozen \
        --reference 50 --status-file "$work/$drive.json" >"$work/$drive.out" 2>"$work/$drive.err" &
    pids+=($!)
done
wait_for 'grep -q "^port DRIVEA$" "$work/A.out" && grep -q "^port DRIVEB$" "$work/B.out"' 10 ||
    fail "the simulated drives did not start"
lineA=$(sed -n 's/^pty //p' "$work/A.out")
lineB=$(sed -n 's/^pty //p' "$work/B.out")

mkdir "$work/lib" "$work/app"
ln -s "$(realpath "$fake")" "$work/lib/libftd2xx.so"
plug "FTA0001@$lineA@1 FTB0002@$lineB@1"
# A private copy of the console: its settings file lies beside it. RTU at 19200 baud, a 4
# character period (3 ms).
cp "$console" "$work/app/quorvel"
printf '[Quorvel]\nLeft=0\nTop=0\nPort=USB1\nBaudrate=19200\nMode=4\nAddress=1\nTimerASCII=50\nTimerRTU=4\nDiagram=0\nMax=5\nMessages=0\n' \
    >"$work/app/quorvel.ini"

Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp -noreset 5>"$work/display" 2>"$work/xvfb.err" &
pids+=($!)
wait_for '[ -s "$work/display" ]' 10 || fail "Xvfb did not start"
export DISPLAY=:$(head -n1 "$work/display")
openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
wait_for 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' 10 ||
    fail "openbox did not start"

# The real platform, whatever the tests around it chose (offscreen).
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=$work/run LD_LIBRARY_PATH=$work/lib QUORVEL_FAKE_FTDI_LIST=$work/adapters \
    "$work/app/quorvel" >"$work/quorvel.log" 2>&1 &
console_pid=$!
pids+=("$console_pid")
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^Quorvel Kelmar ' | head -n1) ||
    fail "the console window did not appear"
sleep 1
# The window's own height less the client area (270) is the menu bar; openbox frames it outside.
eval "$(xdotool getwindowgeometry --shell "$window")"
menu=$((HEIGHT - 270))
[ "$menu" -gt 0 ] || fail "unexpected window height $HEIGHT"
xdotool mousemove --window "$window" 78 $((menu + 110)) click 1 # "Nyit"
wait_for '[ "$(requests A)" -gt 0 ]' 10 || fail "\"Nyit\" did not start polling adapter A"
sleep 1
shot replug-1-polling-A

plug "FTB0002@$lineB@1" # A pulled: B is USB1 now
sleep 2
pulled=$(requests A)
sleep 2
[ "$(requests B)" -eq 0 ] || fail "$(requests B) requests reached adapter B after A was pulled"
[ "$(requests A)" -eq "$pulled" ] || fail "adapter A was polled while pulled"
shot replug-2-A-pulled

plug "FTB0002@$lineB@1 FTA0001@$lineA@2" # A back, after B: USB2
wait_for '[ "$(requests A)" -gt "$pulled" ]' 10 || fail "polling did not resume on adapter A"
sleep 2
[ "$(requests B)" -eq 0 ] || fail "$(requests B) requests reached adapter B after A came back"
resumed=$(( $(requests A) - pulled ))
shot replug-3-A-back
xdotool mousemove --window "$window" 160 $((menu + 35)) click 1 # the drop-down, opened
sleep 1
shot replug-4-port-list
xdotool key Escape
sleep 0.3

xdotool mousemove --window "$window" 300 $((menu + 150)) key alt+F4
wait_for '! kill -0 "$console_pid" 2>/dev/null' 10 || fail "the console did not close on Alt+F4"
grep -qx 'Port=USB2' "$work/app/quorvel.ini" ||
    fail "the settings keep $(grep '^Port=' "$work/app/quorvel.ini"), not USB2"
echo "adapter A polled again ($resumed requests within 2 s of its return, as USB2); adapter B: 0 requests"
