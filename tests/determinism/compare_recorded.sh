#!/usr/bin/env bash
# Runs the default scenario under one seed, twice, and compares both outputs byte for byte
# with the recorded one.
#   compare_recorded.sh AMPSIM SEED RECORDED
# To record again after a legitimate change of output:
#   AMPSIM --seed SEED --show all > RECORDED
set -u
ampsim=$1
seed=$2
recorded=$3

output=$(mktemp)
trap 'rm -f "$output" "$output.again"' EXIT
"$ampsim" --seed "$seed" --show all >"$output" 2>&1
"$ampsim" --seed "$seed" --show all >"$output.again" 2>&1

if ! cmp -s "$output" "$output.again"; then
    echo "FAILED: two runs with --seed $seed differ"
    diff "$output" "$output.again" | head -n 40
    exit 1
fi
if ! cmp -s "$recorded" "$output"; then
    echo "FAILED: --seed $seed differs from $recorded"
    echo "reproduce: $ampsim --seed $seed --show all"
    diff "$recorded" "$output" | head -n 40
    exit 1
fi
echo "ok: seed $seed"
