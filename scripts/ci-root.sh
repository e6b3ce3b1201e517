# shellcheck shell=bash
# A fresh minimal Debian 12 root in memory, for the tests that need a bare system (sourced, as
# root, by scripts/package-test.sh and scripts/first-run-test.sh). ci_root_make sets $root and
# unpacks it there from a cached tarball (made by debootstrap --variant=minbase bookworm on a
# cold cache), mounts the package cache, /proc and /dev/pts and adds the normal user tech
# (uid 1000, runtime folder /run/user/1000). On exit, also on failure or interruption, it stops
# whatever still runs inside, unmounts everything and removes the root; a script that sourced it
# may define ci_root_on_cleanup for its own cleaning, run once nothing runs inside any more.
# The tarball is kept in $QUORVEL_CI_CACHE (default /var/cache/quorvel-ci), the downloaded
# packages in its archives/ folder.

ci_cache=${QUORVEL_CI_CACHE:-/var/cache/quorvel-ci}
# Tools the install test needs inside the root; part of the cached root, not of the package.
ci_root_tools=(xvfb xauth xdotool)
ci_tarball="$ci_cache/bookworm-minbase-$(printf '%s\n' "${ci_root_tools[@]}" | md5sum | cut -c1-8).tar.gz"
root=
mounts=()

# The machine's own Debian mirror, as its apt sources name it (deb822 or one-line format).
debian_mirror() {
    local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*)
    local url
    url=$(awk '/^URIs:/ {u=$2} /^Suites:/ && u != "" { for (i = 2; i <= NF; i++) if ($i == "bookworm") { print u; exit } }' \
        "${files[@]}" 2>/dev/null | head -n 1)
    [ -n "$url" ] || url=$(awk '$1 == "deb" && $0 ~ / bookworm / { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
        "${files[@]}" 2>/dev/null | head -n 1)
    echo "${url:-http://deb.debian.org/debian}"
}

mount_into() { # mount_into SOURCE TARGET [options...]
    local target="$root$2"
    mkdir -p "$target"
    mount "${@:3}" "$1" "$target"
    mounts+=("$target")
}
unmount_all() {
    local i
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
        umount -l "${mounts[i]}" 2>/dev/null || true
    done
    mounts=()
}
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    DEBIAN_FRONTEND=noninteractive LANG=C.UTF-8 "$@"; }

# The processes running inside the root (all of them started by the test).
ci_root_processes() {
    local dir
    for dir in /proc/[0-9]*; do
        [ "$(readlink "$dir/root" 2>/dev/null)" = "$root" ] && echo "${dir#/proc/}"
    done
    return 0
}
ci_root_stop_processes() {
    local pids
    mapfile -t pids < <(ci_root_processes)
    [ ${#pids[@]} -eq 0 ] && return 0
    kill -TERM "${pids[@]}" 2>/dev/null || true
    for _ in $(seq 50); do
        [ -z "$(ci_root_processes)" ] && return 0
        sleep 0.1
    done
    mapfile -t pids < <(ci_root_processes)
    [ ${#pids[@]} -eq 0 ] || kill -KILL "${pids[@]}" 2>/dev/null || true
}

ci_root_cleanup() { # ci_root_cleanup [STATUS]: the exit status, else that of the last command
    local status=$?
    [ -z "${1:-}" ] || status=$1
    trap - EXIT INT TERM
    [ -z "$root" ] || ci_root_stop_processes
    if declare -F ci_root_on_cleanup >/dev/null; then ci_root_on_cleanup || true; fi
    if [ -n "$root" ]; then
        unmount_all
        # Never descend into a still-mounted folder.
        if ! grep -q " $root" /proc/mounts; then
            rm -rf --one-file-system "$root"
        else
            echo "ci-root: $root still has mounts; left in place" >&2
        fi
    fi
    exit "$status"
}

ci_root_bootstrap() { # ci_root_bootstrap MIRROR: a new root at $root, then cached as the tarball
    local mirror=$1 t0 tmp
    echo "== bootstrapping a minimal bookworm root from $mirror (cold cache)"
    t0=$(date +%s)
    debootstrap --variant=minbase --cache-dir="$ci_cache/archives" bookworm "$root" "$mirror" \
        >"$ci_cache/debootstrap.log" 2>&1 || { tail -n 30 "$ci_cache/debootstrap.log" >&2; return 1; }
    echo "deb $mirror bookworm main" >"$root/etc/apt/sources.list"
    mount_into "$ci_cache/archives" /var/cache/apt/archives --bind
    mount_into proc /proc -t proc
    mount_into /dev/pts /dev/pts --bind
    in_root apt-get update -qq
    in_root apt-get install -y -qq --no-install-recommends "${ci_root_tools[@]}" >/dev/null
    in_root apt-get clean
    umount "$root/proc" "$root/dev/pts" "$root/var/cache/apt/archives"
    mounts=("$root")
    # A private name until it is whole: another test may be bootstrapping at the same time.
    tmp=$(mktemp "$ci_tarball.XXXXXX")
    tar -C "$root" -czf "$tmp" . && mv "$tmp" "$ci_tarball"
    chmod 644 "$ci_tarball"
    echo "   bootstrapped and cached in $(( $(date +%s) - t0 )) s: $ci_tarball"
}

# Makes the root at $root (and sets the trap that removes it). Then apt-get in it works from
# the mirror in ci_mirror, with the package cache shared between runs.
ci_root_make() {
    mkdir -p "$ci_cache/archives/partial"
    root=$(mktemp -d /var/tmp/quorvel-root.XXXXXX)
    # An interrupted test fails: after a signal, $? is only that of the command it stopped.
    trap ci_root_cleanup EXIT
    trap 'ci_root_cleanup 130' INT
    trap 'ci_root_cleanup 143' TERM
    # The root lives in memory (about 0.6 GB; 1.1 GB once run.sh has installed and built in it):
    # unpacking and throwing it away take seconds, not a minute of disk writes.
    mount -t tmpfs -o size=3g,mode=755 quorvel-test-root "$root"
    mounts+=("$root")
    ci_mirror=$(debian_mirror)
    if [ ! -f "$ci_tarball" ]; then
        ci_root_bootstrap "$ci_mirror"
    else
        echo "== unpacking the cached root $ci_tarball"
        tar -C "$root" -xzf "$ci_tarball"
    fi
    chmod 755 "$root" # apt drops to _apt for downloads

    mount_into "$ci_cache/archives" /var/cache/apt/archives --bind
    mount_into proc /proc -t proc
    mount_into /dev/pts /dev/pts --bind
    # dpkg without fsync: the test root is thrown away anyway, and it halves the install time.
    echo force-unsafe-io >"$root/etc/dpkg/dpkg.cfg.d/quorvel-test-unsafe-io"
    mkdir -p "$root/run/user/1000"
    in_root useradd --create-home --uid 1000 --user-group --shell /bin/bash tech
    chroot "$root" chown tech:tech /run/user/1000
    chmod 700 "$root/run/user/1000"
}
