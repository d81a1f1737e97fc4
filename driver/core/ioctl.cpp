// tabvolt: the I/O-control interface of the control device. Requests are buffered, so the
// input and the output of one request are the same system buffer. Every handler checks that
// both buffers hold what it reads and writes before it touches either, and clears whatever
// it reports that neither the caller's input nor the handler filled, so no stale pool
// content ever reaches the caller.
#include "filter.h"

#define DEVICE_NUM_REPLY_SIZE sizeof(VEXA_DEVICE_LIST)
#define DEVICE_ENTRY_SIZE sizeof(VEXA_DEVICE_ENTRY)
#define TOPOLOGY_REQUEST_SIZE 8
#define TOPOLOGY_REPLY_SIZE sizeof(VEXA_TOPOLOGY)
#define SHORT_REPLY_SIZE 4

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, FilterEvtIoDeviceControl)
#endif

// The request's buffers, retrieved once their lengths are known to be enough.
typedef struct _CONTROL_REQUEST {
    WDFREQUEST Request;
    size_t InputLength;
    size_t OutputLength;
    PUCHAR Buffer;
} CONTROL_REQUEST, *PCONTROL_REQUEST;

// The framework refuses an empty buffer or one below the minimum with
// STATUS_BUFFER_TOO_SMALL; asking for at least the whole length keeps that check, and
// `Needed` adds what the handler is about to read.
static NTSTATUS GetInput(PCONTROL_REQUEST Control, size_t Needed) {
    PVOID buffer;
    NTSTATUS status = WdfRequestRetrieveInputBuffer(
        Control->Request, Control->InputLength > Needed ? Control->InputLength : Needed, &buffer,
        NULL);

    if (NT_SUCCESS(status)) {
        Control->Buffer = (PUCHAR)buffer;
    }
    return status;
}

static NTSTATUS GetOutput(PCONTROL_REQUEST Control, size_t Needed) {
    PVOID buffer;
    NTSTATUS status = WdfRequestRetrieveOutputBuffer(
        Control->Request, Control->OutputLength > Needed ? Control->OutputLength : Needed, &buffer,
        NULL);

    if (NT_SUCCESS(status)) {
        Control->Buffer = (PUCHAR)buffer;
        // The reply beyond the caller's input would otherwise carry stale pool content.
        if (Control->OutputLength > Control->InputLength) {
            RtlZeroMemory(Control->Buffer + Control->InputLength,
                          Control->OutputLength - Control->InputLength);
        }
    }
    return status;
}

static NTSTATUS HandleGetDeviceNum(PCONTROL_REQUEST Control, PULONG_PTR Information) {
    ULONG serial;
    ULONG count;
    NTSTATUS status = GetOutput(Control, DEVICE_NUM_REPLY_SIZE);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    count = GetFilterDeviceCount(&serial);
    // Reported as a one-entry list whose entry carries nothing.
    RtlZeroMemory(Control->Buffer, DEVICE_NUM_REPLY_SIZE);
    WirePutUlong(Control->Buffer, serial);
    WirePutUlong(Control->Buffer + 4, count);
    *Information = DEVICE_NUM_REPLY_SIZE;
    return STATUS_SUCCESS;
}

static NTSTATUS HandleEnumDevices(PCONTROL_REQUEST Control, PULONG_PTR Information) {
    ULONG serial;
    SIZE_T entries;
    SIZE_T used;
    NTSTATUS status = GetOutput(Control, DEVICE_NUM_REPLY_SIZE);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    entries = (Control->OutputLength - DEVICE_NUM_REPLY_SIZE) / DEVICE_ENTRY_SIZE + 1;
    EnumFilterDevices(&serial, Control->Buffer, (ULONG)entries);
    WirePutUlong(Control->Buffer, serial);
    // Less than one entry's worth is left after the whole entries; it is reported too.
    used = VEXA_DEVICE_LIST_HEADER_SIZE + entries * DEVICE_ENTRY_SIZE;
    RtlZeroMemory(Control->Buffer + used, Control->OutputLength - used);
    *Information = Control->OutputLength;
    return STATUS_SUCCESS;
}

