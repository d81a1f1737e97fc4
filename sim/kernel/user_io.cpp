#include "kernel/user_io.h"

#include <ntddk.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "pc/machine.h"
#include "pc/pnp_manager.h"

namespace sim {
namespace {

// "Io  ", the tag the system buffers are charged to.
constexpr uint32_t kSystemBufferTag = 'I' | 'o' << 8 | ' ' << 16 | ' ' << 24;

bool IsError(NTSTATUS status) {
    return (static_cast<uint32_t>(status) >> 30) == 3;
}

std::string Hex(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// Builds the IRP for one major function, sends it and waits until it is back. The driver
// must complete it or mark it pending; anything else is a verifier failure.
// `setup(irp, next)` fills in the major function's parameters; nullptr when there are none.
template <typename Setup>
IO_STATUS_BLOCK SendAndWait(PFILE_OBJECT file, UCHAR major, const Setup& setup) {
    PDEVICE_OBJECT device = file->DeviceObject;
    PIRP irp = IoAllocateIrp(device->StackSize, FALSE);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK status_block = {};
    irp->UserEvent = &done;
    irp->UserIosb = &status_block;
    irp->RequestorMode = UserMode;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->FileObject = file;
    if constexpr (!std::is_null_pointer_v<Setup>) {
        setup(irp, next);
    }
    if (IoCallDriver(device, irp) == STATUS_PENDING) {
        KeWaitForSingleObject(&done, Executive, UserMode, FALSE, NULL);
    } else if (KeReadStateEvent(&done) == 0) {
        Machine::Current().BugCheck(
            "DRIVER_VERIFIER_IOMANAGER_VIOLATION: dispatch returned without completing the IRP "
            "or marking it pending");
    }
    IoFreeIrp(irp);
    return status_block;
}

}  // namespace

UserIo::UserIo() = default;
UserIo::~UserIo() = default;

int32_t UserIo::Open(const std::string& path, UserHandle* handle) {
    *handle = 0;
    auto* device = static_cast<PDEVICE_OBJECT>(Machine::Current().kernel.names.Resolve(path));
    if (device == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if ((device->Flags & DO_DEVICE_INITIALIZING) != 0) {
        return STATUS_NO_SUCH_DEVICE;
    }
    if ((device->Flags & DO_EXCLUSIVE) != 0 && device->ReferenceCount > 0) {
        return STATUS_ACCESS_DENIED;
    }
    auto file = std::make_unique<FILE_OBJECT>();
    file->Type = 5;
    file->Size = sizeof(FILE_OBJECT);
    file->DeviceObject = device;
    NTSTATUS status = SendAndWait(file.get(), IRP_MJ_CREATE, nullptr).Status;
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ++device->ReferenceCount;
    *handle = next_;
    next_ += 4;
    files_[*handle] = std::move(file);
    return STATUS_SUCCESS;
}

IoResult UserIo::DeviceControl(UserHandle handle, uint32_t code, const void* input,
                               size_t input_length, void* output, size_t output_length) {
    auto found = files_.find(handle);
    if (found == files_.end()) {
        return {STATUS_INVALID_HANDLE, 0};
    }
    Machine& machine = Machine::Current();
    size_t system_length = std::max(input_length, output_length);
    void* system = nullptr;
    if (system_length != 0) {
        system =
            machine.kernel.pool.Allocate(system_length, kSystemBufferTag, Pool::Owner::kKernel);
        if (system == nullptr) {
            return {STATUS_INSUFFICIENT_RESOURCES, 0};
        }
        if (input_length != 0) {
            memcpy(system, input, input_length);
        }
    }
    IO_STATUS_BLOCK result = SendAndWait(
        found->second.get(), IRP_MJ_DEVICE_CONTROL, [&](PIRP irp, PIO_STACK_LOCATION next) {
            irp->AssociatedIrp.SystemBuffer = system;
            irp->UserBuffer = output;
            next->Parameters.DeviceIoControl.IoControlCode = code;
            next->Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(input_length);
            next->Parameters.DeviceIoControl.OutputBufferLength = static_cast<ULONG>(output_length);
        });
    if (result.Information > output_length) {
        machine.BugCheck("DRIVER_VERIFIER_IOMANAGER_VIOLATION: I/O control " + Hex(code) +
                         " reports " + std::to_string(result.Information) +
                         " bytes for an output buffer of " + std::to_string(output_length));
    }
    if (!IsError(result.Status) && result.Information != 0) {
        memcpy(output, system, result.Information);
    }
    if (system != nullptr) {
        machine.kernel.pool.Free(system, kSystemBufferTag);
    }
    return {result.Status, result.Information};
}

int32_t UserIo::Close(UserHandle handle) {
    auto found = files_.find(handle);
    if (found == files_.end()) {
        return STATUS_INVALID_HANDLE;
    }
    PFILE_OBJECT file = found->second.get();
    SendAndWait(file, IRP_MJ_CLEANUP, nullptr);
    SendAndWait(file, IRP_MJ_CLOSE, nullptr);
    --file->DeviceObject->ReferenceCount;
    files_.erase(found);
    Machine::Current().pnp->HandleClosed();
    return STATUS_SUCCESS;
}

size_t UserIo::HandlesTo(const _DRIVER_OBJECT* driver) const {
    size_t count = 0;
    for (const auto& [handle, file] : files_) {
        count += file->DeviceObject->DriverObject == driver ? 1 : 0;
    }
    return count;
}

}  // namespace sim
