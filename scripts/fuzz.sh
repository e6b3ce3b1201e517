#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs every one that fuzz/CMakeLists.txt builds
# (each executable fuzz_<name>) for the given number of seconds, with its committed seeds from
# fuzz/seeds/<name> (or fuzz/seeds/fuzz_<name>) and a corpus kept in the build tree.
# Prints each target's runs per second; any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
source scripts/packages.sh
bash scripts/deps.sh cmake make clang libclang-rt-14-dev

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
summary=()
for target in build/fuzz/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build/fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    for dir in "fuzz/seeds/${name#fuzz_}" "fuzz/seeds/$name"; do
        [ -d "$dir" ] && seeds+=("$dir")
    done
    echo "== $name for $seconds s"
    log="build/fuzz/$name.log"
    status=0
    "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix=build/fuzz/ \
        "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
    grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' "$log" | tail -n 40 || true
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    summary+=("$name: ${runs:-?} runs, ${rate:-?} runs/s, exit $status")
    if [ "$status" -ne 0 ]; then
        printf '%s\n' "${summary[@]}"
        echo "$name found a problem (see $log and the crash- file in build/fuzz)" >&2
        exit 1
    fi
done
printf '%s\n' "${summary[@]}"
