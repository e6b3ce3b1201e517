#!/usr/bin/env bash
# Builds the tests where the port worker meets the main thread (port, engine, integration and
# window tests) with ThreadSanitizer and runs them. Installs the Debian packages it needs.
#
# Debian's Qt is not built with ThreadSanitizer: scripts/tsan.supp ignores what Qt's own
# libraries do inside (each line says why); our code, libstdc++ and glibc stay checked.
# die_after_fork=0 lets the tests start kelmar-sim, socat and python by fork and exec from a
# threaded process (the child only execs).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
bash scripts/deps.sh "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

start=$(date +%s)
cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan
echo "tsan lane finished in $(( $(date +%s) - start )) s"
