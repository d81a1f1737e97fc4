// tabvolt: control transfers to a filtered device and the bounded internal request used for
// every request the driver sends down a device stack itself.
#include "filter.h"

// States of a bounded request, exchanged atomically between the waiter and the completion
// routine so that exactly one of them finishes a cancelled IRP.
#define REQUEST_IN_FLIGHT 0
#define REQUEST_CANCELLING 1
#define REQUEST_CANCELLED 2
#define REQUEST_COMPLETED 3

#define BOUNDED_REQUEST_TIMEOUT (-50000LL)  // 5 ms, relative
#define CONTROL_TRANSFER_TIMEOUT_SECONDS 1

NTSTATUS FilterRequestCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(Irp);
    // A waiter that has started cancelling finishes the IRP itself.
    if (InterlockedExchange((PLONG)Context, REQUEST_COMPLETED) == REQUEST_CANCELLING) {
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    return STATUS_SUCCESS;
}

NTSTATUS BoundedInternalRequest(PDEVICE_OBJECT DeviceObject, ULONG IoControlCode, PVOID Argument) {
    KEVENT event;
    IO_STATUS_BLOCK ioStatus;
    LARGE_INTEGER timeout;
    LONG state;
    PIRP irp;
    NTSTATUS status;

    KeInitializeEvent(&event, NotificationEvent, FALSE);
    irp = IoBuildDeviceIoControlRequest(IoControlCode, DeviceObject, NULL, 0, NULL, 0, TRUE, &event,
                                        &ioStatus);
    if (irp == NULL) {
        TraceWrite(TraceGroupWdm, TraceWdmIrpBuildFailed, "x", IoControlCode);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = Argument;
    state = REQUEST_IN_FLIGHT;
    IoSetCompletionRoutine(irp, FilterRequestCompletion, &state, TRUE, TRUE, TRUE);

    status = IoCallDriver(DeviceObject, irp);
    if (status != STATUS_PENDING) {
        return status;
    }

    timeout.QuadPart = BOUNDED_REQUEST_TIMEOUT;
    status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout);
    if (status == STATUS_TIMEOUT) {
        TraceWrite(TraceGroupWdm, TraceWdmTimeout, "x", IoControlCode);
        if (InterlockedExchange(&state, REQUEST_CANCELLING) == REQUEST_IN_FLIGHT) {
            IoCancelIrp(irp);
            if (InterlockedExchange(&state, REQUEST_CANCELLED) == REQUEST_COMPLETED) {
                IoCompleteRequest(irp, IO_NO_INCREMENT);
            }
        }
        // The event, status block and state word live on this stack: leave only once the
        // IRP has come back.
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
        return STATUS_UNSUCCESSFUL;
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return ioStatus.Status;
}

NTSTATUS FilterSendControlCommand_wdm(PDEVICE_OBJECT DeviceObject, USHORT UrbFunction,
                                      UCHAR bmRequestType, UCHAR bRequest, USHORT wValue,
                                      USHORT wIndex, PVOID Data, USHORT wLength) {
    PURB urb;
    NTSTATUS status;

    urb = (PURB)ExAllocatePoolWithTag(
        NonPagedPool, sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST), TABVOLT_POOL_TAG);
    if (urb == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    // The wire's request type and recipient come from the URB function, the direction from
    // the transfer flags; bmRequestType itself rides in the reserved bits.
    UsbBuildVendorRequest(urb, UrbFunction, sizeof(struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST),
                          (bmRequestType & 0x80) ? USBD_TRANSFER_DIRECTION_IN : 0, bmRequestType,
                          bRequest, wValue, wIndex, Data, NULL, wLength, NULL);
    status = BoundedInternalRequest(DeviceObject, IOCTL_INTERNAL_USB_SUBMIT_URB, urb);
    ExFreePoolWithTag(urb, TABVOLT_POOL_TAG);
    return status;
}

NTSTATUS FilterSendControlTransfer(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest,
                                   USHORT wValue, USHORT wIndex, USHORT wLength, PVOID Data) {
    PFILTER_EXTENSION extension = FilterGetData(Device);
    WDF_USB_CONTROL_SETUP_PACKET packet;
    WDF_MEMORY_DESCRIPTOR memory;
    PWDF_MEMORY_DESCRIPTOR memoryDescriptor = NULL;
    WDF_REQUEST_SEND_OPTIONS options;
    ULONG transferred;

    if (extension->UsbDevice == NULL) {
        return STATUS_UNSUCCESSFUL;
    }
    if (Data != NULL && wLength != 0) {
        WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(&memory, Data, wLength);
        memoryDescriptor = &memory;
    }
    // The framework fills the length field from the memory descriptor.
    RtlZeroMemory(&packet, sizeof(packet));
    packet.Packet.bm.Byte = bmRequestType;
    packet.Packet.bRequest = bRequest;
    packet.Packet.wValue.Value = wValue;
    packet.Packet.wIndex.Value = wIndex;
    WDF_REQUEST_SEND_OPTIONS_INIT(&options, WDF_REQUEST_SEND_OPTION_TIMEOUT);
    WDF_REQUEST_SEND_OPTIONS_SET_TIMEOUT(&options,
                                         WDF_REL_TIMEOUT_IN_SEC(CONTROL_TRANSFER_TIMEOUT_SECONDS));
    return WdfUsbTargetDeviceSendControlTransferSynchronously(
        extension->UsbDevice, WDF_NO_HANDLE, &options, &packet, memoryDescriptor, &transferred);
}

// Pdo first; a failed attempt is made once more on the next-lower device.
static NTSTATUS FilterSendWdmWithFallback(PFILTER_EXTENSION Extension, USHORT UrbFunction,
                                          UCHAR bmRequestType, UCHAR bRequest, USHORT wValue,
                                          USHORT wIndex, USHORT wLength, PVOID Data) {
    NTSTATUS status;

    status = FilterSendControlCommand_wdm(Extension->Pdo, UrbFunction, bmRequestType, bRequest,
                                          wValue, wIndex, Data, wLength);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupWdm, TraceWdmPdoFailed, "x", status);
        status = FilterSendControlCommand_wdm(Extension->LowerDevice, UrbFunction, bmRequestType,
                                              bRequest, wValue, wIndex, Data, wLength);
    }
    return status;
}

NTSTATUS FilterSendDeviceRequest(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest,
                                 USHORT wValue, USHORT wIndex, USHORT wLength, PVOID Data) {
    PFILTER_EXTENSION extension = FilterGetData(Device);

    if (extension->UsbDevice != NULL) {
        return FilterSendControlTransfer(Device, bmRequestType, bRequest, wValue, wIndex, wLength,
                                         Data);
    }
    return FilterSendWdmWithFallback(extension, URB_FUNCTION_VENDOR_DEVICE, bmRequestType, bRequest,
                                     wValue, wIndex, wLength, Data);
}

NTSTATUS FilterSendPortRequest(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest, USHORT wValue,
                               USHORT wIndex, USHORT wLength, PVOID Data) {
    return FilterSendWdmWithFallback(FilterGetData(Device), URB_FUNCTION_VENDOR_OTHER,
                                     bmRequestType, bRequest, wValue, wIndex, wLength, Data);
}
