// The framework USB target of a device: created from the device's descriptors, answering
// descriptor and string reads from the simulated device.
#include "kmdf/kmdf.h"
#include "pc/machine.h"
#include "pc/usb_device.h"
#include "pc/usb_tree.h"

using sim::CurrentKmdf;
using sim::Machine;

extern "C" {

NTSTATUS WdfUsbTargetDeviceCreate(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES Attributes,
                                  WDFUSBDEVICE* UsbDevice) {
    SimCheckPagedCode("WdfUsbTargetDeviceCreate");
    sim::Kmdf& kmdf = CurrentKmdf();
    auto* device =
        kmdf.LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice, "WdfUsbTargetDeviceCreate");
    if (Machine::Current().faults.Hit(sim::Fault::kUsbTargetCreate, device->node->name)) {
        return STATUS_UNSUCCESSFUL;
    }
    auto* target = new sim::WdfUsbDevice();
    target->type = sim::WdfType::kUsbDevice;
    target->node = device->node;
    NTSTATUS status = kmdf.Adopt(target, Attributes, device);
    if (NT_SUCCESS(status)) {
        *UsbDevice = reinterpret_cast<WDFUSBDEVICE>(sim::HandleOf(target));
    }
    return status;
}

VOID WdfUsbTargetDeviceGetDeviceDescriptor(WDFUSBDEVICE UsbDevice,
                                           PUSB_DEVICE_DESCRIPTOR UsbDeviceDescriptor) {
    auto* target = CurrentKmdf().LookupAs<sim::WdfUsbDevice>(
        UsbDevice, sim::WdfType::kUsbDevice, "WdfUsbTargetDeviceGetDeviceDescriptor");
    *UsbDeviceDescriptor = target->node->descriptor;
}

namespace {

// A target deleted with its device but still referenced takes no more I/O; nullptr then.
sim::WdfUsbDevice* OpenTarget(WDFUSBDEVICE handle, const char* caller) {
    sim::WdfObject* object = CurrentKmdf().Lookup(handle, caller, true);
    if (object->type != sim::WdfType::kUsbDevice) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + caller +
                                    " expects a WDFUSBDEVICE");
    }
    return object->deleted ? nullptr : static_cast<sim::WdfUsbDevice*>(object);
}

// Sends one transfer to the device through the framework's target and waits, at most
// `timeout` (relative, 100 ns units) when one is given.
NTSTATUS SendOnDefaultPipe(sim::UsbNode* node, const sim::SetupPacket& setup, PVOID buffer,
                           const LONGLONG* timeout, ULONG* transferred) {
    *transferred = 0;
    if (node->device_thread == nullptr) {
        return STATUS_NO_SUCH_DEVICE;
    }
    PIRP irp = IoAllocateIrp(1, FALSE);
    IoSetNextIrpStackLocation(irp);
    KEVENT done;
    IO_STATUS_BLOCK status_block = {};
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp->UserEvent = &done;
    irp->UserIosb = &status_block;
    node->device_thread->Submit(irp, setup, buffer, NULL, sim::Via::kTarget);
    LARGE_INTEGER limit;
    bool timed_out = false;
    if (timeout != NULL) {
        limit.QuadPart = *timeout;
        if (KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &limit) == STATUS_TIMEOUT) {
            timed_out = true;
            IoCancelIrp(irp);
        }
    }
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    IoFreeIrp(irp);
    *transferred = static_cast<ULONG>(status_block.Information);
    return timed_out ? STATUS_IO_TIMEOUT : status_block.Status;
}

}  // namespace

NTSTATUS WdfUsbTargetDeviceSendControlTransferSynchronously(
    WDFUSBDEVICE UsbDevice, WDFREQUEST Request, PWDF_REQUEST_SEND_OPTIONS RequestOptions,
    PWDF_USB_CONTROL_SETUP_PACKET SetupPacket, PWDF_MEMORY_DESCRIPTOR MemoryDescriptor,
    PULONG BytesTransferred) {
    UNREFERENCED_PARAMETER(Request);
    SimCheckPagedCode("WdfUsbTargetDeviceSendControlTransferSynchronously");
    sim::WdfUsbDevice* target =
        OpenTarget(UsbDevice, "WdfUsbTargetDeviceSendControlTransferSynchronously");
    if (target == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    sim::SetupPacket setup;
    setup.request_type = SetupPacket->Packet.bm.Byte;
    setup.request = SetupPacket->Packet.bRequest;
    setup.value = SetupPacket->Packet.wValue.Value;
    setup.index = SetupPacket->Packet.wIndex.Value;
    PVOID buffer = NULL;
    if (MemoryDescriptor != NULL) {
        if (MemoryDescriptor->Type != WdfMemoryDescriptorTypeBuffer) {
            return STATUS_INVALID_PARAMETER;
        }
        buffer = MemoryDescriptor->u.BufferType.Buffer;
        setup.length = static_cast<uint16_t>(MemoryDescriptor->u.BufferType.Length);
    }
    const LONGLONG* timeout =
        RequestOptions != NULL && (RequestOptions->Flags & WDF_REQUEST_SEND_OPTION_TIMEOUT)
            ? &RequestOptions->Timeout
            : NULL;
    ULONG transferred = 0;
    NTSTATUS status = SendOnDefaultPipe(target->node, setup, buffer, timeout, &transferred);
    if (BytesTransferred != NULL) {
        *BytesTransferred = transferred;
    }
    return status;
}

// Reads the string descriptor on the default pipe and delivers its characters without the
// header. At most *NumCharacters characters are copied; STATUS_BUFFER_OVERFLOW when the
// string is longer. The "usb-string" fault (target: the device's name) stands for the
// framework failing to allocate its request.
NTSTATUS WdfUsbTargetDeviceQueryString(WDFUSBDEVICE UsbDevice, WDFREQUEST Request,
                                       PWDF_REQUEST_SEND_OPTIONS RequestOptions, PUSHORT String,
                                       PUSHORT NumCharacters, UCHAR StringIndex, USHORT LangID) {
    UNREFERENCED_PARAMETER(Request);
    UNREFERENCED_PARAMETER(RequestOptions);
    SimCheckPagedCode("WdfUsbTargetDeviceQueryString");
    sim::WdfUsbDevice* target = OpenTarget(UsbDevice, "WdfUsbTargetDeviceQueryString");
    if (target == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (Machine::Current().faults.Hit(sim::Fault::kUsbString, target->node->name)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UCHAR descriptor[255];
    sim::SetupPacket setup;
    setup.request_type = 0x80;
    setup.request = 6;
    setup.value = static_cast<uint16_t>(USB_STRING_DESCRIPTOR_TYPE << 8 | StringIndex);
    setup.index = LangID;
    setup.length = sizeof descriptor;
    ULONG transferred = 0;
    NTSTATUS status = SendOnDefaultPipe(target->node, setup, descriptor, NULL, &transferred);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (transferred < 2) {
        return STATUS_UNSUCCESSFUL;
    }
    USHORT characters = static_cast<USHORT>((transferred - 2) / sizeof(USHORT));
    USHORT capacity = *NumCharacters;
    *NumCharacters = characters;
    if (String == NULL) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    USHORT copied = characters < capacity ? characters : capacity;
    memcpy(String, descriptor + 2, copied * sizeof(USHORT));
    return copied < characters ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

}  // extern "C"
