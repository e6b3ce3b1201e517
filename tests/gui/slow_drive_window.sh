#!/usr/bin/env bash
# The real window against a drive that takes a real drive's 15 ms to answer, polled at the 2 ms
# RTU tick (38400 baud, 4 character times), operated and read from outside as an operator would:
# kelmar-sim --frozen --reference 50 --inputs 1 --turnaround-ms 15, the console under Xvfb with
# openbox, "Nyit" pressed with xdotool, and the boxes read back from screenshots of the X server
# (OCR for the numbers, a mark or none for the virtual inputs). Every box must show its own
# register: 50.00 Hz, 12.0 A, 50.00 Hz, input 1 only, and no request left without an answer.
# Usage: slow_drive_window.sh <quorvel> <kelmar-sim> [folder for the screenshots]
set -euo pipefail

for tool in xvfb-run openbox xdotool xwininfo xprop import convert tesseract; do
    command -v "$tool" >/dev/null || { echo "slow drive window: needs $tool" >&2; exit 1; }
done
QUORVEL_SOURCE=$1
KELMAR_SIM=$2
SHOTS=${3:-}
WORK=$(mktemp -d)
export WORK
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill -TERM "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT

# Both the simulator and the console find the port in a private runtime folder.
export XDG_RUNTIME_DIR="$WORK/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
port="SLOW$$"
"$KELMAR_SIM" --name "$port" --frozen --reference 50 --inputs 1 --turnaround-ms 15 \
    --status-file "$WORK/status.json" >"$WORK/sim.out" 2>"$WORK/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q "^port $port\$" "$WORK/sim.out" && break
    sleep 0.1
done
grep -q "^port $port\$" "$WORK/sim.out" || { cat "$WORK"/sim.* >&2; exit 1; }

# A private copy of the console keeps its settings file beside it: the simulator's port, RTU at
# 38400 baud and 4 character times, no chart or log, the window at the screen's corner.
mkdir "$WORK/console"
cp "$QUORVEL_SOURCE" "$WORK/console/quorvel"
printf '%s\n' '[Quorvel]' Left=0 Top=0 "Port=$port" Baudrate=38400 Mode=4 Address=1 \
    TimerASCII=10 TimerRTU=4 Diagram=0 Max=5 Messages=0 >"$WORK/console/quorvel.ini"

# Runs inside xvfb-run.
cat >"$WORK/operate.sh" <<'EOF'
set -euo pipefail
CLIENT_HEIGHT=270 # the client area below the menu bar, chart and log hidden
# Boxes inside the client area: x y width height.
declare -A BOX=(
    [Edit_SentMessage]="575 25 71 21" [Edit_RecMessage]="575 50 71 21"
    [Edit_NoAnswer]="575 75 71 21" [Edit_ErrorMessage]="575 100 71 21" [Edit_Error]="575 125 71 21"
    [Edit_Frequency]="130 153 66 21" [Edit_MotorCurrent]="130 178 66 21"
    [Edit_ControlRefSignal]="130 203 66 21"
)
for k in 1 2 3 4 5 6; do BOX[Edit_VirtualInput$k]="$((116 + 14 * k)) 228 14 21"; done

fail() {
    echo "slow drive window: $*" >&2
    import -window root "$WORK/failure.png" 2>/dev/null || true
    exit 1
}
requests() { sed -n 's/.*"requests":\([0-9]*\).*/\1/p' "$WORK/status.json"; }
# crop <screenshot> <box> <file>
crop() {
    read -r x y w h <<<"${BOX[$2]}"
    convert "$1" -crop "${w}x${h}+$((client_x + x))+$((client_y + y))" +repage "$3"
}
# The number in a box: the inside (frame shaved off), four times larger, black on white.
read_number() {
    crop "$1" "$2" "$WORK/box.png"
    convert "$WORK/box.png" -shave 3x3 -colorspace Gray -resize 400% -threshold 55% "$WORK/big.png"
    tesseract "$WORK/big.png" - --psm 7 -c tessedit_char_whitelist=0123456789. 2>/dev/null |
        tr -d '[:space:]'
}
# A virtual input box shows a mark when its inside holds more than its background colour.
marked() {
    crop "$1" "$2" "$WORK/box.png"
    [ "$(convert "$WORK/box.png" -shave 3x3 -format '%k' info:)" -gt 1 ]
}

