#!/usr/bin/env bash
# The settings as the people who use the console keep them. CI runs every other test as root,
# whose privilege passes each permission check, so here, as root:
#  1. the settings tests and the window's closing and message-dialog tests run once more as an
#     ordinary user made for the run (quorvel-ci, home in a temporary folder), from a private copy
#     of the already built test programs;
#  2. the release console is installed under /usr/local/lib with an administrator's quorvel.ini
#     beside it and operated on a virtual X screen with a window manager (Xvfb + openbox), closed
#     with Alt+F4: by that user (the settings land in ~/.config/quorvel, the administrator's file
#     gives the starting values and stays as it was); by that user with a write-protected file of
#     their own (the error dialog "Hiba!" is on the screen, the file stays); by root (root's own
#     ~/.config, never the file under /usr/local/lib); and by root with the user's HOME and
#     XDG_CONFIG_HOME, as sudo -E starts it (nothing is created in the user's home).
# Needs the release build (scripts/test.sh). Leaves screens in build/release/settings-users/.
# Root's own ~/.config/quorvel is put back as it was. About 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "settings-users: run as root (it makes a user)" >&2; exit 2; }
source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${WINDOW_PACKAGES[@]}"
start=$(date +%s)

build=build/release
tests=("$build/tests/settings/settings_tests" "$build/tests/gui/quorvel_window_tests"
       "$build/tests/widgets/widgets_tests" "$build/src/gui/quorvel")
for file in "${tests[@]}"; do
    [ -x "$file" ] || { echo "settings-users: $file is not built (scripts/test.sh)" >&2; exit 1; }
done

user=quorvel-ci
program=/usr/local/lib/quorvel-settings-ci
shots=$PWD/$build/settings-users
work=$(mktemp -d /tmp/quorvel-users.XXXXXX)
home=$work/home
root_config=$(getent passwd root | cut -d: -f6)/.config
root_backup=$work/root-config-quorvel
root_config_made=0
status=0

# shellcheck disable=SC2317 # invoked by the EXIT trap
cleanup() {
    set +e
    rm -rf "$program"
    rm -rf "$root_config/quorvel"
    [ -d "$root_backup" ] && mv "$root_backup" "$root_config/quorvel"
    [ "$root_config_made" -eq 1 ] && rmdir "$root_config" 2>/dev/null
    id "$user" >/dev/null 2>&1 && userdel "$user" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "settings-users: $*" >&2
    status=1
}

chmod 755 "$work"
id "$user" >/dev/null 2>&1 && userdel "$user"
useradd --create-home --home-dir "$home" --user-group --shell /bin/sh "$user"
mkdir -p "$work/bin" "$work/run" "$work/shots" "$shots"
install -m 755 "${tests[@]}" "$work/bin/"
chown "$user:" "$work/run" "$work/shots"
chmod 700 "$work/run"

# as_user <command...>: the command as the user, with a plain environment of their own.
as_user() {
    runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" LANG=C.UTF-8 \
        PATH=/usr/local/bin:/usr/bin:/bin XDG_RUNTIME_DIR="$work/run" TMPDIR=/tmp "$@"
}

echo "== settings and closing tests as $user"
as_user QT_QPA_PLATFORM=offscreen "$work/bin/settings_tests" --gtest_brief=1 ||
    fail "settings tests failed as $user"
as_user QT_QPA_PLATFORM=offscreen "$work/bin/quorvel_window_tests" --gtest_brief=1 \
    --gtest_filter='ClosingTest.*:ClosingPosixTest.*:StartupTest.*' ||
    fail "window closing tests failed as $user"
as_user QT_QPA_PLATFORM=offscreen "$work/bin/widgets_tests" --gtest_brief=1 \
    --gtest_filter='MessageDialog*' || fail "message dialog tests failed as $user"

echo "== the installed console, operated as $user and as root"
rm -rf "$program"
install -d -m 755 "$program"
install -m 755 "$work/bin/quorvel" "$program/quorvel"
printf '[Quorvel]\nPort=KELMAR9\nBaudrate=9600\n' >"$program/quorvel.ini"
chmod 644 "$program/quorvel.ini"
admin_sum=$(sha256sum <"$program/quorvel.ini")

