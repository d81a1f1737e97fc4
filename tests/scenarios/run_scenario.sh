#!/usr/bin/env bash
# Runs one scenario through ampsim and checks its output.
#   run_scenario.sh AMPSIM SCENARIO.scn
# The scenario's header comments say how: "# args: ..." (ampsim options), "# exit: N"
# (expected exit status, default 0), "# json: PROGRAM" (each `proc PROGRAM` line that starts
# with a brace must be one whole JSON object, and there must be one). SCENARIO.expected lists the lines that must appear in
# the output (standard output, then standard error), in that order; other lines may come
# between them. A line "!TEXT" in it means no output line may contain TEXT.
set -u
ampsim=$1
scenario=$2
expected=${scenario%.scn}.expected
args=$(sed -n 's/^# args: *//p' "$scenario" | head -n 1)
want_exit=$(sed -n 's/^# exit: *//p' "$scenario" | head -n 1)
want_exit=${want_exit:-0}
json_program=$(sed -n 's/^# json: *//p' "$scenario" | head -n 1)

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

if [ -n "$json_program" ]; then
    problem=$(python3 -c '
import json, re, sys
program, found = sys.argv[2], 0
for line in open(sys.argv[1]):
    match = re.match(r"t=\S+ proc " + re.escape(program) + r"(#\d+)? (\{.*)$", line)
    if match:
        found += 1
        try:
            json.loads(match.group(2))
        except ValueError as error:
            print("not JSON: %s (%s)" % (line.strip(), error))
if found == 0:
    print("no JSON line of " + program)
' "$output" "$json_program")
    [ -z "$problem" ] || fail "$problem"
fi

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
