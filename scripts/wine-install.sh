#!/usr/bin/env bash
# The driver package and the installer under Wine, in a fresh 64-bit prefix (the target is
# 64-bit Windows). First tabvolt.inf alone: its install section applied with Wine's SetupAPI,
# the service key, its Param values and the USB class's UpperFilters read back (another
# driver's filters are there before and must survive), then its removal section. Then the
# installer, run silently: its files, keys and logon task, then its uninstaller, after which
# nothing of ours may be left. Wine cannot do everything Windows does; each gap is named where
# the check is narrowed. The prefix lives in a temporary directory and goes at the end.
set -euo pipefail

cd "$(dirname "$0")/.."

build=build-windows
installer="$build/Ampwise-setup.exe"
boot_seconds=100 # creating a prefix takes 25-40 s here
step_seconds=60

fail() {
    echo "wine-install: FAILED: $*" >&2
    exit 1
}

for file in "$build/tabvolt.sys" driver/tabvolt.inf "$installer"; do
    [ -f "$file" ] || fail "$file not built (make windows)"
done
[ -x /usr/lib/wine/wine64 ] || fail "wine64 not found (run scripts/setup.sh windows)"
wine64=/usr/lib/wine/wine64

work="$(mktemp -d)"
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

start=$SECONDS
timeout "$boot_seconds" "$wine64" wineboot --init >"$work/wineboot.log" 2>&1 ||
    fail "creating the Wine prefix took over ${boot_seconds}s or failed"
echo "wine-install: 64-bit Wine prefix created in $((SECONDS - start))s"

# Wine goes on starting services after a program returns, and while they hold the service
# database the task scheduler cannot start (schtasks then fails with 1053): each step that
# needs services begins with Wine idle.
settle() {
    timeout "$step_seconds" wineserver -w || fail "Wine did not come to rest within ${step_seconds}s"
}

drive_c="$WINEPREFIX/drive_c"
class_key='HKLM\System\CurrentControlSet\Control\Class\{36FC9E60-C465-11CF-8056-444553540000}'
service_key='HKLM\System\CurrentControlSet\Services\tabvoltx'
uninstall_key='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Ampwise'
others='usbfilt\0kbdassist'

# "TYPE data" of a registry value, or nothing when the value or its key is absent.
reg_value() {
    timeout "$step_seconds" "$wine64" reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { $1 = ""; sub(/^ +/, ""); print }'
}
key_exists() {
    timeout "$step_seconds" "$wine64" reg query "$1" >/dev/null 2>&1
}
expect_value() {
    local actual
    actual="$(reg_value "$1" "$2")"
    [ "$actual" = "$3" ] || fail "$1\\$2 is \"$actual\", wanted \"$3\""
}
seed_other_filters() {
    timeout "$step_seconds" "$wine64" reg add "$class_key" /v UpperFilters /t REG_MULTI_SZ \
        /d "$others" /f >/dev/null
}
apply_inf() {
    timeout "$step_seconds" "$wine64" rundll32 setupapi.dll,InstallHinfSection "$1" 128 \
        'C:\package\tabvolt.inf' >>"$work/setupapi.log" 2>&1 || fail "applying $1 failed"
}
# Wine's services delete a service's key a moment after DeleteService returns.
expect_no_service() {
    local deadline=$((SECONDS + 10))
    while key_exists "$service_key"; do
        [ "$SECONDS" -lt "$deadline" ] || fail "$service_key is still there"
        sleep 0.5
    done
}

expect_installed_driver() {
    expect_value "$service_key" Type "REG_DWORD 0x1"
    expect_value "$service_key" Start "REG_DWORD 0x3"
    expect_value "$service_key" ErrorControl "REG_DWORD 0x1"
    expect_value "$service_key" ImagePath 'REG_SZ C:\windows\system32\drivers\tabvolt.sys'
    expect_value "$service_key\\Param" DONTGETSTRDESC "REG_DWORD 0x0"
    expect_value "$service_key\\Param" CHGCMDMODE "REG_DWORD 0x0"
    expect_value "$class_key" UpperFilters "REG_MULTI_SZ $others\\0tabvoltx"
    # A 32-bit process that forgot the redirection would have put it under SysWOW64.
    cmp -s "$build/tabvolt.sys" "$drive_c/windows/system32/drivers/tabvolt.sys" ||
        fail "tabvolt.sys is not in the 64-bit System32\\drivers"
    [ ! -e "$drive_c/windows/syswow64/drivers/tabvolt.sys" ] ||
        fail "tabvolt.sys went to SysWOW64\\drivers"
}

