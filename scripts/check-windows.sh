#!/usr/bin/env bash
# Compiles every driver source for x86_64 Windows, syntax only, against mingw-w64's DDK
# headers plus our KMDF stand-in. Our WDM stand-ins are deliberately absent from the include
# path: the driver must rely only on what the real DDK declares. A second pass compiles the
# sources with clang in Microsoft-extensions mode with ALLOC_PRAGMA on, as the WDK's
# compiler sees them, so that #pragma alloc_text on a function without C linkage fails
# here as it fails there. Last, the WDM constants of our stand-in headers must carry the
# DDK's values: the simulator and the driver share them, so no test run could see a wrong one.
set -euo pipefail

cd "$(dirname "$0")/.."

cxx="${WINDOWS_CXX:-x86_64-w64-mingw32-g++}"
ddk="${WINDOWS_DDK:-/usr/x86_64-w64-mingw32/include/ddk}"
# clang 15 is the first whose Microsoft mode understands alloc_text.
ms_cxx="${WINDOWS_MS_CXX:-clang++-15}"

if ! command -v "$cxx" >/dev/null 2>&1; then
    echo "check-windows: $cxx not found (run scripts/setup.sh)" >&2
    exit 1
fi
if ! command -v "$ms_cxx" >/dev/null 2>&1; then
    echo "check-windows: $ms_cxx not found (run scripts/setup.sh)" >&2
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

# driver/windows/ holds the Windows image's own entry stub, built with its own headers by
# make windows.
mapfile -t sources < <(find driver -path driver/windows -prune -o -type f -name '*.cpp' -print |
    LC_ALL=C sort)
if [ "${#sources[@]}" -eq 0 ]; then
    echo "check-windows: no driver sources found under driver/" >&2
    exit 1
fi

# The DDK's own warnings under clang are not ours to fix: it is a system header here.
ms_flags=(
    --target=x86_64-w64-mingw32 -fms-extensions -DALLOC_PRAGMA
    -std=c++20 -fsyntax-only -Wall -Wextra -Werror
    -D__INTRINSIC_DEFINED_InterlockedBitTestAndSet
    -D__INTRINSIC_DEFINED_InterlockedBitTestAndReset
    -DWINNT
    -isystem "$ddk"
    -Isim/include/kmdf
    -Idriver/include
    -Icommon
)

failed=0
for src in "${sources[@]}"; do
    for compiler in gnu ms; do
        if [ "$compiler" = gnu ]; then
            out=$("$cxx" "${flags[@]}" "$src" 2>&1) && continue
        else
            out=$("$ms_cxx" "${ms_flags[@]}" "$src" 2>&1) && continue
        fi
        failed=$((failed + 1))
        echo "check-windows: FAILED $src ($compiler)" >&2
        printf '%s\n' "$out" >&2
    done
done

# Every constant the WDM stand-ins define with a plain number, checked against the DDK.
constants=$(mktemp --suffix=.cpp)
trap 'rm -f "$constants"' EXIT
{
    echo '#include <ntddk.h>'
    echo '#include <wmistr.h>'
    echo '#include <evntrace.h>'
    cat sim/include/wdm/wdm.h sim/include/wdm/wmistr.h sim/include/wdm/evntrace.h |
        sed -n -E 's/^#define ((IRP_MN|IRP_MJ|WMIREG|WNODE_FLAG|TRACE_MESSAGE)_[A-Z0-9_]+) (0x[0-9A-Fa-f]+|[0-9]+)$/\1 \3/p' |
        while read -r name value; do
            printf '#ifdef %s\nstatic_assert(%s == %s, "%s: the stand-in says %s");\n#endif\n' \
                "$name" "$name" "$value" "$name" "$value"
        done
} >"$constants"
if ! out=$("$cxx" "${flags[@]}" "$constants" 2>&1); then
    failed=$((failed + 1))
    echo "check-windows: FAILED the stand-in's WDM constants differ from the DDK's" >&2
    printf '%s\n' "$out" >&2
fi

if [ "$failed" -ne 0 ]; then
    echo "check-windows: $failed of ${#sources[@]} driver sources fail against the Windows DDK headers" >&2
    exit 1
fi
echo "check-windows: ${#sources[@]} driver sources compile against the Windows DDK headers"
