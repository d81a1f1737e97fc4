// The user-mode side of device I/O, as NtCreateFile, NtDeviceIoControlFile and NtClose give
// it to a program: handles to devices opened by name, and synchronous, buffered I/O-control
// requests. The Win32 calls (CreateFileA, DeviceIoControl, CloseHandle) are built on these.
// Callers are simulated threads at PASSIVE_LEVEL; every call waits until its IRP is back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

struct _FILE_OBJECT;
struct _DRIVER_OBJECT;

namespace sim {

using UserHandle = uintptr_t;  // 0 is never a handle

struct IoResult {
    int32_t status = 0;  // NTSTATUS
    size_t information = 0;
};

class UserIo {
  public:
    UserIo();
    ~UserIo();

    // Opens a device by NT or Win32 path ("\Device\tabvolt", "\\.\tabvolt"); fails with
    // STATUS_OBJECT_NAME_NOT_FOUND when nothing has that name, STATUS_NO_SUCH_DEVICE while
    // the device is still initializing, or with the status the driver's create gave.
    int32_t Open(const std::string& path, UserHandle* handle);
    // Sends a METHOD_BUFFERED request: the input is copied into a system buffer as long as
    // the longer of the two buffers, and on a success or warning status `information` bytes
    // are copied back to the output. A driver that reports more bytes than the output holds
    // is stopped as Driver Verifier would stop it.
    IoResult DeviceControl(UserHandle handle, uint32_t code, const void* input, size_t input_length,
                           void* output, size_t output_length);
    // Sends the cleanup and close requests and forgets the handle. The handle's reference
    // on the device object goes with it; the last one on a deleted device object may let
    // the PnP manager unload its driver.
    int32_t Close(UserHandle handle);
    size_t open_count() const { return files_.size(); }
    // Open handles to device objects of `driver`, deleted ones included.
    size_t HandlesTo(const _DRIVER_OBJECT* driver) const;

  private:
    std::map<UserHandle, std::unique_ptr<_FILE_OBJECT>> files_;
    UserHandle next_ = 0x40;
};

}  // namespace sim
