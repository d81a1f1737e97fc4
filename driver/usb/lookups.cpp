// tabvolt: reads keyed by a device's handle, and the device count and list. Each walks
// FilterDevices under FilterDevicesLock and reports the serial taken just before the lock
// is released.
#include "filter.h"

#define DEVICE_LIST_HEADER_SIZE VEXA_DEVICE_LIST_HEADER_SIZE
#define DEVICE_ENTRY_SIZE sizeof(VEXA_DEVICE_ENTRY)
#define TOPOLOGY_REPLY_SIZE sizeof(VEXA_TOPOLOGY)
#define DUMP_BYTES_PER_TRACE 8

typedef enum _DEVICE_TEXT_FIELD {
    DeviceTextSerialNumber,
    DeviceTextInstanceId,
    DeviceTextContainerId,
    DeviceTextBosContainerId,
} DEVICE_TEXT_FIELD;

// Adds take their handles from the serial with an interlocked increment, outside the lock:
// it is read with an interlocked call too, never torn or stale.
static ULONG ReadDeviceSerial(void) {
    return (ULONG)InterlockedCompareExchange(&DeviceSerial, 0, 0);
}

// The listed device with that handle, or NULL; the caller holds FilterDevicesLock.
static WDFDEVICE FindListedDevice(ULONG Handle) {
    ULONG count = WdfCollectionGetCount(FilterDevices);
    ULONG index;

    for (index = 0; index < count; index++) {
        WDFDEVICE device = (WDFDEVICE)WdfCollectionGetItem(FilterDevices, index);
        if (FilterGetData(device)->Handle == Handle) {
            return device;
        }
    }
    return NULL;
}

ULONG GetFilterDeviceCount(PULONG Serial) {
    ULONG count;

    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    count = WdfCollectionGetCount(FilterDevices);
    *Serial = ReadDeviceSerial();
    WdfWaitLockRelease(FilterDevicesLock);
    return count;
}

NTSTATUS EnumFilterDevices(PULONG Serial, PUCHAR Reply, ULONG Capacity) {
    ULONG count;
    ULONG index;

    RtlZeroMemory(Reply, DEVICE_LIST_HEADER_SIZE + DEVICE_ENTRY_SIZE * (SIZE_T)Capacity);
    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    count = WdfCollectionGetCount(FilterDevices);
    for (index = 0; index < count && index < Capacity; index++) {
        PFILTER_EXTENSION extension = FilterGetData(WdfCollectionGetItem(FilterDevices, index));
        PUCHAR entry = Reply + DEVICE_LIST_HEADER_SIZE + DEVICE_ENTRY_SIZE * (SIZE_T)index;
        WirePutUlong(entry, extension->Handle);
        WirePutUshort(entry + 4, extension->VexaDevType);
        WirePutUshort(entry + 6, extension->DeviceDescriptor.idVendor);
        WirePutUshort(entry + 8, extension->DeviceDescriptor.idProduct);
        WirePutUshort(entry + 10, extension->DeviceDescriptor.bcdDevice);
        WirePutUshort(entry + 12, extension->DeviceDescriptor.bcdUSB);
        entry[14] = extension->ChargeSent;
    }
    WirePutUlong(Reply + 4, count);
    *Serial = ReadDeviceSerial();
    WdfWaitLockRelease(FilterDevicesLock);
    return STATUS_SUCCESS;
}

// On success the device and its USB target, if it has one yet, carry a reference that the
// caller drops with FilterReleaseFoundDevice once its transfer has finished, so that a
// device removed meanwhile is not freed under it (its transfers then fail).
NTSTATUS FindFilterDeviceByHandle(PULONG Serial, ULONG Handle, PFOUND_FILTER_DEVICE Found) {
    WDFDEVICE device;

    Found->Device = NULL;
    Found->UsbDevice = NULL;
    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    device = FindListedDevice(Handle);
    if (device != NULL) {
        WdfObjectReference(device);
        Found->UsbDevice = FilterGetData(device)->UsbDevice;
        if (Found->UsbDevice != NULL) {
            WdfObjectReference(Found->UsbDevice);
        }
    }
    *Serial = ReadDeviceSerial();
    WdfWaitLockRelease(FilterDevicesLock);
    Found->Device = device;
    return device != NULL ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;
}

