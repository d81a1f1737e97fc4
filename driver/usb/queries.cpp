// tabvolt: device information read when a device starts.
#include "filter.h"

#include <stdio.h>

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

#define NAME_BUFFER_SIZE 1024
#define BOS_READ_LENGTH 42
#define BOS_CONTAINER_ID_OFFSET 26

// A descriptor request as an URB on the IRP path.
static PURB FilterAllocateDescriptorUrb(UCHAR DescriptorType, UCHAR Index, PVOID Destination,
                                        ULONG Length) {
    PURB urb = (PURB)ExAllocatePoolWithTag(
        NonPagedPool, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), TABVOLT_POOL_TAG);

    if (urb != NULL) {
        RtlZeroMemory(urb, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST));
        UsbBuildGetDescriptorRequest(urb, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST),
                                     DescriptorType, Index, 0, Destination, NULL, Length, NULL);
    }
    return urb;
}

// The device descriptor is read without a time limit.
NTSTATUS FilterGetDeviceDescriptor_wdm(PDEVICE_OBJECT DeviceObject,
                                       PUSB_DEVICE_DESCRIPTOR Destination) {
    KEVENT event;
    IO_STATUS_BLOCK ioStatus;
    PIRP irp;
    PURB urb;
    NTSTATUS status;

    urb = FilterAllocateDescriptorUrb(USB_DEVICE_DESCRIPTOR_TYPE, 0, Destination,
                                      sizeof(USB_DEVICE_DESCRIPTOR));
    if (urb == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, DeviceObject, NULL, 0, NULL,
                                        0, TRUE, &event, &ioStatus);
    if (irp == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        goto Exit;
    }
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = urb;
    status = IoCallDriver(DeviceObject, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
        status = ioStatus.Status;
    }
Exit:
    ExFreePoolWithTag(urb, TABVOLT_POOL_TAG);
    return status;
}

