// Control devices: the init record the driver owns, the device's name and symbolic link,
// its file objects, and its deletion.
#include "kernel/wide_text.h"
#include "kmdf/kmdf.h"
#include "pc/machine.h"

namespace sim {
namespace {

NTSTATUS CompleteWithNoData(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

WdfDevice* LookupControlDevice(WDFDEVICE handle, const char* caller) {
    auto* device = CurrentKmdf().LookupAs<WdfDevice>(handle, WdfType::kDevice, caller);
    if (!device->control) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + caller +
                                    " expects a control device");
    }
    return device;
}

// The driver's create callback owns the request and must complete it; until then the
// opener waits.
NTSTATUS OpenControlFile(Kmdf& kmdf, WdfDevice* device, PIRP irp) {
    auto* file = new WdfFileObject();
    file->type = WdfType::kFileObject;
    file->wdm = IoGetCurrentIrpStackLocation(irp)->FileObject;
    kmdf.Adopt(file, WDF_NO_OBJECT_ATTRIBUTES, device);
    device->files[file->wdm] = file;
    if (device->file_config.EvtDeviceFileCreate == nullptr) {
        return CompleteWithNoData(irp, STATUS_SUCCESS);
    }
    WdfRequest* request = kmdf.NewRequest(irp, nullptr);
    request->created = file;
    IoMarkIrpPending(irp);
    device->file_config.EvtDeviceFileCreate(Handle(device), reinterpret_cast<WDFREQUEST>(request),
                                            Handle(file));
    return STATUS_PENDING;
}

// A file object that the device's deletion has taken already goes without its callback.
NTSTATUS CloseControlFile(Kmdf& kmdf, WdfDevice* device, PIRP irp) {
    auto found = device->files.find(IoGetCurrentIrpStackLocation(irp)->FileObject);
    if (found != device->files.end()) {
        WdfFileObject* file = found->second;
        device->files.erase(found);
        if (!file->deleted) {
            if (device->file_config.EvtFileClose != nullptr) {
                device->file_config.EvtFileClose(Handle(file));
            }
            kmdf.Delete(file);
        }
    }
    race::Release(&kmdf);
    return CompleteWithNoData(irp, STATUS_SUCCESS);
}

}  // namespace

NTSTATUS Kmdf::ProcessControlIrp(WdfDevice* device, PIRP irp) {
    bool gone = device->deleting || device->deleted;
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
        case IRP_MJ_CREATE:
            return gone ? CompleteWithNoData(irp, STATUS_DELETE_PENDING)
                        : OpenControlFile(*this, device, irp);
        case IRP_MJ_CLEANUP: {
            auto found = device->files.find(IoGetCurrentIrpStackLocation(irp)->FileObject);
            if (!gone && found != device->files.end() &&
                device->file_config.EvtFileCleanup != nullptr) {
                device->file_config.EvtFileCleanup(Handle(found->second));
            }
            return CompleteWithNoData(irp, STATUS_SUCCESS);
        }
        case IRP_MJ_CLOSE:
            return CloseControlFile(*this, device, irp);
        case IRP_MJ_DEVICE_CONTROL:
            return gone ? CompleteWithNoData(irp, STATUS_INVALID_DEVICE_STATE)
                        : QueueRequest(device, irp);
        default:
            return CompleteWithNoData(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

void Kmdf::BeginControlDeviceDeletion(WdfDevice* device) {
    Machine& machine = Machine::Current();
    SimCheckPagedCode("WdfObjectDelete of a control device");
    if (device->deleting) {
        machine.BugCheck("WDF_VIOLATION: control device deleted twice");
    }
    device->deleting = true;
    if (!device->link.empty()) {
        machine.kernel.names.RemoveLink(device->link);
    }
    if (!device->name.empty()) {
        machine.kernel.names.RemoveDevice(device->name);
    }
    while (device->queue != nullptr && !device->queue->idle()) {
        machine.scheduler.Block(device->queue, std::nullopt,
                                "control device deletion, for its requests to complete");
    }
    if (device->queue != nullptr) {
        race::Acquire(device->queue);
    }
    machine.Log("io", "control device " + device->name + " deleted");
}

NTSTATUS CreateControlDevice(PWDFDEVICE_INIT* DeviceInit, PWDF_OBJECT_ATTRIBUTES attributes,
                             WDFDEVICE* created) {
    Kmdf& kmdf = CurrentKmdf();
    Machine& machine = Machine::Current();
    PWDFDEVICE_INIT init = *DeviceInit;
    if (machine.faults.Hit(Fault::kDeviceCreate, "control")) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!init->name.empty() && machine.kernel.names.Exists(init->name)) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    auto* device = new WdfDevice();
    device->type = WdfType::kDevice;
    NTSTATUS status = kmdf.Adopt(device, attributes, kmdf.driver);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    device->control = true;
    device->name = init->name;
    device->sddl = init->sddl;
    device->file_config = init->file_config;
    device->self.DriverObject = kmdf.driver->wdm;
    device->self.DeviceExtension = device;
    device->self.StackSize = 1;
    device->self.DeviceType = FILE_DEVICE_UNKNOWN;
    device->self.Flags = DO_DEVICE_INITIALIZING | (init->exclusive ? DO_EXCLUSIVE : 0);
    if (!device->name.empty()) {
        machine.kernel.names.InsertDevice(device->name, &device->self);
    }
    machine.kernel.object_names[&device->self] = "control";
    kmdf.control_inits.erase(init);
    delete init;
    *DeviceInit = NULL;
    *created = Handle(device);
    return STATUS_SUCCESS;
}

}  // namespace sim