VOID FilterReleaseFoundDevice(PFOUND_FILTER_DEVICE Found) {
    if (Found->UsbDevice != NULL) {
        WdfObjectDereference(Found->UsbDevice);
    }
    WdfObjectDereference(Found->Device);
    Found->Device = NULL;
    Found->UsbDevice = NULL;
}

static PUCHAR DeviceTextOf(PFILTER_EXTENSION Extension, DEVICE_TEXT_FIELD Field) {
    switch (Field) {
        case DeviceTextSerialNumber:
            return Extension->SerialNumber;
        case DeviceTextInstanceId:
            return Extension->InstanceId;
        case DeviceTextContainerId:
            return Extension->ContainerId;
        case DeviceTextBosContainerId:
            break;
    }
    return Extension->BosContainerId;
}

static VOID DumpDeviceText(const UCHAR* Text) {
    ULONG offset;

    for (offset = 0; offset < IDENT_TEXT_SIZE; offset += DUMP_BYTES_PER_TRACE) {
        const UCHAR* bytes = Text + offset;
        TraceWrite(
            TraceGroupRegistry, TraceRegistryDump, "uxx", offset,
            (ULONG)bytes[0] | (ULONG)bytes[1] << 8 | (ULONG)bytes[2] << 16 | (ULONG)bytes[3] << 24,
            (ULONG)bytes[4] | (ULONG)bytes[5] << 8 | (ULONG)bytes[6] << 16 | (ULONG)bytes[7] << 24);
    }
}

// Clears `Capacity` bytes of the area and copies at most 512 of the field into it.
static NTSTATUS QueryFilterDeviceText(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity,
                                      DEVICE_TEXT_FIELD Field) {
    WDFDEVICE device;

    if (Capacity != IDENT_TEXT_SIZE) {
        TraceWrite(TraceGroupControl, TraceControlCapacityNot512, "u", Capacity);
    }
    RtlZeroMemory(Area, Capacity);
    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    device = FindListedDevice(Handle);
    if (device != NULL) {
        PUCHAR text = DeviceTextOf(FilterGetData(device), Field);
        ULONG copied = Capacity < IDENT_TEXT_SIZE ? Capacity : IDENT_TEXT_SIZE;
        RtlCopyMemory(Area, text, copied);
        TraceWrite(TraceGroupControl, TraceControlFieldCopied, "u", Capacity);
        if (Field == DeviceTextInstanceId || Field == DeviceTextContainerId ||
            Field == DeviceTextBosContainerId) {
            DumpDeviceText(text);
        }
    }
    *Serial = ReadDeviceSerial();
    WdfWaitLockRelease(FilterDevicesLock);
    return STATUS_SUCCESS;
}

NTSTATUS QueryFilterDeviceSerialStr(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity) {
    return QueryFilterDeviceText(Serial, Handle, Area, Capacity, DeviceTextSerialNumber);
}

NTSTATUS QueryFilterDeviceInstanceID(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity) {
    return QueryFilterDeviceText(Serial, Handle, Area, Capacity, DeviceTextInstanceId);
}

NTSTATUS QueryFilterDeviceContainerID(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity,
                                      BOOLEAN FromBos) {
    return QueryFilterDeviceText(Serial, Handle, Area, Capacity,
                                 FromBos ? DeviceTextBosContainerId : DeviceTextContainerId);
}

// The reply is the topology address without its two reserved words.
NTSTATUS QueryFilterDeviceTopoAddr(PULONG Serial, ULONG Handle, PUCHAR Reply) {
    WDFDEVICE device;
    ULONG index;

    RtlZeroMemory(Reply, TOPOLOGY_REPLY_SIZE);
    WdfWaitLockAcquire(FilterDevicesLock, NULL);
    device = FindListedDevice(Handle);
    if (device != NULL) {
        const USB_TOPOLOGY_ADDRESS* address = &FilterGetData(device)->TopologyAddress;
        WirePutUlong(Reply + 8, address->PciBusNumber);
        WirePutUlong(Reply + 12, address->PciDeviceNumber);
        WirePutUlong(Reply + 16, address->PciFunctionNumber);
        WirePutUshort(Reply + 20, address->RootHubPortNumber);
        for (index = 0; index < ARRAYSIZE(address->HubPortNumber); index++) {
            WirePutUshort(Reply + 22 + 2 * index, address->HubPortNumber[index]);
        }
    }
    *Serial = ReadDeviceSerial();
    WdfWaitLockRelease(FilterDevicesLock);
    return STATUS_SUCCESS;
}
