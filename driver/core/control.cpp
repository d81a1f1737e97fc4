// tabvolt: the control device that user-mode programs open as \\.\tabvolt, and the driver
// configuration it holds for as long as filter devices exist.
#include "filter.h"

// System: all access; administrators, everyone and restricted code: read, write, execute.
#define CONTROL_DEVICE_SDDL L"D:P(A;;GA;;;SY)(A;;GRGWGX;;;BA)(A;;GRGWGX;;;WD)(A;;GRGWGX;;;RC)"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, FilterCreateControlDevice)
#endif

NTSTATUS FilterCreateControlDevice(WDFDRIVER Driver) {
    UNICODE_STRING sddl;
    UNICODE_STRING deviceName;
    UNICODE_STRING linkName;
    PWDFDEVICE_INIT init;
    WDF_FILEOBJECT_CONFIG fileConfig;
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_IO_QUEUE_CONFIG queueConfig;
    WDFDEVICE control = NULL;
    PCONTROL_DEVICE_EXTENSION extension;
    NTSTATUS status;

    PAGED_CODE();

    RtlInitUnicodeString(&sddl, CONTROL_DEVICE_SDDL);
    RtlInitUnicodeString(&deviceName, VEXA_DEVICE_NAME);
    RtlInitUnicodeString(&linkName, VEXA_SYMBOLIC_LINK_NAME);

    init = WdfControlDeviceInitAllocate(Driver, &sddl);
    if (init == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        goto Cleanup;
    }

    WdfDeviceInitSetExclusive(init, FALSE);
    status = WdfDeviceInitAssignName(init, &deviceName);
    if (!NT_SUCCESS(status)) {
        goto Cleanup;
    }

    WDF_FILEOBJECT_CONFIG_INIT(&fileConfig, FilterEvtDeviceFileCreate, FilterEvtFileClose,
                               WDF_NO_EVENT_CALLBACK);
    WdfDeviceInitSetFileObjectConfig(init, &fileConfig, WDF_NO_OBJECT_ATTRIBUTES);

    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, CONTROL_DEVICE_EXTENSION);
    status = WdfDeviceCreate(&init, &attributes, &control);
    if (!NT_SUCCESS(status)) {
        goto Cleanup;
    }

    status = WdfDeviceCreateSymbolicLink(control, &linkName);
    if (!NT_SUCCESS(status)) {
        goto Cleanup;
    }

    // Sequential: the handlers share the speaker and the device list, one request at a time.
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queueConfig, WdfIoQueueDispatchSequential);
    queueConfig.EvtIoDeviceControl = FilterEvtIoDeviceControl;
    status = WdfIoQueueCreate(control, &queueConfig, WDF_NO_OBJECT_ATTRIBUTES, WDF_NO_HANDLE);
    if (!NT_SUCCESS(status)) {
        goto Cleanup;
    }

    extension = WdfObjectGetTypedContext(control, CONTROL_DEVICE_EXTENSION);
    if (extension == NULL) {
        status = STATUS_UNSUCCESSFUL;
        goto Cleanup;
    }
    RtlZeroMemory(extension, sizeof(CONTROL_DEVICE_EXTENSION));
    FilterReadConfiguration(extension);

    WdfControlFinishInitializing(control);
    ControlDevice = control;
    TraceWrite(TraceGroupControl, TraceControlCreated, "");
    return STATUS_SUCCESS;

Cleanup:
    TraceWrite(TraceGroupControl, TraceControlCreateFailed, "x", status);
    // Device creation consumes the init record; until then it is ours to free.
    if (init != NULL) {
        WdfDeviceInitFree(init);
    }
    if (control != NULL) {
        WdfObjectDelete(control);
    }
    return status;
}

PCONTROL_DEVICE_EXTENSION FilterGetControlExtension(VOID) {
    WDFDEVICE control = ControlDevice;

    return control == NULL ? NULL : ControlGetData(control);
}

VOID FilterEvtDeviceFileCreate(WDFDEVICE Device, WDFREQUEST Request, WDFFILEOBJECT FileObject) {
    UNREFERENCED_PARAMETER(Device);
    UNREFERENCED_PARAMETER(FileObject);
    TraceWrite(TraceGroupControl, TraceControlFileCreate, "");
    WdfRequestComplete(Request, STATUS_SUCCESS);
}

VOID FilterEvtFileClose(WDFFILEOBJECT FileObject) {
    UNREFERENCED_PARAMETER(FileObject);
    TraceWrite(TraceGroupControl, TraceControlFileClose, "");
}
