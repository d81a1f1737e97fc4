#!/usr/bin/env bash
# Smoke test of the real Windows build: Ampwise starts under Wine on a virtual X screen with
# a fresh Wine prefix, its debug output must show start-up and two polling cycles that find
# no driver, and a screenshot of the screen is kept. The unit-test program runs first.
# Everything lives under build-windows/; Wine and the X server are ended whatever happens.
set -euo pipefail

cd "$(dirname "$0")/.."

build=build-windows
out="$build/smoke"
cycles_wanted=2
run_seconds=15     # the monitoring thread polls every five seconds
boot_seconds=150   # creating a prefix takes about a minute here

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
fi
[ -f "$exe" ] || fail "$exe not built (make windows)"

rm -rf "$out"
mkdir -p "$out"
export WINEPREFIX="$PWD/$out/prefix"
# No Mono or Gecko download prompts; only the debug-output channel is of interest.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

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
    timeout 60 "$loader" "$unit" >"$out/unit.log" 2>&1 || {
        cat "$out/unit.log" >&2
        fail "$unit failed"
    }
    grep -a 'passed' "$out/unit.log" | tail -1
fi

export WINEDEBUG=-all,warn+debugstr
"$loader" "$exe" >"$out/ampwise.out" 2>"$out/ampwise.log" &
app_pid=$!
deadline=$((SECONDS + run_seconds))
cycles=0
while [ "$SECONDS" -lt "$deadline" ] && kill -0 "$app_pid" 2>/dev/null; do
    cycles=$(grep -ac 'fail to open driver handle' "$out/ampwise.log" || true)
    [ "$cycles" -ge "$cycles_wanted" ] && break
    sleep 0.5
done
xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$out/screen.png" ||
    fail "no screenshot of $DISPLAY"
alive=0
kill -0 "$app_pid" 2>/dev/null && alive=1
wineserver -k >/dev/null 2>&1 || true
wait "$app_pid" 2>/dev/null || true

grep -aq 'OutputDebugStringA "hello world\\n"' "$out/ampwise.log" ||
    fail "no \"hello world\" in the debug output (see $out/ampwise.log)"
[ "$cycles" -ge "$cycles_wanted" ] ||
    fail "\"fail to open driver handle\" seen $cycles times in ${run_seconds}s, wanted $cycles_wanted (see $out/ampwise.log)"
[ "$alive" -eq 1 ] || fail "Ampwise ended on its own (see $out/ampwise.log)"
echo "wine-smoke: Ampwise started, polled $cycles times without a driver; screenshot $out/screen.png"