NTSTATUS FilterGetStringDescriptor_wdm(PDEVICE_OBJECT DeviceObject, UCHAR Index, PVOID Destination,
                                       USHORT Length) {
    PURB urb;
    NTSTATUS status;

    urb = FilterAllocateDescriptorUrb(USB_STRING_DESCRIPTOR_TYPE, Index, Destination, Length);
    if (urb == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    status = BoundedInternalRequest(DeviceObject, IOCTL_INTERNAL_USB_SUBMIT_URB, urb);
    ExFreePoolWithTag(urb, TABVOLT_POOL_TAG);
    return status;
}

NTSTATUS FilterGetUsbTopologyAddress_wdm(PDEVICE_OBJECT DeviceObject,
                                         PUSB_TOPOLOGY_ADDRESS Destination) {
    NTSTATUS status;
    ULONG index;

    status =
        BoundedInternalRequest(DeviceObject, IOCTL_INTERNAL_USB_GET_TOPOLOGY_ADDRESS, Destination);
    if (NT_SUCCESS(status)) {
        TraceWrite(TraceGroupWdm, TraceWdmTopologyField, "su", "PciBusNumber",
                   Destination->PciBusNumber);
        TraceWrite(TraceGroupWdm, TraceWdmTopologyField, "su", "PciDeviceNumber",
                   Destination->PciDeviceNumber);
        TraceWrite(TraceGroupWdm, TraceWdmTopologyField, "su", "PciFunctionNumber",
                   Destination->PciFunctionNumber);
        TraceWrite(TraceGroupWdm, TraceWdmTopologyField, "su", "RootHubPortNumber",
                   (ULONG)Destination->RootHubPortNumber);
        for (index = 0; index < ARRAYSIZE(Destination->HubPortNumber); index++) {
            TraceWrite(TraceGroupWdm, TraceWdmTopologyField, "su", "HubPortNumber",
                       (ULONG)Destination->HubPortNumber[index]);
        }
    }
    return status;
}

// The last component of the device's instance path, taken from the name of its "Device
// Parameters" key. The destination changes only when a whole component was found.
NTSTATUS FilterQueryInstanceId(WDFDEVICE Device, PUCHAR Destination) {
    PFILTER_EXTENSION extension = FilterGetData(Device);
    UCHAR name[IDENT_TEXT_SIZE];
    POBJECT_NAME_INFORMATION nameInfo = NULL;
    HANDLE key;
    PVOID keyObject;
    ULONG returned;
    ULONG length;
    ULONG index;
    ULONG last;
    ULONG start;
    NTSTATUS status;

    status = IoOpenDeviceRegistryKey(extension->Pdo, PLUGPLAY_REGKEY_DEVICE, KEY_READ, &key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    status = ObReferenceObjectByHandle(key, KEY_READ, NULL, KernelMode, &keyObject, NULL);
    if (!NT_SUCCESS(status)) {
        ZwClose(key);
        return status;
    }
    nameInfo = (POBJECT_NAME_INFORMATION)ExAllocatePoolWithTag(NonPagedPool, NAME_BUFFER_SIZE,
                                                               TABVOLT_POOL_TAG);
    if (nameInfo == NULL) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        goto Exit;
    }
    RtlZeroMemory(nameInfo, NAME_BUFFER_SIZE);
    status = ObQueryNameString(keyObject, nameInfo, NAME_BUFFER_SIZE, &returned);
    if (!NT_SUCCESS(status)) {
        goto Exit;
    }
    length = nameInfo->Name.Length / sizeof(WCHAR);
    if (length + 1 > IDENT_TEXT_SIZE) {
        status = STATUS_INSUFFICIENT_RESOURCES;
        goto Exit;
    }
    for (index = 0; index < length; index++) {
        name[index] = (UCHAR)nameInfo->Name.Buffer[index];
    }
    name[length] = 0;

    // The name ends in "\Device Parameters"; the instance is the component before it.
    for (last = length; last > 0 && name[last - 1] != '\\'; last--) {
    }
    for (start = last > 0 ? last - 1 : 0; start > 0 && name[start - 1] != '\\'; start--) {
    }
    if (last == 0 || start == 0) {
        status = STATUS_UNSUCCESSFUL;
        goto Exit;
    }
    name[last - 1] = 0;
    RtlCopyMemory(Destination, name, length + 1);
    RtlMoveMemory(Destination, Destination + start, last - start);

Exit:
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupWdm, TraceWdmInstanceIdFailed, "x", status);
    }
    if (nameInfo != NULL) {
        ExFreePoolWithTag(nameInfo, TABVOLT_POOL_TAG);
    }
    ObDereferenceObject(keyObject);
    ZwClose(key);
    return status;
}

// Bytes 26 to 41 of the BOS as read are taken as the Container ID capability's UUID; a BOS
// of another layout yields whatever lies there.
static VOID FilterFormatBosContainerId(PUCHAR Field) {
    const UCHAR* uuid = Field + BOS_CONTAINER_ID_OFFSET;
    ULONG data1 =
        (ULONG)uuid[0] | (ULONG)uuid[1] << 8 | (ULONG)uuid[2] << 16 | (ULONG)uuid[3] << 24;
    ULONG data2 = (ULONG)uuid[4] | (ULONG)uuid[5] << 8;
    ULONG data3 = (ULONG)uuid[6] | (ULONG)uuid[7] << 8;
    UCHAR data4[8];

    RtlCopyMemory(data4, uuid + 8, sizeof(data4));
    RtlZeroMemory(Field, IDENT_TEXT_SIZE);
    sprintf((PCHAR)Field, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", (unsigned)data1,
            (unsigned)data2, (unsigned)data3, data4[0], data4[1], data4[2], data4[3], data4[4],
            data4[5], data4[6], data4[7]);
}

