#include "instance_id_device.h"

#include <ntddk.h>

#include <algorithm>
#include <cstring>

#include "pc/machine.h"
#include "vexa_ioctl.h"

namespace win32test {
namespace {

DRIVER_OBJECT g_driver;
DEVICE_OBJECT g_device;
std::string g_text;

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS Dispatch(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION location = IoGetCurrentIrpStackLocation(irp);
    if (location->MajorFunction != IRP_MJ_DEVICE_CONTROL) {
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    ULONG output = location->Parameters.DeviceIoControl.OutputBufferLength;
    if (location->Parameters.DeviceIoControl.IoControlCode != VEXA_IOCTL_GET_INSTANCE_ID ||
        output < VEXA_QUERY_HEADER_SIZE + VEXA_STRING_CAPACITY) {
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    auto* reply = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    memcpy(reply + VEXA_QUERY_HEADER_SIZE, g_text.data(),
           std::min<size_t>(g_text.size(), VEXA_STRING_CAPACITY));
    return Complete(irp, STATUS_SUCCESS, output);
}

}  // namespace

void InstallInstanceIdDevice(const std::string& text) {
    g_text = text;
    g_driver = DRIVER_OBJECT{};
    for (PDRIVER_DISPATCH& entry : g_driver.MajorFunction) {
        entry = Dispatch;
    }
    g_device = DEVICE_OBJECT{};
    g_device.DriverObject = &g_driver;
    g_device.StackSize = 1;
    sim::Kernel& kernel = sim::Machine::Current().kernel;
    kernel.names.InsertDevice("\\Device\\tabvolt", &g_device);
    kernel.names.InsertLink("\\DosDevices\\tabvolt", "\\Device\\tabvolt");
}

}  // namespace win32test
