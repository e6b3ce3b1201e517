#!/usr/bin/env bash
# Builds the console and starts it against the bundled drive simulator.
# Installs the Debian packages it needs when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}"

cmake --preset release >/dev/null
cmake --build --preset release

echo "The operator window is not built yet; the core library and the tests are."