using sim::CurrentKmdf;
using sim::Machine;

extern "C" {

PWDFDEVICE_INIT WdfControlDeviceInitAllocate(WDFDRIVER Driver, PCUNICODE_STRING SDDLString) {
    sim::Kmdf& kmdf = CurrentKmdf();
    kmdf.LookupAs<sim::WdfDriver>(Driver, sim::WdfType::kDriver, "WdfControlDeviceInitAllocate");
    if (SDDLString == NULL) {
        Machine::Current().BugCheck(
            "WDF_VIOLATION: WdfControlDeviceInitAllocate needs a security descriptor");
    }
    if (Machine::Current().faults.Hit(sim::Fault::kControlInit)) {
        return NULL;
    }
    auto* init = new WDFDEVICE_INIT();
    init->control = true;
    init->sddl = sim::Narrow(SDDLString);
    kmdf.control_inits.insert(init);
    return init;
}

VOID WdfDeviceInitFree(PWDFDEVICE_INIT DeviceInit) {
    sim::Kmdf& kmdf = CurrentKmdf();
    if (kmdf.control_inits.erase(DeviceInit) == 0) {
        Machine::Current().BugCheck(
            "WDF_VIOLATION: WdfDeviceInitFree of a record the driver does not own");
    }
    delete DeviceInit;
}

VOID WdfDeviceInitSetExclusive(PWDFDEVICE_INIT DeviceInit, BOOLEAN IsExclusive) {
    DeviceInit->exclusive = IsExclusive != FALSE;
}

// The "assign-name" fault stands for the copy of the name failing for want of memory.
NTSTATUS WdfDeviceInitAssignName(PWDFDEVICE_INIT DeviceInit, PCUNICODE_STRING DeviceName) {
    if (Machine::Current().faults.Hit(sim::Fault::kAssignName)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    DeviceInit->name = DeviceName == NULL ? std::string() : sim::Narrow(DeviceName);
    return STATUS_SUCCESS;
}

VOID WdfDeviceInitSetFileObjectConfig(PWDFDEVICE_INIT DeviceInit,
                                      PWDF_FILEOBJECT_CONFIG FileObjectConfig,
                                      PWDF_OBJECT_ATTRIBUTES FileObjectAttributes) {
    UNREFERENCED_PARAMETER(FileObjectAttributes);
    if (FileObjectConfig->Size != sizeof(WDF_FILEOBJECT_CONFIG)) {
        Machine::Current().BugCheck("WDF_VIOLATION: file-object configuration of a wrong size");
    }
    DeviceInit->file_config = *FileObjectConfig;
}

NTSTATUS WdfDeviceCreateSymbolicLink(WDFDEVICE Device, PCUNICODE_STRING SymbolicLinkName) {
    SimCheckPagedCode("WdfDeviceCreateSymbolicLink");
    Machine& machine = Machine::Current();
    auto* device = CurrentKmdf().LookupAs<sim::WdfDevice>(Device, sim::WdfType::kDevice, __func__);
    if (device->name.empty() || !device->link.empty()) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (machine.faults.Hit(sim::Fault::kSymbolicLink)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::string link = sim::Narrow(SymbolicLinkName);
    if (!machine.kernel.names.InsertLink(link, device->name)) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    device->link = link;
    return STATUS_SUCCESS;
}

VOID WdfControlFinishInitializing(WDFDEVICE Device) {
    sim::WdfDevice* device = sim::LookupControlDevice(Device, "WdfControlFinishInitializing");
    device->self.Flags &= ~static_cast<ULONG>(DO_DEVICE_INITIALIZING);
    Machine::Current().Log("io", "control device " + device->name + " ready");
}

}  // extern "C"
