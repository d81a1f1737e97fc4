#!/usr/bin/env bash
# ampsim's command line: each case is ARGS, the exit status, and a line the output (standard
# output, then standard error) must hold.
#   command_line.sh AMPSIM
set -u
ampsim=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'controller C1\nload\n' >"$work/small.scn"
: >"$work/empty.scn"
printf 'frob\n' >"$work/bad.scn"
printf 'controller C1\nrepeat 3\n  repeat 2\n    devices\n    wait 1s\n  end\nend\n' >"$work/repeat.scn"
# One byte over the limit, and nothing but zeros, as /dev/zero would give.
truncate -s $((16 * 1024 * 1024 + 1)) "$work/big.scn"
# Exit chosen at once: the copy still restores the power plan and waits for its thread.
printf 'controller C1\nkernel version=6.2\napp start\nrightclick tray\nmenu Exit\n' >"$work/exit.scn"

cases=(
    "--show pcp|2|ampsim: unknown --show category 'pcp' (all, app dbg io ioctl kernel menu msg pnp proc registry speaker trace tray ui usb usb-internal usb-std)"
    "--show|2|ampsim: --show needs a value"
    "--show ,|2|ampsim: --show needs at least one category"
    "--seed 5x|2|ampsim: bad --seed '5x'"
    "--seed -1|2|ampsim: bad --seed '-1'"
    "--seed 1 --seeds 1..2|2|ampsim: give one --seed or --seeds"
    "--seeds 5..3|2|ampsim: bad --seeds '5..3' (A..B, A no greater than B)"
    "--seeds 0..1000000|2|ampsim: --seeds covers more than 1000000 runs"
    "--frobnicate|2|ampsim: unknown option '--frobnicate'"
    "$work/small.scn $work/small.scn|2|ampsim: one scenario at a time"
    "$work|2|ampsim: cannot read $work: it is a directory"
    "$work/missing.scn|2|ampsim: cannot read $work/missing.scn"
    "$work/empty.scn|0|t=0.000 kernel pool outstanding=0"
    "--seeds 3..5 $work/small.scn|0|seeds 3..5 runs=3 outcomes=1 deadlocks=0 bug-checks=0 outstanding=0"
    "--seeds 3..5 $work/small.scn|0|outcome 1 runs=3 end=finished seed=3"
    "--seeds 3..5 -j 2 $work/small.scn|0|outcome 1 runs=3 end=finished seed=3"
    "--seeds 3..5 -j 0 $work/small.scn|2|ampsim: bad -j '0' (1 to 256 processes)"
    "-j 2 $work/small.scn|2|ampsim: -j goes with --seeds"
    "--print-scenario|0|#   KEY  a USB memory stick (mass-storage class): the driver leaves it alone"
    "--print-scenario $work/small.scn|0|controller C1"
    "--print-scenario $work/bad.scn|2|ampsim: $work/bad.scn:1: unknown command 'frob'"
    "$work/big.scn|2|ampsim: $work/big.scn: a scenario is at most 16777216 bytes"
    "--show ioctl --show kernel $work/repeat.scn|0|t=5.000 ioctl VEXA_IOCTL_ENUM_DEVICES -> open-failed"
    "--show ioctl --show kernel $work/repeat.scn|0|t=6.000 kernel pool outstanding=0"
    "--show app $work/exit.scn|0|t=7.400 app dbg after wait thread end"
    "--show app $work/exit.scn|0|t=7.400 user windows outstanding=0 gdi objects outstanding=0"
    "--show all|0|t=18.010 pnp driver unloaded"
)

failed=0
for entry in "${cases[@]}"; do
    IFS='|' read -r args want_exit want_line <<<"$entry"
    # shellcheck disable=SC2086
    output=$(cd "$here" && "$ampsim" $args 2>&1)
    status=$?
    if [ "$status" -ne "$want_exit" ] || ! grep -qxF -- "$want_line" <<<"$output"; then
        echo "FAILED: ampsim $args (exit $status, expected $want_exit and: $want_line)"
        echo "$output" | head -n 20
        failed=1
    fi
done
[ "$failed" -eq 0 ] && echo "ok: ampsim's command line"
exit "$failed"
