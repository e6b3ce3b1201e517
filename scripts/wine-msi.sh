# shellcheck shell=bash disable=SC2154,SC2034 # work, window...: set by wine-tests.sh and wine-window.sh
# Windows lane, the installer (sourced by wine-tests.sh, run after the window test on its X
# screen): in a fresh Wine prefix, msiexec installs the MSI quietly; the Start menu shortcut's
# target is started, polls COM5 (a simulator of its own) after "Nyit" is pressed from outside and
# is closed with Alt+F4; the settings must then be in %APPDATA%\Quorvel\quorvel.ini with nothing
# written under Program Files. A package of a higher version, built here from the same files, is
# installed over it: the user's settings stay, and the upgraded program opens COM5 from them.
# msiexec /x must then leave no file under C:\Program Files\Quorvel, no shortcut and no entry in
# the installed programs. msiexec's verbose logs are kept in build/mingw/msi-test/.
# Expects from wine-tests.sh and wine-window.sh: work, COM_PORT, phase, start_sim, fail, wait_for,
# start_app, close_app, click, check_settings_file, frames_in, the X display.

MSI_LOG_DIR=build/mingw/msi-test
DIST_DIR=build/mingw/dist
MSI_NAME=Quorvel
msi_prefix=

# In the current prefix: the Windows path of a Unix one, and back.
win_path() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }
unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }

# msiexec_run <log name> <msiexec arguments...>: runs msiexec quietly with a verbose log.
msiexec_run() {
    local log="$MSI_LOG_DIR/$1.log" status=0
    shift
    wine msiexec "$@" /qn /l*v "$(win_path "$PWD/$log")" >>"$work/msiexec.out" 2>&1 || status=$?
    wineserver -w
    # The log is UTF-16 when msiexec writes it so; keep a plain copy for reading and quoting.
    if [ -f "$log" ] && [ "$(head -c 2 "$log" | od -An -tx1 | tr -d ' ')" = fffe ]; then
        iconv -f UTF-16 -t UTF-8 "$log" | tr -d '\r' >"$log.txt" && mv "$log.txt" "$log"
    fi
    [ "$status" -eq 0 ] || { tail -n 30 "$log" >&2; fail "msiexec $* ended with $status"; }
}

# Installed files and their checksums, by path under the program folder.
program_files_listing() {
    local folder="$WINEPREFIX/drive_c/Program Files/Quorvel"
    [ -d "$folder" ] || return 0
    (cd "$folder" && find . -type f -print0 | sort -z | xargs -0r sha256sum)
}

# The installed-programs entry of Quorvel Kelmar: "<key> <version> <publisher>" per entry.
arp_entries() {
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
        tr -d '\r' | awk '
            /^HKEY_/ { if (name == "Quorvel Kelmar") print key, version, publisher
                       key = $0; name = version = publisher = "" }
            $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
            $1 == "DisplayVersion" { version = $3 }
            $1 == "Publisher" { sub(/^ *Publisher +REG_SZ +/, ""); publisher = $0 }
            END { if (name == "Quorvel Kelmar") print key, version, publisher }'
}

# The shortcut where the installer put it: Windows Installer gives a per-machine package the
# all-users Start menu; Wine 8 gives it the installing user's (its ProgramMenuFolder).
start_menu_link() {
    local menu
    menu=$(sed -nE 's/^Property\(S\): ProgramMenuFolder = (.*)$/\1/p' "$MSI_LOG_DIR/install.log" |
        head -n1)
    echo "$(unix_path "$menu")/Quorvel Kelmar.lnk"
}
common_start_menu_link() {
    echo "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quorvel Kelmar.lnk"
}

