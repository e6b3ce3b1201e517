# shellcheck shell=bash disable=SC2034 # xvfb_pid: for the caller
# Sourced by the scripts and tests that need a private X screen.
# start_private_xvfb <folder>: starts Xvfb (1280x1024x24, no TCP) on a display it picks itself,
# keeping its log and display file in <folder>; sets xvfb_pid and DISPLAY (not exported). When the
# server does not come up within 10 s it shows the server's log and returns 1.
# -noreset: by default the server resets when its last client leaves (a readiness probe such as
# xprop) and drops a client still connecting at that moment, as the window manager started next.
start_private_xvfb() {
    local folder=$1
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$folder/xvfb.display" \
        2>"$folder/xvfb.log" &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$folder/xvfb.display" ] && break
        sleep 0.1
    done
    [ -s "$folder/xvfb.display" ] || { cat "$folder/xvfb.log" >&2; return 1; }
    DISPLAY=":$(head -n1 "$folder/xvfb.display")"
}
