#!/usr/bin/env bash
# Checks build-windows/tabvolt.sys as the kernel's loader will see it: a PE32+ image for the
# native subsystem, entered at our stub, relocatable, and importing exactly the routines of
# driver/windows/imports.txt (a missing export stops the driver from loading at all, so a new
# import must be added there on purpose).
set -euo pipefail

cd "$(dirname "$0")/.."

image=build-windows/tabvolt.sys
allowed=driver/windows/imports.txt
objdump="${WINDOWS_OBJDUMP:-x86_64-w64-mingw32-objdump}"
nm="${WINDOWS_NM:-x86_64-w64-mingw32-nm}"

fail() {
    echo "check-driver-image: FAILED: $*" >&2
    exit 1
}

[ -f "$image" ] || fail "$image not built (make windows)"
headers=$("$objdump" -p "$image")

field() {
    awk -v name="$1" '$1 == name { print $2; exit }' <<<"$headers"
}
[ "$(field Magic)" = 020b ] || fail "not a PE32+ image (Magic $(field Magic))"
[ "$(field Subsystem)" = 00000001 ] || fail "not for the native subsystem ($(field Subsystem))"
"$objdump" -h "$image" | grep -q ' \.reloc ' || fail "no relocations: the kernel loads drivers anywhere"
entry=$(field AddressOfEntryPoint)
stub=$("$nm" "$image" | awk '$3 == "FxDriverEntry" { print $1 }')
base=$(field ImageBase)
[ -n "$stub" ] && [ $((16#$entry + 16#$base)) -eq $((16#$stub)) ] ||
    fail "the entry point is not FxDriverEntry"

# "DLL Name: X" opens each module's list; its entries are "address hint name".
actual=$(awk '/^\tDLL Name:/ { module = $3; next }
              module != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ { print module, $3; next }
              NF == 0 { module = "" }' <<<"$headers" | LC_ALL=C sort)
expected=$(grep -v '^#' "$allowed" | LC_ALL=C sort)
awk '{ names[$1] = names[$1] " " $2 } END { for (m in names) print "check-driver-image: " m ":" names[m] }' \
    <<<"$actual" | LC_ALL=C sort
if [ "$actual" != "$expected" ]; then
    echo "check-driver-image: imports differ from $allowed (< allowed, > imported):" >&2
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") >&2 || true
    exit 1
fi
echo "check-driver-image: $image is a native PE32+ driver importing $(wc -l <<<"$actual") allowed routines"
