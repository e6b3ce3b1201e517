#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
source scripts/packages.sh
bash scripts/deps.sh cmake make clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    echo "== $name for $seconds s"
    "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" fuzz/seeds/"$name"
done
