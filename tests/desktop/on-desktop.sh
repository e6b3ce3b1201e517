#!/usr/bin/env bash
# Runs a command on a desktop of its own: a private Xvfb screen managed by openbox, with the Qt
# programs on the xcb platform. Stops the window manager and the X server it started, also
# when the command fails; exits with the command's status.
# Usage: on-desktop.sh <command> [arguments...]
set -euo pipefail

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-desktop.XXXXXX")
xvfb_pid=
wm_pid=
# shellcheck disable=SC2317 # invoked by the EXIT trap
cleanup() {
    local status=$?
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# shellcheck source=scripts/xvfb.sh
source "$(dirname "$0")/../../scripts/xvfb.sh"
start_private_xvfb "$work" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY
# Taking connections once it answers a request.
for _ in $(seq 100); do
    xprop -root >/dev/null 2>&1 && break
    sleep 0.1
done

# The window manager keeps its settings and logs in the private folder.
mkdir -m 700 "$work/runtime"
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# Ready once it has announced itself on the root window (EWMH).
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' ||
    { cat "$work/openbox.log" >&2; echo "openbox did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=xcb
# The desktop has no session bus; one reached from outside would only let the toolkit's bus
# code (whose connection set-up leaks inside libdbus) into the sanitizer runs.
export DBUS_SESSION_BUS_ADDRESS=disabled:
"$@"