openbox >"$WORK/openbox.log" 2>&1 &
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
(cd "$WORK/console" && exec env -u QT_QPA_PLATFORM LC_ALL=C.UTF-8 ./quorvel) \
    >"$WORK/quorvel.log" 2>&1 &
console=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Quorvel Kelmar ' | head -n1)
[ -n "$window" ] || fail "the console window did not appear"
sleep 1
# xwininfo gives the framed window's place on the screen; the menu bar lies above the client.
info=$(xwininfo -id "$window")
client_x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
client_y=$(($(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info") + \
    $(sed -n 's/.*Height: *//p' <<<"$info") - CLIENT_HEIGHT))
before=$(requests)
xdotool mousemove --sync $((client_x + 78)) $((client_y + 110)) click 1 # "Nyit"
for _ in $(seq 150); do
    [ "$(requests)" -ge 200 ] && break
    sleep 0.2
done
[ "$before" -eq 0 ] && [ "$(requests)" -ge 200 ] ||
    fail "no polling after \"Nyit\": $before requests before, $(requests) after"

for shot in 1 2 3; do
    import -window root "$WORK/screen$shot.png"
    got=""
    for box in Edit_Frequency Edit_MotorCurrent Edit_ControlRefSignal Edit_SentMessage \
        Edit_NoAnswer Edit_ErrorMessage Edit_Error; do
        got+="$box=$(read_number "$WORK/screen$shot.png" "$box") "
    done
    for k in 1 2 3 4 5 6; do
        if marked "$WORK/screen$shot.png" "Edit_VirtualInput$k"; then got+="input$k=X "; fi
    done
    echo "screen $shot: $got"
    echo "$got" >>"$WORK/readings"
    sleep 1
done
kill "$console"
wait "$console" 2>/dev/null || true
EOF

status=0
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash "$WORK/operate.sh" || status=$?
if [ -n "$SHOTS" ]; then
    mkdir -p "$SHOTS"
    cp "$WORK"/screen*.png "$WORK"/failure.png "$SHOTS/" 2>/dev/null || true
fi
if [ "$status" -ne 0 ]; then
    cat "$WORK/quorvel.log" >&2
    exit "$status"
fi

# Each screen: the drive's own values, input 1 alone marked, every request answered (the one in
# flight aside), no bad frame and no exception reply.
failed=0
while read -r line; do
    declare -A seen=()
    for pair in $line; do seen[${pair%%=*}]=${pair#*=}; done
    problems=""
    for expected in Edit_Frequency=50.00 Edit_MotorCurrent=12.0 Edit_ControlRefSignal=50.00 \
        Edit_ErrorMessage=0 Edit_Error=0 input1=X; do
        [ "${seen[${expected%%=*}]:-}" = "${expected#*=}" ] || problems+=" $expected"
    done
    for k in 2 3 4 5 6; do [ -z "${seen[input$k]:-}" ] || problems+=" input$k empty"; done
    case "${seen[Edit_NoAnswer]:-}" in 0 | 1) ;; *) problems+=" Edit_NoAnswer=0 or 1" ;; esac
    [ "${seen[Edit_SentMessage]:-0}" -ge 200 ] 2>/dev/null || problems+=" Edit_SentMessage>=200"
    if [ -n "$problems" ]; then
        echo "slow drive window: the screen showed: $line" >&2
        echo "slow drive window: expected:$problems" >&2
        failed=1
    fi
    unset seen
done <"$WORK/readings"
[ "$failed" -eq 0 ] || exit 1
echo "slow drive window: every box showed its own register on three screens"
