#!/usr/bin/env bash
# Builds the console and the drive simulator (the app preset: no tests, benchmarks or fuzzers,
# so none of their tools is needed) and starts the console against the simulator.
# Installs the Debian packages it needs when missing.
# KELMAR_SIM_ARGS: extra arguments for kelmar-sim, split at spaces (e.g. "--verbose").
set -euo pipefail
cd "$(dirname "$0")/.."

# The console is a desktop window: without a display, say what to do before installing anything.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set); nothing was installed." >&2
    echo "Run it on a desktop session, or from a desktop machine over ssh -X, or, only to see" >&2
    echo "it build and start, under a virtual X server:" >&2
    echo "    sudo apt-get install xvfb xauth && xvfb-run -a bash scripts/run.sh" >&2
    exit 2
fi

source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}"

read -r -a sim_args <<<"${KELMAR_SIM_ARGS:-}"

cmake --preset app >/dev/null
cmake --build --preset app --target quorvel kelmar-sim

console=build/app/src/gui/quorvel
simulator=build/app/tools/kelmar-sim/kelmar-sim
settings=build/app/src/gui/quorvel.ini
port=KELMAR1

# A first run gets a settings file that selects the simulator's port; an existing file (the
# operator's own choices) is never touched.
if [ ! -e "$settings" ]; then
    printf '[Quorvel]\nPort=%s\n' "$port" >"$settings"
    echo "Created $settings selecting port $port."
elif ! grep -qix "Port=$port" "$settings"; then
    echo "Keeping your $settings: pick $port under \"Soros port:\" to reach the simulator."
fi

sim_log=$(mktemp)
"$simulator" --name "$port" --reference 50 "${sim_args[@]}" >"$sim_log" 2>&1 &
sim_pid=$!
stop_simulator() {
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    rm -f "$sim_log"
}
trap stop_simulator EXIT

for _ in $(seq 100); do
    grep -q "^port " "$sim_log" && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
        echo "kelmar-sim did not start:" >&2
        cat "$sim_log" >&2
        exit 1
    fi
    sleep 0.1
done
if ! grep -q "^port " "$sim_log"; then
    echo "kelmar-sim did not register its port in time:" >&2
    cat "$sim_log" >&2
    exit 1
fi
grep -E "^(pty|port) " "$sim_log"
echo "Simulated drive on port $port (slave address 1, reference 50 Hz)."
echo "Press \"Nyit\" to start polling; virtual input \"1\" runs the motor toward the reference."

"$console"
