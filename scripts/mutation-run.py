#!/usr/bin/env python3
"""Plants plausible faults one at a time and reports which tests catch them.

    scripts/mutation-run.py [--app] [BUILD_DIR] [NAME...]

Each mutant replaces one exact piece of a source (it must occur once) and restores it after.
Driver mutants rebuild driver_test and ampsim in BUILD_DIR (default build) and run
driver_test and the scenario tests; with --app, the application's mutants rebuild everything
and run all of ctest, as `make test` would. A mutant is caught when the build of the tests or
any test fails. Not part of `make test`: one pass rebuilds once per mutant.
"""
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# name, file, original text, planted text; a mutant that changes several places gives a
# tuple of originals and one of planted texts.
MUTANTS = [
    ("transfer input one byte short", "driver/core/ioctl.cpp",
     "status = GetInput(Control, (SIZE_T)VEXA_REQUEST_HEADER_SIZE + length);",
     "status = GetInput(Control, (SIZE_T)VEXA_REQUEST_HEADER_SIZE + length - 1);"),
    ("charge byte inverted", "driver/core/ioctl.cpp",
     "EnableTabCharging(Control->Buffer[0] != 0)", "EnableTabCharging(Control->Buffer[0] == 0)"),
    ("topology fallback order swapped", "driver/usb/queries.cpp",
     ("FilterGetUsbTopologyAddress_wdm(Extension->Pdo,",
      "FilterGetUsbTopologyAddress_wdm(Extension->LowerDevice,", "SWAPPED_PDO,"),
     ("FilterGetUsbTopologyAddress_wdm(SWAPPED_PDO,",
      "FilterGetUsbTopologyAddress_wdm(Extension->Pdo,", "Extension->LowerDevice,")),
    ("key leaked when the reference fails", "driver/usb/queries.cpp",
     "    if (!NT_SUCCESS(status)) {\n        ZwClose(key);\n        return status;",
     "    if (!NT_SUCCESS(status)) {\n        return status;"),
    ("list walked without the lock", "driver/usb/lookups.cpp",
     ("    RtlZeroMemory(Reply, DEVICE_LIST_HEADER_SIZE + DEVICE_ENTRY_SIZE * (SIZE_T)Capacity);\n"
      "    WdfWaitLockAcquire(FilterDevicesLock, NULL);\n",
      "    WirePutUlong(Reply + 4, count);\n    *Serial = (ULONG)DeviceSerial;\n"
      "    WdfWaitLockRelease(FilterDevicesLock);\n"),
     ("    RtlZeroMemory(Reply, DEVICE_LIST_HEADER_SIZE + DEVICE_ENTRY_SIZE * (SIZE_T)Capacity);\n",
      "    WirePutUlong(Reply + 4, count);\n    *Serial = (ULONG)DeviceSerial;\n")),
    ("string query without the lock", "driver/usb/lookups.cpp",
     ("    RtlZeroMemory(Area, Capacity);\n    WdfWaitLockAcquire(FilterDevicesLock, NULL);\n",
      "            DumpDeviceText(text);\n        }\n    }\n    *Serial = (ULONG)DeviceSerial;\n"
      "    WdfWaitLockRelease(FilterDevicesLock);\n"),
     ("    RtlZeroMemory(Area, Capacity);\n",
      "            DumpDeviceText(text);\n        }\n    }\n    *Serial = (ULONG)DeviceSerial;\n")),
    ("snapshot read past its end", "driver/usb/charging.cpp",
     "    if (listed > count) {\n        listed = count;\n    }\n", ""),
    ("list reply one entry short", "driver/core/ioctl.cpp",
     "/ DEVICE_ENTRY_SIZE + 1;", "/ DEVICE_ENTRY_SIZE;"),
    ("query output one byte short", "driver/core/ioctl.cpp",
     "GetOutput(Control, (SIZE_T)VEXA_QUERY_HEADER_SIZE + capacity)",
     "GetOutput(Control, (SIZE_T)VEXA_QUERY_HEADER_SIZE + capacity - 1)"),
    ("topology output one byte short", "driver/core/ioctl.cpp",
     "GetOutput(Control, TOPOLOGY_REPLY_SIZE)", "GetOutput(Control, TOPOLOGY_REPLY_SIZE - 1)"),
    ("field copied to the whole capacity", "driver/usb/lookups.cpp",
     "Capacity < IDENT_TEXT_SIZE ? Capacity : IDENT_TEXT_SIZE", "Capacity"),
    ("found device not referenced", "driver/usb/lookups.cpp",
     "    if (device != NULL) {\n        WdfObjectReference(device);\n",
     "    if (device != NULL) {\n"),
    ("name buffer not freed", "driver/usb/queries.cpp",
     "    if (nameInfo != NULL) {\n        ExFreePoolWithTag(nameInfo, TABVOLT_POOL_TAG);\n    }\n",
     ""),
    ("key object not dereferenced", "driver/usb/queries.cpp",
     "    ObDereferenceObject(keyObject);\n", ""),
    ("fallback taken on success", "driver/usb/transfers.cpp",
     "    if (!NT_SUCCESS(status)) {\n        TraceWrite(TraceGroupWdm, TraceWdmPdoFailed",
     "    if (NT_SUCCESS(status)) {\n        TraceWrite(TraceGroupWdm, TraceWdmPdoFailed"),
    ("bounded wait ten times too long", "driver/usb/transfers.cpp",
     "(-50000LL)", "(-500000LL)"),
    ("charged tablet test inverted", "driver/usb/charging.cpp",
     "if (entry.ChargeSent == 1) {", "if (entry.ChargeSent == 0) {"),
    ("high-current product bound off by one", "driver/usb/charging.cpp",
     "ProductId <= CHARGE_LAST_HIGH_PRODUCT", "ProductId < CHARGE_LAST_HIGH_PRODUCT"),
    ("registry key not closed", "driver/core/config.cpp",
     "    if (key != NULL) {\n        ZwClose(key);\n    }\n", ""),
    ("charge flag not cleared on resume", "driver/core/device.cpp",
     "    FilterGetData(Device)->ChargeSent = 0;\n", "    UNREFERENCED_PARAMETER(Device);\n"),
    ("found device not released after a transfer", "driver/core/ioctl.cpp",
     "    FilterReleaseFoundDevice(", "    (void)("),
    ("port command sent to the device", "driver/core/ioctl.cpp",
     "FilterSendPortRequest(", "FilterSendDeviceRequest("),
    ("listing ignores its capacity", "driver/usb/lookups.cpp",
     "index < count && index < Capacity", "index < count"),
    ("string read falls back to the Pdo again", "driver/usb/queries.cpp",
     "        status =\n            FilterGetStringDescriptor_wdm(extension->LowerDevice,",
     "        status =\n            FilterGetStringDescriptor_wdm(extension->Pdo,"),
    ("instance component moved without its end", "driver/usb/queries.cpp",
     "RtlMoveMemory(Destination, Destination + start, last - start);",
     "RtlMoveMemory(Destination, Destination + start, last - start - 1);"),
    ("name buffer size overstated", "driver/usb/queries.cpp",
     "status = ObQueryNameString(keyObject, nameInfo, NAME_BUFFER_SIZE, &returned);",
     "status = ObQueryNameString(keyObject, nameInfo, NAME_BUFFER_SIZE + 64, &returned);"),
]