// Every read is traced on failure and tolerated: a field that could not be read keeps
// what it held (zero for a new device), and the device starts all the same.
VOID FilterReadDeviceInformation(WDFDEVICE Device, PFILTER_EXTENSION Extension) {
    NTSTATUS status;

    // One target serves every start of the device. The framework deletes it with the device,
    // before the device's cleanup unlists it; the extra reference, dropped by that cleanup,
    // keeps it valid for a lookup that still finds the device listed in between.
    if (Extension->UsbDevice == NULL) {
        status = WdfUsbTargetDeviceCreate(Device, WDF_NO_OBJECT_ATTRIBUTES, &Extension->UsbDevice);
        if (NT_SUCCESS(status)) {
            WdfObjectReference(Extension->UsbDevice);
        } else {
            TraceWrite(TraceGroupPnp, TracePnpUsbTargetFailed, "x", status);
            Extension->UsbDevice = NULL;
        }
    }

    if (Extension->UsbDevice != NULL) {
        WdfUsbTargetDeviceGetDeviceDescriptor(Extension->UsbDevice, &Extension->DeviceDescriptor);
    } else {
        status = FilterGetDeviceDescriptor_wdm(Extension->Pdo, &Extension->DeviceDescriptor);
        if (!NT_SUCCESS(status)) {
            TraceWrite(TraceGroupWdm, TraceWdmDescriptorFailed, "x", status);
            status =
                FilterGetDeviceDescriptor_wdm(Extension->LowerDevice, &Extension->DeviceDescriptor);
        }
        if (!NT_SUCCESS(status)) {
            TraceWrite(TraceGroupPnp, TracePnpDescriptorReadFailed, "x", status);
        }
    }
    TraceDeviceDescriptor(&Extension->DeviceDescriptor);

    status = FilterQueryStringDescriptor(Device, Extension->DeviceDescriptor.iSerialNumber,
                                         Extension->SerialNumber, IDENT_TEXT_SIZE);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupPnp, TracePnpSerialReadFailed, "x", status);
    }

    status = FilterSendDeviceRequest(Device, 0x80, 6, 0x0F00, 0, BOS_READ_LENGTH,
                                     Extension->BosContainerId);
    if (NT_SUCCESS(status)) {
        FilterFormatBosContainerId(Extension->BosContainerId);
        TraceWrite(TraceGroupPnp, TracePnpBosContainerId, "s", Extension->BosContainerId);
    } else {
        TraceWrite(TraceGroupPnp, TracePnpBosReadFailed, "x", status);
    }

    Extension->VexaDevType = FilterIsVexaHub(Device) ? 1 : 0;
    Extension->ChargeSent = 0;

    FilterQueryInstanceId(Device, Extension->InstanceId);

    status = FilterGetUsbTopologyAddress_wdm(Extension->Pdo, &Extension->TopologyAddress);
    if (!NT_SUCCESS(status)) {
        status =
            FilterGetUsbTopologyAddress_wdm(Extension->LowerDevice, &Extension->TopologyAddress);
    }
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupPnp, TracePnpTopologyReadFailed, "x", status);
    }
}

// The capacity counts characters on the framework path and bytes on the IRP path.
NTSTATUS FilterQueryStringDescriptor(WDFDEVICE Device, UCHAR Index, PVOID Destination,
                                     USHORT Capacity) {
    PFILTER_EXTENSION extension = FilterGetData(Device);
    USHORT characters = Capacity;
    NTSTATUS status;

    if (extension->UsbDevice != NULL) {
        return WdfUsbTargetDeviceQueryString(extension->UsbDevice, NULL, NULL, (PUSHORT)Destination,
                                             &characters, Index, 0);
    }
    status = FilterGetStringDescriptor_wdm(extension->Pdo, Index, Destination, Capacity);
    if (!NT_SUCCESS(status)) {
        status =
            FilterGetStringDescriptor_wdm(extension->LowerDevice, Index, Destination, Capacity);
    }
    return status;
}
