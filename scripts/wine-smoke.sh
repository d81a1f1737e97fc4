#!/usr/bin/env bash
# Smoke test of the real Windows build: Ampwise starts under Wine on a virtual X screen with
# a fresh Wine prefix, its debug output must show start-up and two polling cycles that find
# no driver, a screenshot of the screen is kept; the tray menu's first hub entry then opens
# the notify dialog, whose screenshot is kept beside a picture of the simulated screen in the
# same state, and "Exit" must end it through its exit sequence. The unit-test program runs
# first, then tabvoltctl's help and its JSON listing, which must fail cleanly without a driver.
# Everything lives under build-windows/; Wine and the X server are ended whatever happens.
set -euo pipefail

cd "$(dirname "$0")/.."

build=build-windows
out="$build/smoke"
cycles_wanted=2
startup_seconds=45 # Wine's first window and tray icon can be slow on a busy machine
run_seconds=15     # the monitoring thread polls every five seconds
exit_seconds=12    # "Exit" waits for the monitoring thread's cycle to end
notify_seconds=15  # the hub entry is posted; the dialog opens when the thread gets to it
boot_seconds=100   # creating a prefix takes 25-40 s here

fail() {
    echo "wine-smoke: FAILED: $*" >&2
    exit 1
}

for tool in Xvfb xwd xwdtopnm pnmtopng wineserver timeout; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool not found (run scripts/setup.sh windows)"
done

# A kernel without 32-bit support cannot run the 32-bit Wine loader. Then the same sources,
# built for 64-bit Windows, stand in for the PE32 program.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    loader=/usr/lib/wine/wine
    export WINEARCH=win32
    exe="$build/Ampwise.exe"
    unit="$build/ampwise_unit.exe"
    menu_tool="$build/ampwise_menu.exe"
else
    [ -x /usr/lib/wine/wine64 ] || fail "this kernel runs no 32-bit programs and wine64 is missing"
    echo "wine-smoke: this kernel runs no 32-bit programs; using the 64-bit build of the same sources"
    loader=/usr/lib/wine/wine64
    export WINEARCH=win64
    cmake -S app -B "$build/x64" -G Ninja --log-level=WARNING -DCMAKE_BUILD_TYPE=Release \
        -DAMPWISE_ARCH=x86_64 -DCMAKE_TOOLCHAIN_FILE="$PWD/app/toolchain-mingw.cmake" >/dev/null
    cmake --build "$build/x64" >/dev/null || fail "the 64-bit build failed"
    exe="$build/x64/Ampwise.exe"
    unit="$build/x64/ampwise_unit.exe"
    menu_tool="$build/x64/ampwise_menu.exe"
fi
[ -f "$exe" ] || fail "$exe not built (make windows)"

rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX="$PWD/$out/prefix"
# No Mono or Gecko download prompts; only the debug-output channel is of interest.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

# A child that has ended stays a zombie until waited for, and kill -0 still reaches it.
running() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
    [[ "$state" != Z* ]]
}

xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number: other users of the machine keep theirs.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do
    [ -s "$out/display" ] && break
    sleep 0.1
done
[ -s "$out/display" ] || fail "Xvfb did not start (see $out/xvfb.log)"
export DISPLAY=":$(cat "$out/display")"

start=$SECONDS
timeout "$boot_seconds" "$loader" wineboot --init >"$out/wineboot.log" 2>&1 ||
    fail "creating the Wine prefix took over ${boot_seconds}s or failed (see $out/wineboot.log)"
echo "wine-smoke: Wine prefix created in $((SECONDS - start))s"

if [ -f "$unit" ]; then
    timeout 45 "$loader" "$unit" >"$out/unit.log" 2>&1 || {
        cat "$out/unit.log" >&2
        fail "$unit failed"
    }
    grep -a 'passed' "$out/unit.log" | tail -1
fi

# tabvoltctl at a command prompt without the driver: its help, and a listing that fails with
# exit status 1 and one JSON object saying so.
ctl="$(dirname "$exe")/tabvoltctl.exe"
timeout 45 "$loader" "$ctl" --help >"$out/tabvoltctl-help.out" 2>"$out/tabvoltctl-help.log" ||
    fail "tabvoltctl --help failed (see $out/tabvoltctl-help.log)"
grep -aq '^usage: tabvoltctl' "$out/tabvoltctl-help.out" ||
    fail "tabvoltctl --help printed no usage (see $out/tabvoltctl-help.out)"
