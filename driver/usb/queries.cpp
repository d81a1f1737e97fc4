// tabvolt: device information read when a device starts.
#include "filter.h"

static VOID TraceDeviceDescriptor(const USB_DEVICE_DESCRIPTOR* descriptor) {
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bLength", (ULONG)descriptor->bLength);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bDescriptorType",
               (ULONG)descriptor->bDescriptorType);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bcdUSB", (ULONG)descriptor->bcdUSB);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bDeviceClass",
               (ULONG)descriptor->bDeviceClass);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bDeviceSubClass",
               (ULONG)descriptor->bDeviceSubClass);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bDeviceProtocol",
               (ULONG)descriptor->bDeviceProtocol);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bMaxPacketSize0",
               (ULONG)descriptor->bMaxPacketSize0);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "idVendor",
               (ULONG)descriptor->idVendor);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "idProduct",
               (ULONG)descriptor->idProduct);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bcdDevice",
               (ULONG)descriptor->bcdDevice);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "iManufacturer",
               (ULONG)descriptor->iManufacturer);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "iProduct",
               (ULONG)descriptor->iProduct);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "iSerialNumber",
               (ULONG)descriptor->iSerialNumber);
    TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", "bNumConfigurations",
               (ULONG)descriptor->bNumConfigurations);
}

// Every read is traced on failure and tolerated: a field that could not be read keeps
// what it held (zero for a new device), and the device starts all the same.
VOID FilterReadDeviceInformation(WDFDEVICE Device, PFILTER_EXTENSION Extension) {
    NTSTATUS status;

    status = WdfUsbTargetDeviceCreate(Device, WDF_NO_OBJECT_ATTRIBUTES, &Extension->UsbDevice);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupPnp, TracePnpUsbTargetFailed, "x", status);
        Extension->UsbDevice = NULL;
    }

    if (Extension->UsbDevice != NULL) {
        WdfUsbTargetDeviceGetDeviceDescriptor(Extension->UsbDevice, &Extension->DeviceDescriptor);
    } else {
        TraceWrite(TraceGroupPnp, TracePnpDescriptorReadFailed, "x", STATUS_NOT_SUPPORTED);
    }
    TraceDeviceDescriptor(&Extension->DeviceDescriptor);

    status = FilterQueryStringDescriptor(Device, Extension->DeviceDescriptor.iSerialNumber,
                                         Extension->SerialNumber, IDENT_TEXT_SIZE);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupPnp, TracePnpSerialReadFailed, "x", status);
    }

    Extension->VexaDevType = FilterIsVexaHub(Device) ? 1 : 0;
    Extension->ChargeSent = 0;
}

// The capacity counts characters on the framework path.
NTSTATUS FilterQueryStringDescriptor(WDFDEVICE Device, UCHAR Index, PVOID Destination,
                                     USHORT Capacity) {
    PFILTER_EXTENSION extension = FilterGetData(Device);
    USHORT characters = Capacity;

    if (extension->UsbDevice == NULL) {
        return STATUS_NOT_SUPPORTED;
    }
    return WdfUsbTargetDeviceQueryString(extension->UsbDevice, NULL, NULL, (PUSHORT)Destination,
                                         &characters, Index, 0);
}
