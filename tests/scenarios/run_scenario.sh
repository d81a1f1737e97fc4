#!/usr/bin/env bash
# Runs one scenario through ampsim and checks its output.
#   run_scenario.sh AMPSIM SCENARIO.scn
# The scenario's header comments say how: "# args: ..." (ampsim options), "# exit: N"
# (expected exit status, default 0). SCENARIO.expected lists the lines that must appear in
# the output (standard output, then standard error), in that order; other lines may come
# between them. A line "!TEXT" in it means no output line may contain TEXT.
set -u
ampsim=$1
scenario=$2
expected=${scenario%.scn}.expected
args=$(sed -n 's/^# args: *//p' "$scenario" | head -n 1)
want_exit=$(sed -n 's/^# exit: *//p' "$scenario" | head -n 1)
want_exit=${want_exit:-0}

output=$(mktemp)
trap 'rm -f "$output"' EXIT
# Run from the scenario's folder so that messages name it as written there.
# shellcheck disable=SC2086
(cd "$(dirname "$scenario")" && "$ampsim" $args "$(basename "$scenario")") >"$output" 2>"$output.err"
status=$?
cat "$output.err" >>"$output"
rm -f "$output.err"

fail() {
    echo "FAILED: $scenario ($1)"
    echo "reproduce: (cd $(dirname "$scenario") && $ampsim $args $(basename "$scenario"))"
    echo "--- output ---"
    cat "$output"
    exit 1
}

[ "$status" -eq "$want_exit" ] || fail "exit status $status, expected $want_exit"

line_no=0
while IFS= read -r want || [ -n "$want" ]; do
    [ -z "$want" ] && continue
    if [ "${want:0:1}" = "!" ]; then
        grep -qF -- "${want:1}" "$output" && fail "unexpected line containing '${want:1}'"
        continue
    fi
    found=$(tail -n +$((line_no + 1)) "$output" | grep -nxF -- "$want" | head -n 1 | cut -d: -f1)
    [ -n "$found" ] || fail "missing, or out of order: '$want'"
    line_no=$((line_no + found))
done <"$expected"
echo "ok: $scenario"
