// tabvolt: filter device lifecycle — device add, the PnP and power callbacks, cleanup.
#include "filter.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, FilterEvtDeviceAdd)
#pragma alloc_text(PAGE, FilterEvtDeviceContextCleanup)
#endif

// Copies a container-ID text; a text without terminator within its buffer is cut so that
// the copy is always terminated.
static VOID CopyIdentText(PUCHAR Destination, const UCHAR* Source) {
    SIZE_T length = 0;

    while (length < IDENT_TEXT_SIZE - 1 && Source[length] != 0) {
        length++;
    }
    RtlCopyMemory(Destination, Source, length);
    Destination[length] = 0;
}

NTSTATUS FilterEvtDeviceAdd(WDFDRIVER Driver, PWDFDEVICE_INIT DeviceInit) {
    UCHAR containerId[IDENT_TEXT_SIZE];
    WDF_PNPPOWER_EVENT_CALLBACKS pnpCallbacks;
    WDF_OBJECT_ATTRIBUTES attributes;
    PDEVICE_OBJECT pdo;
    WDFDEVICE device;
    PFILTER_EXTENSION extension;
    ULONG resultLength;
    NTSTATUS status;

    PAGED_CODE();
    TraceWrite(TraceGroupEntry, TraceEntryDeviceAddCallback, "s", "FilterEvtDeviceAdd");

    if (FilterShouldSkipDevice(DeviceInit)) {
        return STATUS_SUCCESS;
    }

    status = WdfFdoInitQueryProperty(DeviceInit, DevicePropertyContainerID, sizeof(containerId),
                                     containerId, &resultLength);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryContainerIdUnreadable, "p", DeviceInit);
        RtlZeroMemory(containerId, sizeof(containerId));
    }
    NarrowWideString(containerId, sizeof(containerId));
    // A property without a zero unit leaves the narrowed text unterminated; end it where
    // the narrowing stopped.
    if (memchr(containerId, 0, sizeof(containerId) / 2) == NULL) {
        containerId[sizeof(containerId) / 2] = 0;
    }
    StrToUpperInPlace((PCHAR)containerId, sizeof(containerId));
    TraceWrite(TraceGroupEntry, TraceEntryContainerIdText, "s", containerId);

    WdfFdoInitSetFilter(DeviceInit);
    pdo = WdfFdoInitWdmGetPhysicalDevice(DeviceInit);

    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnpCallbacks);
    pnpCallbacks.EvtDeviceD0Entry = FilterEvtDeviceD0Entry;
    pnpCallbacks.EvtDeviceD0Exit = FilterEvtDeviceD0Exit;
    pnpCallbacks.EvtDevicePrepareHardware = FilterEvtDevicePrepareHardware;
    pnpCallbacks.EvtDeviceReleaseHardware = FilterEvtDeviceReleaseHardware;
    WdfDeviceInitSetPnpPowerEventCallbacks(DeviceInit, &pnpCallbacks);

    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, FILTER_EXTENSION);
    attributes.EvtCleanupCallback = FilterEvtDeviceContextCleanup;

    status = WdfDeviceInitAssignWdmIrpPreprocessCallback(
        DeviceInit, FilterEvtDeviceWdmIrpPreprocess, IRP_MJ_POWER, NULL, 0);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryDeviceCreateFailed, "x", status);
        return status;
    }

    status = WdfDeviceCreate(&DeviceInit, &attributes, &device);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryDeviceCreateFailed, "x", status);
        return status;
    }

    extension = FilterGetData(device);
    // Read and increment in one step, so that adds running in parallel never share a handle.
    extension->Handle = (ULONG)(InterlockedIncrement(&DeviceSerial) - 1);
    CopyIdentText(extension->ContainerId, containerId);
    extension->Pdo = pdo;
    extension->LowerDevice = WdfDeviceWdmGetAttachedDevice(device);
    TraceWrite(TraceGroupEntry, TraceEntryStackDevices, "pp", extension->LowerDevice,
               extension->Pdo);
    TraceWrite(TraceGroupEntry, TraceEntryDeviceAdded, "u", extension->Handle);

    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    status = WdfCollectionAdd(FilterDevices, device);
    // The control device went with the last device while a program's open handle kept the
    // driver loaded; without a new one no program would reach the devices again. Created
    // under the lock, so that adds in parallel create one, and cleanup cannot take it
    // between the check and the creation.
    if (NT_SUCCESS(status) && ControlDevice == NULL) {
        (VOID) FilterCreateControlDevice(Driver);
    }
    WdfWaitLockRelease(FilterDevicesLock);
    if (!NT_SUCCESS(status)) {
        // The device stays attached but is not listed, so no client can reach it.
        TraceWrite(TraceGroupEntry, TraceEntryCollectionAddFailed, "x", status);
    }
    return STATUS_SUCCESS;
}