# Runs inside xvfb-run: a window manager, the console, Alt+F4; with "dialog" the error dialog
# must come up, is photographed and closed with Return. Exit 0 when the console ended.
cat >"$work/operate.sh" <<'EOF'
set -u
program=$1 shot=$2 expect=$3
# The window manager keeps its log and looks for its settings in a folder of its own, so that
# only the console's files show up in the homes checked.
wm_home=$(mktemp -d)
env HOME="$wm_home" XDG_CACHE_HOME="$wm_home" XDG_CONFIG_HOME="$wm_home" openbox >/dev/null 2>&1 &
wm=$!
sleep 1
"$program/quorvel" >"$shot.log" 2>&1 &
console=$!
window=$(timeout 20 xdotool search --sync --name '^Quorvel Kelmar ') || exit 3
sleep 0.5
xdotool windowactivate --sync "$window"
xdotool key alt+F4
if [ "$expect" = dialog ]; then
    dialog=$(timeout 10 xdotool search --sync --name '^Hiba!$') || { import -window root "$shot-no-dialog.png"; exit 4; }
    sleep 0.5
    import -window root "$shot.png"
    xdotool windowactivate --sync "$dialog" key Return
fi
for _ in $(seq 100); do kill -0 "$console" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$console" 2>/dev/null; then
    import -window root "$shot-not-closed.png"
    kill "$console"
    exit 5
fi
kill "$wm" 2>/dev/null
rm -rf "$wm_home"
exit 0
EOF
chmod 755 "$work/operate.sh"

# operate <who: user|root> <name> <expect: closes|dialog> [environment...]
operate() {
    local who=$1 name=$2 expect=$3
    shift 3
    local run=(xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash "$work/operate.sh" "$program"
               "$work/shots/$name" "$expect")
    local result=0
    if [ "$who" = user ]; then
        as_user "$@" "${run[@]}" || result=$?
    else
        env -u XDG_CONFIG_HOME LANG=C.UTF-8 XDG_RUNTIME_DIR="$work/root-run" "$@" "${run[@]}" ||
            result=$?
    fi
    cp "$work/shots/$name"* "$shots/" 2>/dev/null || true
    [ "$result" -eq 0 ] || fail "$name: operating the console failed ($result); its output:
$(cat "$work/shots/$name.log" 2>/dev/null)"
}

owner_mode() { stat -c '%U %a' "$1"; }

own="$home/.config/quorvel/quorvel.ini"
operate user installed-first closes
if [ ! -f "$own" ]; then
    fail "installed-first: no $own"
else
    if ! grep -qx 'Baudrate=9600' "$own" || ! grep -qx 'Port=KELMAR9' "$own"; then
        fail "installed-first: the administrator's values did not carry over: $(cat "$own")"
    fi
    [ "$(owner_mode "$home/.config/quorvel")" = "$user 700" ] ||
        fail "installed-first: ~/.config/quorvel is $(owner_mode "$home/.config/quorvel")"
    [ "$(owner_mode "$home/.config")" = "$user 700" ] ||
        fail "installed-first: ~/.config is $(owner_mode "$home/.config")"
fi

chmod 444 "$own"
own_sum=$(sha256sum <"$own")
operate user write-protected dialog
[ "$(sha256sum <"$own")" = "$own_sum" ] || fail "write-protected: the user's file changed"
chmod 644 "$own"

mkdir -m 700 "$work/root-run"
if [ -d "$root_config/quorvel" ]; then mv "$root_config/quorvel" "$root_backup"; fi
[ -d "$root_config" ] || root_config_made=1
operate root root closes HOME="$(dirname "$root_config")"
grep -qx 'Baudrate=9600' "$root_config/quorvel/quorvel.ini" 2>/dev/null ||
    fail "root: no settings of root's own in $root_config/quorvel"

before=$(find "$home" -printf '%u %m %p\n' | sort)
operate root sudo-E closes HOME="$home" XDG_CONFIG_HOME="$home/.config"
after=$(find "$home" -printf '%u %m %p\n' | sort)
[ "$before" = "$after" ] || fail "sudo-E: the user's home changed:
$(diff <(echo "$before") <(echo "$after"))"
grep -q "XDG_CONFIG_HOME $home/.config is not this user's" "$work/shots/sudo-E.log" ||
    fail "sudo-E: stderr does not say why the user's folder was passed over"
grep -q "settings are kept in $root_config/quorvel/quorvel.ini" "$work/shots/sudo-E.log" ||
    fail "sudo-E: stderr does not say where the settings went"

[ "$(sha256sum <"$program/quorvel.ini")" = "$admin_sum" ] ||
    fail "the administrator's file under $program changed"
left=$(find "$program" -mindepth 1 -printf '%f\n' | sort | tr '\n' ' ')
[ "$left" = "quorvel quorvel.ini " ] || fail "something was written under $program: $left"

echo "settings-users finished in $(( $(date +%s) - start )) s (status $status)"
exit "$status"