ctl_status=0
timeout 45 "$loader" "$ctl" --json >"$out/tabvoltctl.json" 2>"$out/tabvoltctl-json.log" ||
    ctl_status=$?
[ "$ctl_status" -eq 1 ] ||
    fail "tabvoltctl --json without a driver ended with $ctl_status, wanted 1 (see $out/tabvoltctl.json)"
python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1]))["result"] != "failed")' \
    "$out/tabvoltctl.json" || fail "tabvoltctl --json did not say \"failed\" in JSON (see $out/tabvoltctl.json)"
echo "wine-smoke: tabvoltctl --json without a driver: $(tr -d '\r' <"$out/tabvoltctl.json")"

export WINEDEBUG=-all,warn+debugstr
"$loader" "$exe" >"$out/ampwise.out" 2>"$out/ampwise.log" &
app_pid=$!
# Counts the polling cycles until there are enough or the time is up.
cycles=0
count_cycles() {
    local wanted=$1 deadline=$((SECONDS + $2))
    while [ "$SECONDS" -lt "$deadline" ] && running "$app_pid"; do
        cycles=$(grep -ac 'fail to open driver handle' "$out/ampwise.log" || true)
        [ "$cycles" -ge "$wanted" ] && return
        sleep 0.5
    done
}
count_cycles 1 "$startup_seconds"
count_cycles "$cycles_wanted" "$run_seconds"
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/screen.png" ||
    fail "no screenshot of $DISPLAY"
running "$app_pid" || fail "Ampwise ended on its own (see $out/ampwise.log)"
grep -aq 'OutputDebugStringA "hello world\\n"' "$out/ampwise.log" ||
    fail "no \"hello world\" in the debug output (see $out/ampwise.log)"
[ "$cycles" -ge "$cycles_wanted" ] ||
    fail "\"fail to open driver handle\" seen $cycles times ${run_seconds}s after the first, wanted $cycles_wanted (see $out/ampwise.log)"

# The first hub entry of the tray menu (10, hub slot 0) opens the notify dialog, which slides
# in over half a second. Without a driver no hub is known: the dialog shows port 1 empty.
WINEDEBUG=-all timeout 15 "$loader" "$menu_tool" 10 >"$out/notify.log" 2>&1 ||
    fail "could not choose the hub entry (see $out/notify.log)"
deadline=$((SECONDS + notify_seconds))
while [ "$SECONDS" -lt "$deadline" ] &&
    ! grep -aq 'OutputDebugStringA "At UpdateDsPortStatus' "$out/ampwise.log"; do
    sleep 0.5
done
grep -aq 'OutputDebugStringA "At UpdateDsPortStatus' "$out/ampwise.log" ||
    fail "the notify dialog did not open (see $out/ampwise.log)"
sleep 2
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/notify-wine.png" ||
    fail "no screenshot of the notify dialog"
simulated="no simulated picture (build ampsim first)"
if [ -x build/sim/ampsim/ampsim ]; then
    (cd "$out" && "$OLDPWD/build/sim/ampsim/ampsim" --show ui "$OLDPWD/tests/app/notify_screen.scn" \
        >notify-sim.log 2>&1) || fail "ampsim could not draw the notify dialog (see $out/notify-sim.log)"
    simulated="simulated: $out/notify-sim.png"
fi

# "Exit" from the tray menu: the program must end through its exit sequence.
WINEDEBUG=-all timeout 15 "$loader" "$menu_tool" 3 >"$out/exit.log" 2>&1 ||
    fail "could not choose Exit (see $out/exit.log)"
deadline=$((SECONDS + exit_seconds))
while [ "$SECONDS" -lt "$deadline" ] && running "$app_pid"; do
    sleep 0.5
done
running "$app_pid" && fail "Ampwise still runs ${exit_seconds}s after Exit (see $out/ampwise.log)"
exit_lines=$(grep -ao 'OutputDebugStringA "[a-z ]* wait thread end\\n"' "$out/ampwise.log" |
    sed 's/.*"\(.*\)\\n"/\1/' | paste -sd, -)
[ "$exit_lines" = "before wait thread end,after wait thread end" ] ||
    fail "exit sequence was \"$exit_lines\" (see $out/ampwise.log)"
echo "wine-smoke: Ampwise started, polled $cycles times without a driver, opened the notify dialog, ended on Exit"
echo "wine-smoke: screenshots $out/screen.png, notify dialog $out/notify-wine.png ($simulated)"
