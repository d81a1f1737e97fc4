// Framework devices: the device-init record, WdfDeviceCreate for filters, and the
// framework's PnP and power handling that calls the driver's callbacks.
#include "kernel/call_and_wait.h"
#include "kernel/wide_text.h"
#include "kmdf/kmdf.h"
#include "pc/machine.h"
#include "pc/usb_tree.h"

namespace sim {
namespace {

PDEVICE_OBJECT TopOfStack(PDEVICE_OBJECT device) {
    while (device->AttachedDevice != NULL) {
        device = device->AttachedDevice;
    }
    return device;
}

// Sends the IRP down and waits until the lower drivers have completed it; the IRP is then
// back in this device's hands.
NTSTATUS ForwardAndWait(WdfDevice* device, PIRP irp) {
    IoCopyCurrentIrpStackLocationToNext(irp);
    return CallDriverAndWait(device->attached_to, irp);
}

NTSTATUS PassDown(WdfDevice* device, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(device->attached_to, irp);
}

NTSTATUS Complete(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void PowerDownAndRelease(WdfDevice* device) {
    if (device->in_d0) {
        device->in_d0 = false;
        if (device->pnp.EvtDeviceD0Exit != nullptr) {
            device->pnp.EvtDeviceD0Exit(Handle(device), WdfPowerDeviceD3Final);
        }
    }
    if (device->prepared) {
        device->prepared = false;
        if (device->pnp.EvtDeviceReleaseHardware != nullptr) {
            device->pnp.EvtDeviceReleaseHardware(Handle(device), NULL);
        }
    }
}

constexpr UCHAR kSurpriseRemoval = 0x17;

}  // namespace

NTSTATUS Kmdf::ProcessIrp(WdfDevice* device, PIRP irp) {
    if (device->control) {
        return ProcessControlIrp(device, irp);
    }
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MajorFunction == IRP_MJ_POWER && stack->MinorFunction == IRP_MN_SET_POWER &&
        stack->Parameters.Power.Type == DevicePowerState) {
        if (stack->Parameters.Power.State.DeviceState == PowerDeviceD0) {
            NTSTATUS status = ForwardAndWait(device, irp);
            if (NT_SUCCESS(status) && !device->in_d0) {
                device->in_d0 = true;
                if (device->pnp.EvtDeviceD0Entry != nullptr) {
                    device->pnp.EvtDeviceD0Entry(Handle(device), device->previous_state);
                }
            }
            return Complete(irp, status);
        }
        if (device->in_d0) {
            device->in_d0 = false;
            device->previous_state = WdfPowerDeviceD3;
            if (device->pnp.EvtDeviceD0Exit != nullptr) {
                device->pnp.EvtDeviceD0Exit(Handle(device), WdfPowerDeviceD3);
            }
        }
        return PassDown(device, irp);
    }
    if (stack->MajorFunction == IRP_MJ_PNP) {
        switch (stack->MinorFunction) {
            case IRP_MN_START_DEVICE: {
                NTSTATUS status = ForwardAndWait(device, irp);
                if (NT_SUCCESS(status) && device->pnp.EvtDevicePrepareHardware != nullptr) {
                    status = device->pnp.EvtDevicePrepareHardware(Handle(device), NULL, NULL);
                }
                device->prepared = NT_SUCCESS(status);
                device->previous_state = WdfPowerDeviceD3Final;
                return Complete(irp, status);
            }
            case kSurpriseRemoval:
                PowerDownAndRelease(device);
                return PassDown(device, irp);
            case IRP_MN_REMOVE_DEVICE: {
                PowerDownAndRelease(device);
                NTSTATUS status = PassDown(device, irp);
                device->attached_to->AttachedDevice = NULL;
                Delete(device);
                return status;
            }
        }
    }
    return PassDown(device, irp);
}

NTSTATUS Kmdf::AddDevice(UsbNode* node, PDEVICE_OBJECT pdo, WdfDevice** filter) {
    WDFDEVICE_INIT init;
    init.node = node;
    init.pdo = pdo;
    Kernel& kernel = Machine::Current().kernel;
    kernel.object_names[&init] = node->name + ".init";
    created_ = nullptr;
    NTSTATUS status =
        driver->config.EvtDriverDeviceAdd(reinterpret_cast<WDFDRIVER>(HandleOf(driver)), &init);
    kernel.object_names.erase(&init);
    *filter = created_;
    created_ = nullptr;
    return status;
}

}  // namespace sim

using sim::CurrentKmdf;
using sim::Machine;

namespace {

std::vector<uint8_t> PropertyBytes(sim::UsbNode* node, DEVICE_REGISTRY_PROPERTY property,
                                   bool* found) {
    sim::Faults& faults = Machine::Current().faults;
    *found = false;
    switch (property) {
        case DevicePropertyHardwareID:
            if (faults.Hit(sim::Fault::kHardwareIdQuery, node->name) ||
                node->hardware_ids.empty()) {
                return {};
            }
            *found = true;
            return sim::Utf16MultiSz(node->hardware_ids);
        case DevicePropertyCompatibleIDs:
            if (faults.Hit(sim::Fault::kCompatibleIdQuery, node->name) ||
                node->compatible_ids.empty()) {
                return {};
            }
            *found = true;
            return sim::Utf16MultiSz(node->compatible_ids);
        case DevicePropertyContainerID:
            if (faults.Hit(sim::Fault::kContainerIdQuery, node->name) ||
                node->container_id.empty()) {
                return {};
            }
            *found = true;
            return sim::Utf16Bytes(node->container_id, true);
        default:
            return {};
    }
}

}  // namespace