# Wine's SetupAPI (8.0 and later) deletes one string of a multi-string correctly but stores
# the result with its length in characters where bytes are due, so only the first half of
# the remaining list's bytes is kept. Windows keeps the whole list; here the other filters
# must be what is left, or a leading part of it, and our own name must be gone.
expect_removed_driver() {
    local filters
    expect_no_service
    [ ! -e "$drive_c/windows/system32/drivers/tabvolt.sys" ] || fail "tabvolt.sys is still there"
    filters="$(reg_value "$class_key" UpperFilters)"
    case "$filters" in
    *tabvoltx*) fail "UpperFilters still names tabvoltx: $filters" ;;
    "REG_MULTI_SZ $others") ;;
    "REG_MULTI_SZ "?*)
        [[ "$others" == "${filters#REG_MULTI_SZ }"* ]] ||
            fail "UpperFilters lost another driver's entries: $filters"
        echo "wine-install: Wine kept only \"${filters#REG_MULTI_SZ }\" of the other filters (its own defect)"
        ;;
    *) fail "UpperFilters lost another driver's entries: \"$filters\"" ;;
    esac
}

# The INF alone, from a directory of its own as a driver package is shipped.
settle
mkdir -p "$drive_c/package"
cp driver/tabvolt.inf "$build/tabvolt.sys" "$drive_c/package/"
seed_other_filters
apply_inf DefaultInstall
expect_installed_driver
# Applied again: our name is not added twice, and a setting the user made stays.
timeout "$step_seconds" "$wine64" reg add "$service_key\\Param" /v CHGCMDMODE /t REG_DWORD /d 2 \
    /f >/dev/null
apply_inf DefaultInstall
expect_value "$class_key" UpperFilters "REG_MULTI_SZ $others\\0tabvoltx"
expect_value "$service_key\\Param" CHGCMDMODE "REG_DWORD 0x2"
apply_inf DefaultUninstall
expect_removed_driver
echo "wine-install: tabvolt.inf installs the service, its Param values and the class filter, and takes them out again"

# The installer is a 32-bit program: a kernel that runs none cannot run it.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "wine-install: this kernel runs no 32-bit programs; the installer was not run"
    exit 0
fi
seed_other_filters
settle
program="$drive_c/Program Files (x86)/Ampwise"
timeout "$step_seconds" /usr/lib/wine/wine "$installer" /S >"$work/installer.log" 2>&1 ||
    fail "the installer failed (exit status $?)"
for file in Ampwise.exe Uninstall.exe driver/tabvolt.sys driver/tabvolt.inf; do
    [ -f "$program/$file" ] || fail "the installer did not install $file"
done
cmp -s "$build/Ampwise.exe" "$program/Ampwise.exe" || fail "Ampwise.exe differs from the build"
expect_installed_driver
expect_value "$uninstall_key" UninstallString 'REG_SZ "C:\Program Files (x86)\Ampwise\Uninstall.exe"'
# Wine's task scheduler keeps the task but neither its logon trigger, its run level nor its
# command, so only the task's presence is checked.
[ -f "$drive_c/windows/system32/tasks/Ampwise" ] || fail "no logon task Ampwise"

# The uninstaller copies itself away and returns at once; wineserver -w waits for it.
timeout "$step_seconds" /usr/lib/wine/wine "$program/Uninstall.exe" /S >"$work/uninstall.log" 2>&1 ||
    fail "the uninstaller failed to start"
settle
[ ! -e "$program" ] || fail "$program is still there: $(ls -R "$program")"
! key_exists "$uninstall_key" || fail "$uninstall_key is still there"
[ ! -e "$drive_c/windows/system32/tasks/Ampwise" ] || fail "the logon task is still there"
expect_removed_driver
echo "wine-install: the installer put Ampwise, the driver package and the logon task in place, and its uninstaller left nothing of ours"