def run(command, build):
    return subprocess.run(command, cwd=build, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


# Faults planted in Ampwise: lists, passes, messages, the tray, the registry route and what a
# program must release.
APP_MUTANTS = [
    ("tab test with hub and tablet swapped", "app/client/poll_devices.cpp",
     "IsUpstreamOf(pass.hubs[h], pass.tabs[t])", "IsUpstreamOf(pass.tabs[t], pass.hubs[h])"),
    ("every pass is the first", "app/client/poll_devices.cpp",
     "if (g_first_pass == 1 && notes->new_hub) {", "if (notes->new_hub) {"),
    ("port modes swapped", "app/client/poll_devices.cpp",
     "charging ? HUB_PORT_MODE_CHARGING : HUB_PORT_MODE_NORMAL",
     "charging ? HUB_PORT_MODE_NORMAL : HUB_PORT_MODE_CHARGING"),
    ("pending bit never cleared", "app/client/poll_devices.cpp",
     "hubs.port_cmd[k] = cmd & ~1UL;", "hubs.port_cmd[k] = cmd;"),
    ("last hub slot never served", "app/client/poll_devices.cpp",
     "    for (int k = 0; k < DEVICE_SLOT_COUNT; k++) {\n        ULONG cmd",
     "    for (int k = 0; k < DEVICE_SLOT_COUNT - 1; k++) {\n        ULONG cmd"),
    ("pass leaks the device handle", "app/client/poll_devices.cpp",
     "    CloseHandle(device);\n    HeapFree(GetProcessHeap(), 0, list);",
     "    HeapFree(GetProcessHeap(), 0, list);"),
    ("hub removal not announced", "app/client/poll_devices.cpp",
     "    if (notes.hubs_removed > 0) {", "    if (notes.hubs_removed > 1) {"),
    ("failed list taken as empty", "app/client/poll_devices.cpp",
     "GetLastError());\n        HeapFree(heap, 0, list);\n        return NULL;\n    }\n    ULONG",
     "GetLastError());\n        list->count = 0;\n    }\n    ULONG"),
    ("sweep keeps the port state", "app/client/device_slot_list.cpp",
     "            port_cmd[slot] = 0;\n            port_state[slot] = 0;\n            count--;",
     "            port_cmd[slot] = 0;\n            count--;"),
    ("list takes a ninth device", "app/client/device_slot_list.cpp",
     "if (count >= DEVICE_SLOT_COUNT) {", "if (count > DEVICE_SLOT_COUNT) {"),
    ("the shallowest hub wins", "app/client/device_slot_list.cpp",
     "HubDepth(records[slot]) > HubDepth(records[found])",
     "HubDepth(records[slot]) < HubDepth(records[found])"),
    ("PCI function ignored", "app/client/topo_addr.cpp",
     "a.PciDeviceNumber == b.PciDeviceNumber &&\n           a.PciFunctionNumber == b.PciFunctionNumber &&",
     "a.PciDeviceNumber == b.PciDeviceNumber &&"),
    ("parent port from the first level", "app/client/topo_addr.cpp",
     "return depth == 0 ? dev.RootHubPortNumber : dev.HubPortNumber[depth - 1];",
     "return depth == 0 ? dev.RootHubPortNumber : dev.HubPortNumber[0];"),
    ("charging hint after a switch to normal", "app/ui/main_dlg.cpp",
     "    if (on != 0 && m_notify_dlg != NULL) {", "    if (m_notify_dlg != NULL) {"),
    ("resume asks for normal mode", "app/ui/main_dlg.cpp",
     "SetHubPortCommand(hubSlot, 1, 1);", "SetHubPortCommand(hubSlot, 1, 0);"),
    ("driver loss keeps the dialog", "app/ui/main_dlg.cpp",
     "    m_tab_list.Unlock();\n    CloseNotifyDlg();\n}", "    m_tab_list.Unlock();\n}"),
    ("menu hub ids one short", "app/ui/main_dlg.cpp",
     "(wParam & 0xFF) < ID_MENU_HUB_FIRST + DEVICE_SLOT_COUNT",
     "(wParam & 0xFF) < ID_MENU_HUB_FIRST + DEVICE_SLOT_COUNT - 1"),
    ("balloon timer never killed", "app/ui/main_dlg.cpp",
     "                KillTimer(BALLOON_TIMER_ID);\n", ""),
    ("menu not destroyed", "app/ui/tray.cpp",
     "    PostMessage(WM_NULL, 0, 0);\n    DestroyMenu(menu);", "    PostMessage(WM_NULL, 0, 0);"),
    ("context-menu key ignored", "app/ui/tray.cpp",
     "(lParam != WM_CONTEXTMENU && lParam != WM_RBUTTONDOWN)", "lParam != WM_RBUTTONDOWN"),
    ("long tooltip taken", "app/ui/tray.cpp",
     "CharacterCount(text) > TRAY_TIP_MAX_CHARS ||", "CharacterCount(text) > 127 ||"),
    ("key left open when already 0", "app/client/hub_registry.cpp",
     "        DebugPrint(\"already disable SS, exit\\n\");\n        RegCloseKey(key);",
     "        DebugPrint(\"already disable SS, exit\\n\");"),
    ("process handle of cmd.exe kept", "app/client/power_plan.cpp",
     "    if (info.hProcess != NULL) {\n        CloseHandle(info.hProcess);\n    }\n", ""),
    ("four port-command requests", "app/client/driver_client.cpp",
     "attempt <= PORT_COMMAND_ATTEMPTS;", "attempt < PORT_COMMAND_ATTEMPTS;"),
]


def failed_tests(build):
    """The driver tests that fail (or the one running when the process stopped), or None."""
    result = subprocess.run(["./tests/driver_test"], cwd=build, capture_output=True, text=True)
    if result.returncode == 0:
        return None
    lines = (result.stdout + result.stderr).splitlines()
    failed = sorted({line.split()[3] for line in lines if line.startswith("[  FAILED  ] ")
                     and len(line.split()) > 3 and "." in line.split()[3]})
    if failed:
        return ", ".join(failed)
    running = [line.split()[3] for line in lines if line.startswith("[ RUN      ] ")]
    return (running[-1] if running else "?") + " (stopped)"


def caught_by_all(build):
    if not run(["cmake", "--build", "."], build):
        return "build"
    result = subprocess.run(["ctest", "-j2", "--no-tests=error"], cwd=build,
                            capture_output=True, text=True)
    if result.returncode == 0:
        return None
    failed = [line.split(" - ")[1].split(" (")[0] for line in result.stdout.splitlines()
              if " - " in line and ("(Failed)" in line or "(Timeout)" in line)]
    return ", ".join(failed[:4]) or "ctest"


def caught(build):
    if not run(["cmake", "--build", ".", "--target", "driver_test", "ampsim"], build):
        return "build"
    tests = failed_tests(build)
    if tests:
        return tests
    if not run(["ctest", "-R", "^scenario\\.", "--no-tests=error"], build):
        return "scenario tests"
    return None


def main():
    args = sys.argv[1:]
    app = "--app" in args
    args = [a for a in args if a != "--app"]
    mutants, check = (APP_MUTANTS, caught_by_all) if app else (MUTANTS, caught)
    build = ROOT / "build"
    if args and (ROOT / args[0]).is_dir():
        build = ROOT / args.pop(0)
    chosen = [m for m in mutants if not args or m[0] in args]
    escaped = []
    for name, path, original, planted in chosen:
        source = ROOT / path
        text = source.read_text()
        originals = original if isinstance(original, tuple) else (original,)
        planteds = planted if isinstance(planted, tuple) else (planted,)
        mutated = text
        for before, after in zip(originals, planteds):
            if mutated.count(before) != 1:
                sys.exit(f"mutant '{name}': its text does not occur exactly once in {path}")
            mutated = mutated.replace(before, after)
        source.write_text(mutated)
        try:
            by = check(build)
        finally:
            source.write_text(text)
        print(f"{name}: {'caught by ' + by if by else 'ESCAPED'}", flush=True)
        if by is None:
            escaped.append(name)
    print(f"{len(chosen) - len(escaped)} of {len(chosen)} caught")
    # Leave the build matching the restored sources.
    run(["cmake", "--build", "."] if app else
        ["cmake", "--build", ".", "--target", "driver_test", "ampsim"], build)
    return 1 if escaped else 0


if __name__ == "__main__":
    sys.exit(main())
