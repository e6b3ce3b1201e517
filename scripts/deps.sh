#!/usr/bin/env bash
# Installs the Debian packages given as arguments when any of them is missing.
# Uses sudo when not root. Source it or run it: scripts/deps.sh pkg1 pkg2 ...
set -euo pipefail

missing=()
for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing Debian packages: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
as_root=()
# sudo resets the environment: name the front end on its command line.
[ "$(id -u)" -ne 0 ] && as_root=(sudo "DEBIAN_FRONTEND=$DEBIAN_FRONTEND")
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
