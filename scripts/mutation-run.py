#!/usr/bin/env python3
"""Plants plausible faults in the driver one at a time and reports which tests catch them.

    scripts/mutation-run.py [BUILD_DIR] [NAME...]

Each mutant replaces one exact piece of a driver source (it must occur once), rebuilds
driver_test and ampsim in BUILD_DIR (default build), runs driver_test and the scenario
tests, and restores the source. A mutant is caught when the build of the tests or any test
fails. Not part of `make test`: one pass rebuilds the driver once per mutant.
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
    build = ROOT / "build"
    if args and (ROOT / args[0]).is_dir():
        build = ROOT / args.pop(0)
    chosen = [m for m in MUTANTS if not args or m[0] in args]
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
            by = caught(build)
        finally:
            source.write_text(text)
        print(f"{name}: {'caught by ' + by if by else 'ESCAPED'}", flush=True)
        if by is None:
            escaped.append(name)
    print(f"{len(chosen) - len(escaped)} of {len(chosen)} caught")
    # Leave the build matching the restored sources.
    run(["cmake", "--build", ".", "--target", "driver_test", "ampsim"], build)
    return 1 if escaped else 0


if __name__ == "__main__":
    sys.exit(main())
