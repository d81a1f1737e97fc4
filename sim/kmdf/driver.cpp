// The framework driver object: creation from DriverEntry, the framework's IRP dispatch for
// its devices, trace registration and unload.
#include "kmdf/kmdf.h"
#include "pc/machine.h"

namespace sim {
NTSTATUS RegisterWmiTraceCallback(PVOID key, PVOID callback, PVOID context, const char* route);

namespace {

// Every major function of a framework driver lands here: the preprocess callback sees the
// IRPs it registered for, the framework handles the rest.
NTSTATUS FrameworkDispatch(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    auto* device = static_cast<WdfDevice*>(DeviceObject->DeviceExtension);
    if (device->preprocess != nullptr &&
        IoGetCurrentIrpStackLocation(Irp)->MajorFunction == device->preprocess_major) {
        device->preprocessed_irp = Irp;
        return device->preprocess(reinterpret_cast<WDFDEVICE>(HandleOf(device)), Irp);
    }
    return CurrentKmdf().ProcessIrp(device, Irp);
}

}  // namespace

void Kmdf::UnloadDriver() {
    if (driver == nullptr) {
        return;
    }
    WdfDriver* ending = driver;
    // A driver unloads only once no request and no open file holds it: their ends happen
    // before its unload (see CompleteRequest and CloseControlFile).
    race::Acquire(this);
    if (ending->config.EvtDriverUnload != nullptr) {
        ending->config.EvtDriverUnload(reinterpret_cast<WDFDRIVER>(HandleOf(ending)));
    }
    Delete(ending);
    driver = nullptr;
    if (!control_inits.empty()) {
        Machine::Current().BugCheck("WDF_VIOLATION: a control-device init record was never freed");
    }
}

bool Kmdf::DriverHasDevices() const {
    if (driver == nullptr) {
        return false;
    }
    for (const WdfObject* child : driver->children) {
        if (child->type == WdfType::kDevice && !child->deleted) {
            return true;
        }
    }
    return false;
}

}  // namespace sim

using sim::CurrentKmdf;
using sim::Machine;

extern "C" {

NTSTATUS WdfDriverCreate(PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
                         PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig,
                         WDFDRIVER* Driver) {
    UNREFERENCED_PARAMETER(RegistryPath);
    sim::Kmdf& kmdf = CurrentKmdf();
    if (kmdf.driver != nullptr) {
        Machine::Current().BugCheck("WDF_VIOLATION: WdfDriverCreate called twice");
    }
    if (DriverConfig == NULL || DriverConfig->Size != sizeof(WDF_DRIVER_CONFIG)) {
        return STATUS_INVALID_PARAMETER;
    }
    if (Machine::Current().faults.Hit(sim::Fault::kDriverCreate)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* driver = new sim::WdfDriver();
    driver->type = sim::WdfType::kDriver;
    driver->config = *DriverConfig;
    driver->wdm = DriverObject;
    NTSTATUS status = kmdf.Adopt(driver, DriverAttributes, nullptr);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    for (PDRIVER_DISPATCH& dispatch : DriverObject->MajorFunction) {
        dispatch = &sim::FrameworkDispatch;
    }
    kmdf.driver = driver;
    if (Driver != NULL) {
        *Driver = reinterpret_cast<WDFDRIVER>(sim::HandleOf(driver));
    }
    return STATUS_SUCCESS;
}

// Registers the callback with WMI under the control block's address, the provider's identity
// on this route, and hands the block to the callback as its context; the driver removes the
// provider with IoWMIRegistrationControl on the same address.
NTSTATUS WdfDriverRegisterTraceInfo(PDRIVER_OBJECT DriverObject,
                                    PFN_WDF_TRACE_CALLBACK EvtTraceCallback, PVOID ControlBlock) {
    UNREFERENCED_PARAMETER(DriverObject);
    if (ControlBlock == NULL) {
        return STATUS_INVALID_PARAMETER;
    }
    return sim::RegisterWmiTraceCallback(ControlBlock, reinterpret_cast<PVOID>(EvtTraceCallback),
                                         ControlBlock, "wdf");
}

}  // extern "C"
