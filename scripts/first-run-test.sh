#!/usr/bin/env bash
# The README's first command as a newcomer meets it: in a fresh minimal Debian 12 root
# (scripts/ci-root.sh) with an X server and nothing else, a normal user with sudo runs
# `bash scripts/run.sh` in a clean clone. run.sh must install what it needs, build, and show the
# console against the simulator. From outside the root: the window must appear, "Nyit" is
# pressed with xdotool, the simulator must be asked (its status file counts the requests),
# Alt+F4 closes the window, run.sh must exit 0 and nothing may be left running in the root.
# Usage: scripts/first-run-test.sh [REPOSITORY [COMMIT]]   (as root; CI runs it after
#        scripts/package-test.sh, which makes the cached root). Default: this clone's HEAD.
# The X server (Xvfb, with openbox as the desktop's window manager) runs outside the root; only
# its socket is bound in. run.sh's output, time-stamped, and screens land in
# build/first-run-test/. QUORVEL_FIRST_RUN_TIMEOUT: seconds allowed until the window appears
# (default 900).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/xvfb.sh
source scripts/ci-root.sh
bash scripts/deps.sh "${ROOT_TEST_PACKAGES[@]}"
[ "$(id -u)" -eq 0 ] || { echo "first-run-test: needs root (chroot, mounts)" >&2; exit 1; }