extern "C" {

// A property the device does not have gives STATUS_OBJECT_NAME_NOT_FOUND; a short buffer
// STATUS_BUFFER_TOO_SMALL with the size needed, and nothing copied.
NTSTATUS WdfFdoInitQueryProperty(PWDFDEVICE_INIT DeviceInit,
                                 DEVICE_REGISTRY_PROPERTY DeviceProperty, ULONG BufferLength,
                                 PVOID PropertyBuffer, PULONG ResultLength) {
    SimCheckPagedCode("WdfFdoInitQueryProperty");
    bool found = false;
    std::vector<uint8_t> bytes = PropertyBytes(DeviceInit->node, DeviceProperty, &found);
    if (!found) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if (ResultLength != NULL) {
        *ResultLength = static_cast<ULONG>(bytes.size());
    }
    if (BufferLength < bytes.size()) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    memcpy(PropertyBuffer, bytes.data(), bytes.size());
    return STATUS_SUCCESS;
}

VOID WdfFdoInitSetFilter(PWDFDEVICE_INIT DeviceInit) {
    DeviceInit->filter = true;
}

PDEVICE_OBJECT WdfFdoInitWdmGetPhysicalDevice(PWDFDEVICE_INIT DeviceInit) {
    return DeviceInit->pdo;
}

VOID WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT DeviceInit,
                                            PWDF_PNPPOWER_EVENT_CALLBACKS PnpPowerEventCallbacks) {
    DeviceInit->pnp = *PnpPowerEventCallbacks;
}

// Without a minor-function list every minor function of the major one is preprocessed.
NTSTATUS WdfDeviceInitAssignWdmIrpPreprocessCallback(
    PWDFDEVICE_INIT DeviceInit, PFN_WDFDEVICE_WDM_IRP_PREPROCESS EvtDeviceWdmIrpPreprocess,
    UCHAR MajorFunction, PUCHAR MinorFunctions, ULONG NumMinorFunctions) {
    if (MinorFunctions != NULL || NumMinorFunctions != 0) {
        return STATUS_NOT_SUPPORTED;
    }
    DeviceInit->preprocess = EvtDeviceWdmIrpPreprocess;
    DeviceInit->preprocess_major = MajorFunction;
    return STATUS_SUCCESS;
}

NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes,
                         WDFDEVICE* Device) {
    SimCheckPagedCode("WdfDeviceCreate");
    sim::Kmdf& kmdf = CurrentKmdf();
    Machine& machine = Machine::Current();
    PWDFDEVICE_INIT init = *DeviceInit;
    if (init == NULL || init->consumed) {
        machine.BugCheck("WDF_VIOLATION: WdfDeviceCreate with a consumed device-init record");
    }
    if (init->control) {
        return sim::CreateControlDevice(DeviceInit, DeviceAttributes, Device);
    }
    if (!init->filter) {
        machine.BugCheck("WDF_VIOLATION: a device above a function driver must be a filter");
    }
    if (machine.faults.Hit(sim::Fault::kDeviceCreate, init->node->name)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* device = new sim::WdfDevice();
    device->type = sim::WdfType::kDevice;
    NTSTATUS status = kmdf.Adopt(device, DeviceAttributes, kmdf.driver);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    device->node = init->node;
    device->pdo = init->pdo;
    device->filter = true;
    device->pnp = init->pnp;
    device->preprocess = init->preprocess;
    device->preprocess_major = init->preprocess_major;
    device->attached_to = sim::TopOfStack(init->pdo);
    device->self.DriverObject = kmdf.driver->wdm;
    device->self.DeviceExtension = device;
    device->self.StackSize = static_cast<CCHAR>(device->attached_to->StackSize + 1);
    device->attached_to->AttachedDevice = &device->self;
    machine.kernel.object_names[&device->self] = init->node->name + ".filter";
    init->consumed = true;
    *DeviceInit = NULL;
    kmdf.NoteCreated(device);
    *Device = reinterpret_cast<WDFDEVICE>(sim::HandleOf(device));
    return STATUS_SUCCESS;
}

PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE Device) {
    return &CurrentKmdf()
                .LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice,
                                          "WdfDeviceWdmGetDeviceObject")
                ->self;
}

PDEVICE_OBJECT WdfDeviceWdmGetAttachedDevice(WDFDEVICE Device) {
    return CurrentKmdf()
        .LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice, "WdfDeviceWdmGetAttachedDevice")
        ->attached_to;
}

PDEVICE_OBJECT WdfDeviceWdmGetPhysicalDevice(WDFDEVICE Device) {
    return CurrentKmdf()
        .LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice, "WdfDeviceWdmGetPhysicalDevice")
        ->pdo;
}

// The callback must have skipped its own stack location; the framework steps back onto it
// and handles the IRP as if it had never been preprocessed.
NTSTATUS WdfDeviceWdmDispatchPreprocessedIrp(WDFDEVICE Device, PIRP Irp) {
    sim::Kmdf& kmdf = CurrentKmdf();
    auto* device = kmdf.LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice,
                                                 "WdfDeviceWdmDispatchPreprocessedIrp");
    if (device->preprocessed_irp != Irp) {
        Machine::Current().BugCheck(
            "WDF_VIOLATION: WdfDeviceWdmDispatchPreprocessedIrp with an IRP that was not "
            "preprocessed");
    }
    device->preprocessed_irp = nullptr;
    if ((Irp->Tail.Overlay.CurrentStackLocation - 1)->DeviceObject != &device->self) {
        Machine::Current().BugCheck(
            "WDF_VIOLATION: preprocessed IRP handed back without skipping its stack location");
    }
    IoSetNextIrpStackLocation(Irp);
    return kmdf.ProcessIrp(device, Irp);
}

}  // extern "C"
