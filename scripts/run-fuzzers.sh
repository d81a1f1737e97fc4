#!/usr/bin/env bash
# Runs every libFuzzer target of a TABVOLT_FUZZ build for a share of SECONDS, each from a
# scratch copy of its committed corpus so that the tree is never modified. Fails when any
# target finds a crash, a leak, a sanitizer report or a timeout.
#
#     scripts/run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail

build_dir=${1:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
total_seconds=${2:?usage: run-fuzzers.sh BUILD_DIR SECONDS}
list="$build_dir/fuzzers.txt"

if [ ! -s "$list" ]; then
    echo "fuzz: no fuzz targets listed in $list" >&2
    exit 1
fi
if ! [[ "$total_seconds" =~ ^[0-9]+$ ]] || [ "$total_seconds" -lt 1 ]; then
    echo "fuzz: FUZZ_SECONDS must be a whole number of seconds, not '$total_seconds'" >&2
    exit 1
fi

count=$(wc -l <"$list")
seconds=$((total_seconds / count))
if [ "$seconds" -lt 1 ]; then
    seconds=1
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

work="$build_dir/fuzz-work"
failed=()
while IFS=$'\t' read -r name binary corpus dict; do
    scratch="$work/$name"
    rm -rf "$scratch"
    mkdir -p "$scratch/corpus" "$scratch/artifacts"
    cp -R "$corpus/." "$scratch/corpus/"
    options=(-max_total_time="$seconds" -timeout=30 -print_final_stats=1
             -artifact_prefix="$scratch/artifacts/")
    if [ -n "$dict" ]; then
        options+=(-dict="$dict")
    fi
    echo "==> fuzz $name for ${seconds}s (log: $scratch/log)"
    status=0
    "$binary" "${options[@]}" "$scratch/corpus" >"$scratch/log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$scratch/log" | tail -n 1)
    added=$(sed -n 's/^stat::new_units_added: *//p' "$scratch/log" | tail -n 1)
    echo "fuzz: $name: ${runs:-?} runs, ${rate:-?} exec/s, ${added:-?} new inputs"
    if [ "$status" -ne 0 ]; then
        failed+=("$name")
        echo "fuzz: $name FAILED (exit $status); the end of its log:" >&2
        tail -n 40 "$scratch/log" >&2
        for artifact in "$scratch"/artifacts/*; do
            [ -e "$artifact" ] || continue
            echo "fuzz: reproduce with: $binary $artifact" >&2
            echo "fuzz: once fixed, keep it as a seed: cp $artifact $corpus/" >&2
        done
    fi
done <"$list"

if [ "${#failed[@]}" -ne 0 ]; then
    echo "fuzz: failing targets: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz: $count target(s) ran clean"