# check_installed <version>: the files are the folder's, the shortcut leads to quorvel.exe, the
# installed-programs entry names version, publisher and icon. Sets installed_exe.
check_installed() {
    local version=$1 expected link target entries
    expected=$(cd "$DIST_DIR/quorvel-win64" && find . -type f -print0 | sort -z | xargs -0r sha256sum)
    [ "$(program_files_listing)" = "$expected" ] ||
        { diff <(echo "$expected") <(program_files_listing) >&2; fail "installed files differ from the folder's"; return 1; }
    link=$(start_menu_link)
    [ -f "$link" ] || { fail "no Start menu shortcut \"Quorvel Kelmar\""; return 1; }
    target=$(python3 scripts/shortcut-target.py "$link" | sed -n 's/^target //p')
    [ "${target,,}" = 'c:\program files\quorvel\quorvel.exe' ] ||
        { fail "the shortcut leads to '$target'"; return 1; }
    installed_exe=$(unix_path "$target")
    entries=$(arp_entries)
    [ "$(grep -c . <<<"$entries")" -eq 1 ] ||
        { echo "$entries" >&2; fail "not exactly one installed-programs entry"; return 1; }
    read -r arp_key arp_version arp_publisher <<<"$entries"
    if [ "$arp_version" != "$version" ] || [ "$arp_publisher" != "$MSI_NAME" ]; then
        echo "$entries" >&2
        fail "installed-programs entry: version or publisher wrong"
        return 1
    fi
    check_product_icon "${arp_key##*\\}" || return 1
    echo "installed $version: $(grep -c . <<<"$expected") files as in the folder, shortcut to $target," \
         "installed-programs entry $arp_version by $arp_publisher with the program icon"
}

