// tabvolt: device information read when a device starts.
#include "filter.h"

typedef struct _DESCRIPTOR_FIELD {
    PCSTR Name;
    SIZE_T Offset;
    SIZE_T Size;
} DESCRIPTOR_FIELD;

#define DESCRIPTOR_FIELD_OF(field)                          \
    {                                                       \
#field, FIELD_OFFSET(USB_DEVICE_DESCRIPTOR, field), \
            sizeof(((USB_DEVICE_DESCRIPTOR*)0)->field)      \
    }

static const DESCRIPTOR_FIELD DescriptorFields[] = {
    DESCRIPTOR_FIELD_OF(bLength),         DESCRIPTOR_FIELD_OF(bDescriptorType),
    DESCRIPTOR_FIELD_OF(bcdUSB),          DESCRIPTOR_FIELD_OF(bDeviceClass),
    DESCRIPTOR_FIELD_OF(bDeviceSubClass), DESCRIPTOR_FIELD_OF(bDeviceProtocol),
    DESCRIPTOR_FIELD_OF(bMaxPacketSize0), DESCRIPTOR_FIELD_OF(idVendor),
    DESCRIPTOR_FIELD_OF(idProduct),       DESCRIPTOR_FIELD_OF(bcdDevice),
    DESCRIPTOR_FIELD_OF(iManufacturer),   DESCRIPTOR_FIELD_OF(iProduct),
    DESCRIPTOR_FIELD_OF(iSerialNumber),   DESCRIPTOR_FIELD_OF(bNumConfigurations),
};

// One trace point per field, in the descriptor's order.
static VOID TraceDeviceDescriptor(const USB_DEVICE_DESCRIPTOR* descriptor) {
    const UCHAR* bytes = (const UCHAR*)descriptor;
    ULONG index;

    for (index = 0; index < ARRAYSIZE(DescriptorFields); index++) {
        const DESCRIPTOR_FIELD* field = &DescriptorFields[index];
        ULONG value = bytes[field->Offset];
        if (field->Size == sizeof(USHORT)) {
            value |= (ULONG)bytes[field->Offset + 1] << 8;
        }
        TraceWrite(TraceGroupPnp, TracePnpDescriptorField, "sx", field->Name, value);
    }
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
