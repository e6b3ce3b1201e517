#!/usr/bin/env bash
# Installs the built .deb into a fresh minimal Debian 12 root and proves it there: the console
# starts under xvfb-run against kelmar-sim as a normal user, live values arrive, the settings
# file appears in the user's config folder at close, and remove/purge leave nothing behind.
# Usage: scripts/package-test.sh [path/to/quorvel_X_amd64.deb]   (as root; CI runs it)
# The root comes from scripts/ci-root.sh, which caches it as a tarball in $QUORVEL_CI_CACHE
# (default /var/cache/quorvel-ci), downloaded packages in its archives/ folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
source scripts/ci-root.sh
bash scripts/deps.sh "${ROOT_TEST_PACKAGES[@]}"

started=$(date +%s)
deb=${1:-$(ls build/app/quorvel_*_amd64.deb 2>/dev/null | tail -n 1)}
[ -f "$deb" ] || { echo "package-test: no package; run scripts/package.sh first" >&2; exit 1; }
deb=$(realpath "$deb")
[ "$(id -u)" -eq 0 ] || { echo "package-test: needs root (chroot, mounts)" >&2; exit 1; }

ci_root_make
mirror=$ci_mirror
cp "$deb" "$root/tmp/"
cp scripts/package-test-demo.sh "$root/tmp/demo.sh"

# Every path of the root except the ones that change by themselves or hold the user's data.
snapshot() {
    (cd "$root" && find . -xdev \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./run \
        -o -path ./home -o -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt \
        -o -path ./var/lib/dpkg \) -prune -o -print | sed 's|^\.||' | sort)
}

echo "== apt-get install ./$(basename "$deb") (mirror $mirror)"
t_install=$(date +%s)
in_root apt-get update -qq
snapshot >"$root/tmp/before.list"
in_root apt-get install -y -qq "/tmp/$(basename "$deb")" >"$root/tmp/install.log" 2>&1 ||
    { tail -n 30 "$root/tmp/install.log" >&2; exit 1; }
grep -E '^(Setting up|Unpacking) quorvel' "$root/tmp/install.log" | head -n 2
echo "   $(grep -c '^Setting up' "$root/tmp/install.log") packages set up in $(( $(date +%s) - t_install )) s"
in_root dpkg -L quorvel >"$root/tmp/package.list"
for program in /usr/bin/quorvel /usr/bin/kelmar-sim; do
    [ -x "$root$program" ] || { echo "package-test: $program is not installed" >&2; exit 1; }
done

echo "== the two-terminal demo as user tech under xvfb-run"
t_demo=$(date +%s)
mkdir -m 777 "$root/tmp/shots"
demo=0
chroot --userspec=tech:tech "$root" /usr/bin/env -i PATH=/usr/bin:/bin HOME=/home/tech USER=tech \
    LANG=C.UTF-8 XDG_RUNTIME_DIR=/run/user/1000 QUORVEL_SHOT_DIR=/tmp/shots bash /tmp/demo.sh ||
    demo=1
# The screens as PNG beside the package, to look at what the operator saw.
shots=$(dirname "$deb")/package-test
rm -rf "$shots" && mkdir -p "$shots"
for dump in "$root"/tmp/shots/*.xwd; do
    [ -e "$dump" ] && convert "xwd:$dump" -crop 700x560+0+0 "$shots/$(basename "$dump" .xwd).png"
done
[ "$demo" -eq 0 ] && echo "   demo passed in $(( $(date +%s) - t_demo )) s" ||
    echo "   demo FAILED; screens in $shots" >&2

echo "== apt-get remove, then purge"
in_root apt-get remove -y -qq quorvel >/dev/null
owned() { cat "$root"/var/lib/dpkg/info/*.list | sort -u; }
owned >"$root/tmp/owned.list"
left=0
while read -r path; do
    # Folders that other packages own too (/usr/share/man/man1) stay, as they should.
    if [ -e "$root$path" ] && [ "$path" != / ] && [ "$path" != /. ] &&
        { [ ! -d "$root$path" ] || ! grep -qFx "$path" "$root/tmp/owned.list"; }; then
        echo "   left behind after remove: $path" >&2
        left=1
    fi
done <"$root/tmp/package.list"
# The package has no configuration files, so remove leaves nothing for purge to do; apt-get
# cannot name a package that is in no source once it is gone, dpkg can.
in_root dpkg --purge quorvel >/dev/null 2>&1
if in_root dpkg-query -W -f='${Status}\n' quorvel 2>/dev/null | grep -qv 'not-installed'; then
    echo "   dpkg still knows quorvel after purge" >&2
    left=1
fi
# Any new path that no installed package owns must be a cache made by a dependency's trigger,
# never one of the package's files or named after it.
snapshot >"$root/tmp/after.list"
owned >"$root/tmp/owned.list"
comm -13 "$root/tmp/before.list" "$root/tmp/after.list" | comm -23 - "$root/tmp/owned.list" \
    >"$root/tmp/unowned.list"
if grep -E -i 'quorvel|kelmar' "$root/tmp/unowned.list" ||
    grep -Fx -f "$root/tmp/package.list" "$root/tmp/unowned.list"; then
    echo "   the paths above are left of the package after purge" >&2
    left=1
fi
cp "$root/tmp/unowned.list" "$shots/unowned-after-purge.txt"
[ "$left" -eq 0 ] && echo "   none of the $(wc -l <"$root/tmp/package.list") package paths left"
echo "   $(wc -l <"$root/tmp/unowned.list") new paths no package owns, made by the dependencies'" \
    "scripts (mime, gdk-pixbuf, systemd state): $shots/unowned-after-purge.txt"
[ "$left" -eq 0 ] && [ "$demo" -eq 0 ] || { echo "== package-test FAILED" >&2; exit 1; }
echo "== package-test passed in $(( $(date +%s) - started )) s"

