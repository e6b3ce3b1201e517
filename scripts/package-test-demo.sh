#!/usr/bin/env bash
# The README's two-terminal demo, driven as an operator would: kelmar-sim --reference 50
# --inputs 1, then quorvel under xvfb-run; pick KELMAR1, press "Nyit", check that replies reach
# the console, close it with Alt+F4 and check the settings file in the user's config folder.
# scripts/package-test.sh runs it as a normal user inside the install-test root. Outside it:
#   QUORVEL_BIN=... KELMAR_SIM_BIN=... QUORVEL_SETTINGS=... bash scripts/package-test-demo.sh
# Screens (X window dumps) are left in $QUORVEL_SHOT_DIR when set.
set -euo pipefail

export QUORVEL=${QUORVEL_BIN:-quorvel}
kelmar_sim=${KELMAR_SIM_BIN:-kelmar-sim}
settings=${QUORVEL_SETTINGS:-${XDG_CONFIG_HOME:-$HOME/.config}/quorvel/quorvel.ini}
WORK=$(mktemp -d)
export WORK SHOTS=${QUORVEL_SHOT_DIR:-$WORK}
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then kill -TERM "$sim_pid" 2>/dev/null || true; fi
    rm -rf "$WORK"
}
trap cleanup EXIT

[ ! -e "$settings" ] || { echo "demo: $settings exists before the first run" >&2; exit 1; }
"$kelmar_sim" --reference 50 --inputs 1 --status-file "$WORK/status.json" >"$WORK/sim.out" \
    2>"$WORK/sim.err" &
sim_pid=$!
for _ in $(seq 50); do
    grep -q '^port KELMAR1$' "$WORK/sim.out" && break
    sleep 0.1
done
grep -q '^port KELMAR1$' "$WORK/sim.out" || { cat "$WORK"/sim.* >&2; exit 1; }
echo "   kelmar-sim: $(tr '\n' ' ' <"$WORK/sim.out")"

# Runs inside xvfb-run: start the console, operate it, close it.
cat >"$WORK/operate.sh" <<'EOF'
set -euo pipefail
requests() { sed -n 's/.*"counts":{"requests":\([0-9]*\).*/\1/p' "$WORK/status.json"; }
shot() { cp "$WORK/fb/Xvfb_screen0" "$SHOTS/$1.xwd" 2>/dev/null || true; }
"$QUORVEL" >"$WORK/quorvel.log" 2>&1 &
console=$!
window=$(timeout 20 xdotool search --sync --name '^Quorvel Kelmar ')
sleep 1
# Open the port list ("Soros port:"), type the simulator's port name, take it.
xdotool mousemove --window "$window" 160 45 click 1
sleep 0.5
xdotool type KELMAR1
xdotool key Return
sleep 0.3
before=$(requests)
xdotool mousemove --window "$window" 78 120 click 1 # "Nyit"
sleep 4
after=$(requests)
shot quorvel-running
echo "$before $after" >"$WORK/counts"
xdotool mousemove --window "$window" 300 150 key alt+F4 # "Kilépés"
for _ in $(seq 100); do kill -0 "$console" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$console" 2>/dev/null; then
    shot quorvel-not-closed
    echo "demo: quorvel did not exit within 10 s of Alt+F4" >&2
    kill "$console"
    exit 1
fi
wait "$console"
EOF
mkdir "$WORK/fb"
xvfb-run -a -s "-screen 0 1024x768x24 -noreset -fbdir $WORK/fb" bash "$WORK/operate.sh" ||
    { echo "demo: operating the console failed; its output:" >&2; cat "$WORK/quorvel.log" >&2; exit 1; }
kill -TERM "$sim_pid"
wait "$sim_pid" || true
sim_pid=
summary=$(grep '^summary ' "$WORK/sim.out")
echo "   $summary"
read -r before after <"$WORK/counts"
good=$(sed -n 's/.*"replies_good":\([0-9]*\).*/\1/p' <<<"$summary")
# One request is outstanding at a time: the next follows a tick (55 ms) after a reply was taken,
# but only five ticks after a reply that never reached the console. 4 s give about 70 requests
# with replies arriving and at most 15 without.
if [ "$before" -ne 0 ] || [ $((after - before)) -lt 35 ] || [ "$good" -lt 35 ]; then
    echo "demo: no live values: $before requests before \"Nyit\", $after 4 s after, $good answered" >&2
    exit 1
fi
echo "   $((after - before)) requests in the 4 s after \"Nyit\", $good answered"
if ! grep -qx 'Port=KELMAR1' "$settings" 2>/dev/null; then
    echo "demo: no settings file $settings with Port=KELMAR1 after closing" >&2
    exit 1
fi
echo "   settings written at close: $settings ($(grep -c = "$settings") keys)"
