#!/usr/bin/env bash
# Compiles every driver source for x86_64 Windows, syntax only, against mingw-w64's DDK
# headers plus our KMDF stand-in. Our WDM stand-ins are deliberately absent from the include
# path: the driver must rely only on what the real DDK declares.
set -euo pipefail

cd "$(dirname "$0")/.."

cxx="${WINDOWS_CXX:-x86_64-w64-mingw32-g++}"
ddk="${WINDOWS_DDK:-/usr/x86_64-w64-mingw32/include/ddk}"

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "check-windows: $cxx not found (run scripts/setup.sh)" >&2
    exit 1
fi
if [ ! -f "$ddk/wdm.h" ]; then
    echo "check-windows: no DDK headers in $ddk" >&2
    exit 1
fi

flags=(
    -std=c++20 -fsyntax-only -Wall -Wextra -Werror
    # mingw's wdm.h defines these two intrinsics inline, and so does its intrin.h, which
    # C++ mode also pulls in; claiming them as already defined avoids the redefinition.
    -D__INTRINSIC_DEFINED_InterlockedBitTestAndSet
    -D__INTRINSIC_DEFINED_InterlockedBitTestAndReset
    # mingw's evntrace.h hides its event-trace types unless the NT headers are announced,
    # which the WDK's kernel build does for its own copy.
    -DWINNT
    -I"$ddk"
    -Isim/include/kmdf
    -Idriver/include
    -Icommon
)

mapfile -t sources < <(find driver -type f -name '*.cpp' | LC_ALL=C sort)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "check-windows: no driver sources found under driver/" >&2
    exit 1
fi

failed=0
for src in "${sources[@]}"; do
    if ! out=$("$cxx" "${flags[@]}" "$src" 2>&1); then
        failed=$((failed + 1))
        echo "check-windows: FAILED $src" >&2
        printf '%s\n' "$out" >&2
    fi
done

if [ "$failed" -ne 0 ]; then
    echo "check-windows: $failed of ${#sources[@]} driver sources fail against the Windows DDK headers" >&2
    exit 1
fi
echo "check-windows: ${#sources[@]} driver sources compile against the Windows DDK headers"