started=$(date +%s)
repo=$(realpath "${1:-.}")
commit=$(git -C "$repo" rev-parse --verify "${2:-HEAD}^{commit}")
timeout=${QUORVEL_FIRST_RUN_TIMEOUT:-900}
out=$PWD/build/first-run-test
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
x_pid=
wm_pid=
ci_root_on_cleanup() {
    local pid
    for pid in $wm_pid $x_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
fail() {
    echo "first-run-test: $*" >&2
    echo "== first-run-test FAILED after $(( $(date +%s) - started )) s; run.sh's output and screens in $out" >&2
    exit 1
}

ci_root_make
# A desktop user who may administer the machine: sudo without a password prompt (nobody types),
# and the host name in /etc/hosts, as the Debian installer writes it.
in_root apt-get update -qq
in_root apt-get install -y -qq --no-install-recommends sudo >"$work/sudo.log" 2>&1 ||
    { cat "$work/sudo.log" >&2; fail "cannot install sudo in the root"; }
echo 'tech ALL=(ALL:ALL) NOPASSWD: ALL' >"$root/etc/sudoers.d/tech"
chmod 440 "$root/etc/sudoers.d/tech"
printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$(hostname)" >"$root/etc/hosts"
clone=/home/tech/quorvel
git clone -q --no-checkout "$repo" "$root$clone"
git -C "$root$clone" checkout -q --detach "$commit"
chroot "$root" chown -R tech:tech "$clone"
mkdir -m 777 "$root/tmp/first-run"
echo "   root ready in $(( $(date +%s) - started )) s; clone of $(git -C "$repo" log --oneline -1 "$commit")"

# The desktop: an X server picking a free display, and a window manager.
start_private_xvfb "$work" || fail "Xvfb did not start"
x_pid=$xvfb_pid
display=$DISPLAY
export DISPLAY
socket=/tmp/.X11-unix/X${display#:}
mkdir -p "$root/tmp/.X11-unix" && chmod 1777 "$root/tmp/.X11-unix"
: >"$root$socket"
mount --bind "$socket" "$root$socket"
mounts+=("$root$socket")
HOME=$work openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!

# run.sh as the user types it in a terminal of that desktop; its lines time-stamped in seconds,
# the CPU time of all it ran (apt, dpkg, compilers, the programs) in run.cpu.
echo "== bash scripts/run.sh as user tech on display $display"
t_run=$(date +%s)
status_file=/tmp/first-run/status.json
{
    TIMEFORMAT='%U %S'
    if { time chroot --userspec=tech:tech "$root" /usr/bin/env -i PATH=/usr/local/bin:/usr/bin:/bin \
        HOME=/home/tech USER=tech LOGNAME=tech SHELL=/bin/bash LANG=C.UTF-8 \
        XDG_RUNTIME_DIR=/run/user/1000 DISPLAY="$display" \
        KELMAR_SIM_ARGS="--status-file $status_file" \
        bash -c "cd $clone && exec bash scripts/run.sh" </dev/null 2>&1; } 2>"$work/run.cpu"; then
        echo 0 >"$work/run.status"
    else
        echo "$?" >"$work/run.status"
    fi
} | while IFS= read -r line; do printf '%4d %s\n' $((EPOCHSECONDS - t_run)) "$line"; done \
    >"$out/run.log" &
run_pipe=$!
run_ended() { [ -s "$work/run.status" ]; }
show_log() { echo "-- the last lines of run.sh's output (seconds since it started):" >&2; tail -n "$1" "$out/run.log" >&2; }

window=
while [ $(( $(date +%s) - t_run )) -lt "$timeout" ]; do
    if run_ended; then
        show_log 25
        fail "run.sh exited with status $(cat "$work/run.status") before the window appeared"
    fi
    window=$(xdotool search --name '^Quorvel Kelmar ' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 1
done
[ -n "$window" ] || { show_log 25; fail "no window within $timeout s"; }
t_window=$(date +%s)
# The phases as run.sh printed them: package installation, then configure and build.
installed=$(grep -c ' Setting up ' "$out/run.log" || true)
build_start=$(awk '/ \[ *[0-9]+%\] / { print $1; exit }' "$out/run.log")
build_end=$(awk '/ Simulated drive on port / { print $1; exit }' "$out/run.log")
echo "   window after $((t_window - t_run)) s: $installed packages installed, the build from" \
    "${build_start:-?} s to ${build_end:-?} s"
grep -E '^ *[0-9]+ (Installing Debian packages|Created |pty |port )' "$out/run.log" | cut -c1-200

requests() { sed -n 's/.*"counts":{"requests":\([0-9]*\).*/\1/p' "$root$status_file"; }
answered() { sed -n 's/.*"replies_good":\([0-9]*\).*/\1/p' "$root$status_file"; }
sleep 2
before=$(requests)
import -window root "$out/before-nyit.png"
timeout 10 xdotool windowactivate --sync "$window"
xdotool mousemove --window "$window" 78 120 click 1 # "Nyit"
sleep 4
after=$(requests)
good=$(answered)
import -window root "$out/running.png"
echo "   simulator: $before requests before \"Nyit\", $after 4 s after, $good answered"
# A poll tick is 55 ms: 4 s give about 70 requests; a quarter of that still shows live polling.
if [ "${before:-1}" -ne 0 ] || [ $(( ${after:-0} - before )) -lt 20 ] || [ "${good:-0}" -lt 20 ]; then
    fail "the simulator was not polled after \"Nyit\""
fi

timeout 10 xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
t_close=$(date +%s)
for _ in $(seq 200); do
    run_ended && break
    sleep 0.1
done
run_ended || { import -window root "$out/not-closed.png"; fail "run.sh still runs 20 s after Alt+F4"; }
wait "$run_pipe" || true
read -r cpu_user cpu_system <"$work/run.cpu"
echo "   run.sh exited with status $(cat "$work/run.status") $(( $(date +%s) - t_close )) s after Alt+F4;" \
    "it used ${cpu_user} s user + ${cpu_system} s system CPU in all"
tail -n 2 "$out/run.log"
[ "$(cat "$work/run.status")" -eq 0 ] || fail "run.sh did not exit 0"
left=$(ci_root_processes | while read -r pid; do tr '\0' ' ' <"/proc/$pid/cmdline"; echo; done)
[ -z "$left" ] || fail "still running in the root after run.sh: $left"
[ ! -L "$root/run/user/1000/quorvel/ports/KELMAR1" ] ||
    fail "the simulator's port KELMAR1 is still registered: it was not stopped cleanly"
settings=$root$clone/build/app/src/gui/quorvel.ini
grep -qx 'Port=KELMAR1' "$settings" || fail "no Port=KELMAR1 in $settings after closing"
echo "   nothing left running in the root; the simulator unregistered its port; the console saved" \
    "$(grep -c = "$settings") settings at close"
echo "== first-run-test passed in $(( $(date +%s) - started )) s"
