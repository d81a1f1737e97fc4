#!/usr/bin/env bash
# Runs the default scenario under one seed, twice, and compares both outputs byte for byte
# with the recorded one. The driver's build date and time (which it traces at load) are
# masked, so that a rebuild is not a change of output.
#   compare_recorded.sh AMPSIM SEED RECORDED
# To record again after a legitimate change of output:
#   AMPSIM --seed SEED --show all | (the sed of mask_build_time) > RECORDED
set -u
ampsim=$1
seed=$2
recorded=$3

output=$(mktemp)
trap 'rm -f "$output" "$output.again"' EXIT
mask_build_time() {
    sed -E 's/"[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}" "[0-9]{2}:[0-9]{2}:[0-9]{2}"/"<build date>" "<build time>"/'
}
"$ampsim" --seed "$seed" --show all 2>&1 | mask_build_time >"$output"
"$ampsim" --seed "$seed" --show all 2>&1 | mask_build_time >"$output.again"

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