VOID FilterEvtDeviceContextCleanup(WDFOBJECT Device) {
    WDFDEVICE control = NULL;
    ULONG count;
    ULONG index;
    BOOLEAN listed = FALSE;

    PAGED_CODE();
    TraceWrite(TraceGroupEntry, TraceEntryCleanup, "");

    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    count = WdfCollectionGetCount(FilterDevices);
    TraceWrite(TraceGroupEntry, TraceEntryCleanupCount, "u", count);
    // A device whose collection add failed was never listed: it neither leaves the
    // collection nor counts as the last one.
    for (index = 0; index < count; index++) {
        if (WdfCollectionGetItem(FilterDevices, index) == Device) {
            listed = TRUE;
            break;
        }
    }
    if (listed) {
        WdfCollectionRemove(FilterDevices, Device);
    }
    // Taken under the lock, so that a device added meanwhile either finds it still there
    // or finds it gone and creates a new one. Cleared before the deletion, which waits
    // for requests already queued: those must find the control device gone rather than
    // reach its configuration as it goes.
    if (listed && count == 1) {
        control = ControlDevice;
        ControlDevice = NULL;
    }
    WdfWaitLockRelease(FilterDevicesLock);

    // No lookup can reach the device's USB target any more.
    if (FilterGetData(Device)->UsbDevice != NULL) {
        WdfObjectDereference(FilterGetData(Device)->UsbDevice);
    }

    if (control != NULL) {
        TraceWrite(TraceGroupEntry, TraceEntryCleanupLast, "");
        WdfObjectDelete(control);
        TraceWrite(TraceGroupEntry, TraceEntryControlDeviceDeleted, "");
    }
}

NTSTATUS FilterEvtDevicePrepareHardware(WDFDEVICE Device, WDFCMRESLIST ResourcesRaw,
                                        WDFCMRESLIST ResourcesTranslated) {
    PFILTER_EXTENSION extension = FilterGetData(Device);

    UNREFERENCED_PARAMETER(ResourcesRaw);
    UNREFERENCED_PARAMETER(ResourcesTranslated);
    TraceWrite(TraceGroupPnp, TracePnpCallback, "s", "FilterEvtDevicePrepareHardware");

    FilterReadDeviceInformation(Device, extension);
    return STATUS_SUCCESS;
}

NTSTATUS FilterEvtDeviceReleaseHardware(WDFDEVICE Device, WDFCMRESLIST ResourcesTranslated) {
    UNREFERENCED_PARAMETER(Device);
    UNREFERENCED_PARAMETER(ResourcesTranslated);
    TraceWrite(TraceGroupPnp, TracePnpCallback, "s", "FilterEvtDeviceReleaseHardware");
    return STATUS_SUCCESS;
}

NTSTATUS FilterEvtDeviceD0Entry(WDFDEVICE Device, WDF_POWER_DEVICE_STATE PreviousState) {
    UNREFERENCED_PARAMETER(PreviousState);
    TraceWrite(TraceGroupPnp, TracePnpCallback, "s", "FilterEvtDeviceD0Entry");
    // After every power-up the tablet must be asked for charging current again.
    FilterGetData(Device)->ChargeSent = 0;
    return STATUS_SUCCESS;
}

NTSTATUS FilterEvtDeviceD0Exit(WDFDEVICE Device, WDF_POWER_DEVICE_STATE TargetState) {
    UNREFERENCED_PARAMETER(Device);
    TraceWrite(TraceGroupPnp, TracePnpCallback, "s", "FilterEvtDeviceD0Exit");
    TraceWrite(TraceGroupPnp, TracePnpD0ExitTarget, "u", (ULONG)TargetState);
    return STATUS_SUCCESS;
}

NTSTATUS FilterEvtDeviceWdmIrpPreprocess(WDFDEVICE Device, PIRP Irp) {
    TraceWrite(TraceGroupPnp, TracePnpCallback, "s", "FilterEvtDeviceWdmIrpPreprocess");
    PoStartNextPowerIrp(Irp);
    IoSkipCurrentIrpStackLocation(Irp);
    return WdfDeviceWdmDispatchPreprocessedIrp(Device, Irp);
}
