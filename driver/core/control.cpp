// tabvolt: the object that holds the driver's configuration for as long as filter devices
// exist.
#include "filter.h"

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, FilterCreateControlDevice)
#endif

NTSTATUS FilterCreateControlDevice(WDFDRIVER Driver) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDFOBJECT control;
    PCONTROL_DEVICE_EXTENSION extension;
    NTSTATUS status;

    PAGED_CODE();

    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, CONTROL_DEVICE_EXTENSION);
    attributes.ParentObject = Driver;
    status = WdfObjectCreate(&attributes, &control);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    extension = ControlGetData(control);
    if (extension == NULL) {
        WdfObjectDelete(control);
        return STATUS_UNSUCCESSFUL;
    }
    RtlZeroMemory(extension, sizeof(CONTROL_DEVICE_EXTENSION));
    FilterReadConfiguration(extension);

    ControlDevice = control;
    TraceWrite(TraceGroupControl, TraceControlCreated, "");
    return STATUS_SUCCESS;
}

PCONTROL_DEVICE_EXTENSION FilterGetControlExtension(VOID) {
    WDFOBJECT control = ControlDevice;

    return control == NULL ? NULL : ControlGetData(control);
}