# The installed-programs icon: Windows Installer keeps ARPPRODUCTICON in its cache and names it
# in the product's registration; it must be the program icon.
check_product_icon() {
    local product=$1 packed icon
    # The registration's key is the product code with each group's hex digits reversed.
    packed=$(python3 -c '
import sys
g = sys.argv[1].strip("{}").split("-")
r = lambda s: s[::-1]
pairs = lambda s: "".join(s[i + 1] + s[i] for i in range(0, len(s), 2))
print((r(g[0]) + r(g[1]) + r(g[2]) + pairs(g[3]) + pairs(g[4])).upper())' "$product")
    icon=$(wine reg query "HKLM\\Software\\Classes\\Installer\\Products\\$packed" /v ProductIcon \
        2>/dev/null | tr -d '\r' | sed -nE 's/^ *ProductIcon +REG_SZ +//p')
    if [ -z "$icon" ] || ! cmp -s "$(unix_path "$icon")" src/gui/icons/quorvel.ico; then
        fail "installed-programs entry has no program icon ('$icon')"
        return 1
    fi
}

appdata_settings() {
    local appdata
    appdata=$(wine cmd /c echo '%APPDATA%' 2>/dev/null | tr -d '\r')
    echo "$(unix_path "$appdata")/Quorvel/quorvel.ini"
}

# The window stays where it is for half a second.
window_settled() {
    local before="$win_x $win_y"
    sleep 0.5
    find_window && [ "$win_x $win_y" = "$before" ]
}

# run_installed <pick port: yes|no>: starts the shortcut's target, opens the port (choosing COM5
# first, or taking the one from the settings), requires polling, closes with Alt+F4.
run_installed() {
    local before
    before=$(frames_in ascii)
    start_app "$installed_exe" || return 1
    # Started with settings, the window moves to their position after it appears.
    wait_for 10 "the window in its place" window_settled || return 1
    if [ "$1" = yes ]; then
        click Combo_Port
        xdotool type --delay 50 "$COM_PORT"
        xdotool key Return
        sleep 0.5
    fi
    press_open_until_polled $((before + 20)) || return 1
    close_app
}

# press_open_until_polled <frames>: presses "Nyit" until the simulator has seen that many
# requests. On a loaded machine a press can reach the window before it takes input, or while a
# closing drop-down list still holds the mouse; pressing "Nyit" again is harmless once the port
# is open (the button is then disabled).
press_open_until_polled() {
    local press tries
    for press in 1 2 3; do
        [ "$press" -eq 1 ] || echo "installer test: no requests yet, pressing \"Nyit\" again" >&2
        click Bt_PortOpen
        for tries in $(seq 50); do
            frames_at_least ascii "$1" && return 0
            sleep 0.2
        done
    done
    fail "$COM_PORT not polled by the installed program after \"Nyit\" was pressed three times"
}

msi_end_to_end() {
    phase "installer: msiexec in a fresh Wine prefix"
    local msi version next lane_prefix=$WINEPREFIX
    version=$(sed -nE 's/^project\(Quorvel VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
    msi="$DIST_DIR/quorvel-$version-x64.msi"
    [ -f "$msi" ] || { fail "no $msi"; return 1; }
    rm -rf "$MSI_LOG_DIR"
    mkdir -p "$MSI_LOG_DIR"
    start_sim msi-sim --name "WINE$$D" --mode auto --address 1 --frozen --verbose || return 1
    sim_frame_log="$work/msi-sim.err"
    export WINEPREFIX="$work/msi-prefix"
    msi_prefix=$WINEPREFIX # for the lane's cleanup
    wineboot -i >>"$work/wine-setup.log" 2>&1
    wineserver -w
    wine_setup reg add 'HKLM\Software\Wine\Ports' /v "$COM_PORT" /t REG_SZ /d "$sim_pty" /f
    wineserver -k # the port mapping is read when the server starts
    wineserver -w

    msiexec_run install /i "$(win_path "$PWD/$msi")" || return 1
    check_installed "$version" || return 1
    local installed_files
    installed_files=$(program_files_listing)
    run_installed yes || return 1
    local ini
    ini=$(appdata_settings)
    check_settings_file "$ini" || return 1
    grep -qx "Port=$COM_PORT" <(tr -d '\r' <"$ini") || { cat "$ini" >&2; fail "settings lack Port=$COM_PORT"; return 1; }
    [ "$(program_files_listing)" = "$installed_files" ] ||
        { diff <(echo "$installed_files") <(program_files_listing) >&2; fail "the program wrote under Program Files"; return 1; }
    local settings
    settings=$(sha256sum <"$ini")
    echo "installed program: $COM_PORT polled, settings in %APPDATA%\\Quorvel\\quorvel.ini, Program Files unchanged"

    # The next version: the same files under a higher version number.
    IFS=. read -r major minor _ <<<"$version"
    next="$major.$((minor + 1)).0"
    (cd "$DIST_DIR" && wixl -a x64 -D Version="$next" -o "$work/quorvel-$next-x64.msi" quorvel.wxs) ||
        { fail "wixl could not build the $next package"; return 1; }
    msiexec_run upgrade /i "$(win_path "$work/quorvel-$next-x64.msi")" || return 1
    check_installed "$next" || return 1
    [ "$(sha256sum <"$ini")" = "$settings" ] || { fail "the upgrade changed the user's settings"; return 1; }
    run_installed no || return 1
    echo "upgrade to $next: one entry, settings kept, $COM_PORT opened from them"

    msiexec_run remove /x "$(win_path "$work/quorvel-$next-x64.msi")" || return 1
    local left
    left=$(find "$WINEPREFIX/drive_c/Program Files/Quorvel" -type f 2>/dev/null || true)
    [ -z "$left" ] || { echo "$left" >&2; fail "files left under C:\\Program Files\\Quorvel"; return 1; }
    if [ -e "$(start_menu_link)" ] || [ -e "$(common_start_menu_link)" ]; then
        fail "the Start menu shortcut is left"
        return 1
    fi
    [ -z "$(arp_entries)" ] || { fail "the installed-programs entry is left"; return 1; }
    echo "removal: no file under C:\\Program Files\\Quorvel, no shortcut, no entry;" \
         "the user's own settings stay in %APPDATA%"
    wineserver -k
    wineserver -w
    export WINEPREFIX=$lane_prefix
    msi_log_summary
    echo "installer: $(du -k "$msi" | cut -f1) KiB; msiexec logs in $MSI_LOG_DIR"
}

# What msiexec logged for each step: the product, version, the product an upgrade replaced, a
# removal, and the outcome (Return value 1 is success).
msi_log_summary() {
    local log properties outcome
    for log in install upgrade remove; do
        properties=$(grep -E '^Property\(S\): (ProductCode|ProductVersion|WIX_UPGRADE_DETECTED|REMOVE) = ' \
            "$MSI_LOG_DIR/$log.log" | sed 's/^Property(S): //' | sort -u | paste -sd ';' -)
        outcome=$(grep -E '^Action ended .*: INSTALL\. Return value' "$MSI_LOG_DIR/$log.log" | tail -n1)
        echo "msiexec $log.log: $properties; $outcome"
    done
}
