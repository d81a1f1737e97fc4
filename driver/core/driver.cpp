// tabvolt: driver entry and unload, and the driver-wide state.
#include "filter.h"

WDFCOLLECTION FilterDevices;
WDFWAITLOCK FilterDevicesLock;
LONG DeviceSerial;
WDFDEVICE ControlDevice;

#ifdef ALLOC_PRAGMA
#pragma alloc_text(INIT, DriverEntry)
#pragma alloc_text(PAGE, FilterEvtDriverUnload)
#endif

NTSTATUS DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
    WDF_DRIVER_CONFIG config;
    WDFDRIVER driver;
    NTSTATUS status;

    TraceStart(DriverObject);

    // A reload starts afresh: handles restart at 1 and nothing refers to the old objects.
    FilterDevices = NULL;
    FilterDevicesLock = NULL;
    ControlDevice = NULL;
    DeviceSerial = 1;

    WDF_DRIVER_CONFIG_INIT(&config, FilterEvtDeviceAdd);
    config.EvtDriverUnload = FilterEvtDriverUnload;
    status =
        WdfDriverCreate(DriverObject, RegistryPath, WDF_NO_OBJECT_ATTRIBUTES, &config, &driver);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryDriverCreateFailed, "x", status);
        goto Fail;
    }

    status = WdfCollectionCreate(WDF_NO_OBJECT_ATTRIBUTES, &FilterDevices);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryCollectionCreateFailed, "x", status);
        goto Fail;
    }

    status = WdfWaitLockCreate(WDF_NO_OBJECT_ATTRIBUTES, &FilterDevicesLock);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryLockCreateFailed, "x", status);
        goto Fail;
    }

    status = FilterCreateControlDevice(driver);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryControlDeviceFailed, "x", status);
        goto Fail;
    }
    return STATUS_SUCCESS;

Fail:
    // The unload callback never runs for a driver whose entry failed, so the trace
    // provider must be unregistered here or it would outlive the driver image.
    TraceStop();
    return status;
}

VOID FilterEvtDriverUnload(WDFDRIVER Driver) {
    UNREFERENCED_PARAMETER(Driver);
    PAGED_CODE();
    TraceWrite(TraceGroupEntry, TraceEntryUnload, "");
    TraceStop();
}
