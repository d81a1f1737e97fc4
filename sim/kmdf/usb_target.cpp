// The framework USB target of a device: created from the device's descriptors, answering
// descriptor and string reads from the simulated device.
#include "kmdf/kmdf.h"
#include "pc/machine.h"
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

// String 0 is the language table (US English). A string the device does not have is a
// stalled request. At most *NumCharacters characters are copied.
NTSTATUS WdfUsbTargetDeviceQueryString(WDFUSBDEVICE UsbDevice, WDFREQUEST Request,
                                       PVOID RequestOptions, PUSHORT String, PUSHORT NumCharacters,
                                       UCHAR StringIndex, USHORT LangID) {
    UNREFERENCED_PARAMETER(Request);
    UNREFERENCED_PARAMETER(RequestOptions);
    UNREFERENCED_PARAMETER(LangID);
    SimCheckPagedCode("WdfUsbTargetDeviceQueryString");
    auto* target = CurrentKmdf().LookupAs<sim::WdfUsbDevice>(UsbDevice, sim::WdfType::kUsbDevice,
                                                             "WdfUsbTargetDeviceQueryString");
    std::vector<USHORT> units;
    if (StringIndex == 0) {
        units.push_back(0x0409);
    } else {
        auto found = target->node->strings.find(StringIndex);
        if (found == target->node->strings.end()) {
            return STATUS_UNSUCCESSFUL;
        }
        // A descriptor's length is one byte: at most 126 characters follow its header.
        for (char c : found->second.substr(0, 126)) {
            units.push_back(static_cast<UCHAR>(c));
        }
    }
    USHORT capacity = *NumCharacters;
    *NumCharacters = static_cast<USHORT>(units.size());
    if (String == NULL) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    size_t copied = units.size() < capacity ? units.size() : capacity;
    memcpy(String, units.data(), copied * sizeof(USHORT));
    return copied < units.size() ? STATUS_BUFFER_OVERFLOW : STATUS_SUCCESS;
}

}  // extern "C"