// The found device stays referenced until its transfer has returned, so a removal in the
// meantime makes the transfer fail instead of using a deleted device.
static NTSTATUS HandleTransfer(PCONTROL_REQUEST Control, ULONG IoControlCode,
                               PULONG_PTR Information) {
    ULONG serial;
    ULONG handle;
    USHORT length;
    USHORT index;
    ULONG firstData = 0;
    PUCHAR record;
    PVOID data;
    FOUND_FILTER_DEVICE found;
    NTSTATUS status = GetInput(Control, VEXA_REQUEST_HEADER_SIZE);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    length = WireGetUshort(Control->Buffer + 14);
    status = GetInput(Control, (SIZE_T)VEXA_REQUEST_HEADER_SIZE + length);
    if (NT_SUCCESS(status)) {
        status = GetOutput(Control, (SIZE_T)VEXA_REQUEST_HEADER_SIZE + length);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    record = Control->Buffer;
    handle = WireGetUlong(record + 4);
    // The data bytes that lie inside the caller's record, whatever its wLength says.
    for (index = 0; index < 4 && VEXA_REQUEST_HEADER_SIZE + (SIZE_T)index < Control->InputLength;
         index++) {
        firstData |= (ULONG)record[VEXA_REQUEST_HEADER_SIZE + index] << (8 * index);
    }
    TraceWrite(TraceGroupControl, TraceControlTransfer, "ux", handle, firstData);

    status = FindFilterDeviceByHandle(&serial, handle, &found);
    WirePutUlong(record, serial);
    if (!NT_SUCCESS(status)) {
        return STATUS_UNSUCCESSFUL;
    }
    data = length != 0 ? record + VEXA_REQUEST_HEADER_SIZE : NULL;
    if (IoControlCode == VEXA_IOCTL_HUB_PORT_COMMAND) {
        status =
            FilterSendPortRequest(found.Device, record[8], record[9], WireGetUshort(record + 10),
                                  WireGetUshort(record + 12), length, data);
    } else {
        status =
            FilterSendDeviceRequest(found.Device, record[8], record[9], WireGetUshort(record + 10),
                                    WireGetUshort(record + 12), length, data);
    }
    FilterReleaseFoundDevice(&found);
    if (NT_SUCCESS(status)) {
        *Information = Control->OutputLength;
    }
    return status;
}

static NTSTATUS HandleStringQuery(PCONTROL_REQUEST Control, ULONG IoControlCode,
                                  PULONG_PTR Information) {
    ULONG serial;
    ULONG handle;
    ULONG capacity;
    PUCHAR area;
    NTSTATUS status = GetInput(Control, VEXA_QUERY_HEADER_SIZE);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    handle = WireGetUlong(Control->Buffer + 4);
    capacity = WireGetUlong(Control->Buffer + 8);
    status = GetOutput(Control, (SIZE_T)VEXA_QUERY_HEADER_SIZE + capacity);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    area = Control->Buffer + VEXA_QUERY_HEADER_SIZE;
    switch (IoControlCode) {
        case VEXA_IOCTL_GET_SERIAL_STRING:
            status = QueryFilterDeviceSerialStr(&serial, handle, area, capacity);
            break;
        case VEXA_IOCTL_GET_INSTANCE_ID:
            status = QueryFilterDeviceInstanceID(&serial, handle, area, capacity);
            break;
        default:
            status = QueryFilterDeviceContainerID(&serial, handle, area, capacity,
                                                  IoControlCode == VEXA_IOCTL_GET_BOS_CONTAINER_ID);
            break;
    }
    WirePutUlong(Control->Buffer, serial);
    *Information = Control->OutputLength;
    return status;
}

static NTSTATUS HandleTopologyQuery(PCONTROL_REQUEST Control, PULONG_PTR Information) {
    ULONG serial;
    ULONG handle;
    NTSTATUS status = GetInput(Control, TOPOLOGY_REQUEST_SIZE);

    if (NT_SUCCESS(status)) {
        status = GetOutput(Control, TOPOLOGY_REPLY_SIZE);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    handle = WireGetUlong(Control->Buffer + 4);
    status = QueryFilterDeviceTopoAddr(&serial, handle, Control->Buffer);
    WirePutUlong(Control->Buffer, serial);
    *Information = Control->OutputLength;
    return status;
}

// The beep and no-op replies are four bytes long, but only as far as the caller's output
// reaches. The beep's bytes keep the input's divisor where there is one; every other
// reported byte is zero.
static VOID ReportShortReply(PCONTROL_REQUEST Control, BOOLEAN KeepInput, PULONG_PTR Information) {
    SIZE_T kept;
    SIZE_T reported =
        Control->OutputLength < SHORT_REPLY_SIZE ? Control->OutputLength : SHORT_REPLY_SIZE;
    PVOID buffer;

    if (reported == 0 ||
        !NT_SUCCESS(WdfRequestRetrieveOutputBuffer(Control->Request, reported, &buffer, NULL))) {
        return;
    }
    kept = KeepInput ? Control->InputLength : 0;
    if (kept < reported) {
        RtlZeroMemory((PUCHAR)buffer + kept, reported - kept);
    }
    *Information = reported;
}

static NTSTATUS HandleBeepOn(PCONTROL_REQUEST Control, PULONG_PTR Information) {
    NTSTATUS status = GetInput(Control, SHORT_REPLY_SIZE);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    SpeakerToneOn(WireGetUlong(Control->Buffer));
    ReportShortReply(Control, TRUE, Information);
    return STATUS_SUCCESS;
}

static NTSTATUS HandleEnableTabCharging(PCONTROL_REQUEST Control) {
    NTSTATUS status = GetInput(Control, 1);

    if (!NT_SUCCESS(status)) {
        return status;
    }
    TraceWrite(TraceGroupControl, TraceControlChargeFlag, "u", (ULONG)Control->Buffer[0]);
    return EnableTabCharging(Control->Buffer[0] != 0);
}

VOID FilterEvtIoDeviceControl(WDFQUEUE Queue, WDFREQUEST Request, size_t OutputBufferLength,
                              size_t InputBufferLength, ULONG IoControlCode) {
    CONTROL_REQUEST control;
    ULONG_PTR information = 0;
    NTSTATUS status;

    UNREFERENCED_PARAMETER(Queue);
    PAGED_CODE();

    TraceWrite(TraceGroupControl, TraceControlRequest, "x", IoControlCode);
    TraceWrite(TraceGroupControl, TraceControlLengths, "uu", (ULONG)InputBufferLength,
               (ULONG)OutputBufferLength);
    if (ControlDevice == NULL) {
        WdfRequestComplete(Request, STATUS_DEVICE_DOES_NOT_EXIST);
        return;
    }

    control.Request = Request;
    control.InputLength = InputBufferLength;
    control.OutputLength = OutputBufferLength;
    control.Buffer = NULL;

    switch (IoControlCode) {
        case VEXA_IOCTL_GET_DEVICE_NUM:
            status = HandleGetDeviceNum(&control, &information);
            break;
        case VEXA_IOCTL_ENUM_DEVICES:
            status = HandleEnumDevices(&control, &information);
            break;
        case VEXA_IOCTL_VENDOR_REQUEST:
        case VEXA_IOCTL_VENDOR_REQUEST2:
        case VEXA_IOCTL_HUB_PORT_COMMAND:
            status = HandleTransfer(&control, IoControlCode, &information);
            break;
        case VEXA_IOCTL_NOOP:
            ReportShortReply(&control, FALSE, &information);
            status = STATUS_SUCCESS;
            break;
        case VEXA_IOCTL_BEEP_ON:
            status = HandleBeepOn(&control, &information);
            break;
        case VEXA_IOCTL_BEEP_OFF:
            SpeakerToneOff();
            status = STATUS_SUCCESS;
            break;
        case VEXA_IOCTL_ENABLE_TAB_CHARGING:
            status = HandleEnableTabCharging(&control);
            break;
        case VEXA_IOCTL_GET_SERIAL_STRING:
        case VEXA_IOCTL_GET_INSTANCE_ID:
        case VEXA_IOCTL_GET_CONTAINER_ID:
        case VEXA_IOCTL_GET_BOS_CONTAINER_ID:
            status = HandleStringQuery(&control, IoControlCode, &information);
            break;
        case VEXA_IOCTL_GET_TOPOLOGY_ADDRESS:
            status = HandleTopologyQuery(&control, &information);
            break;
        default:
            status = STATUS_NOT_SUPPORTED;
            break;
    }

    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupControl, TraceControlFailed, "x", status);
        information = 0;
    }
    WdfRequestCompleteWithInformation(Request, status, information);
}
