// Files and devices. A device's handle is the user-mode channel's handle to the file object;
// a file's is a handle of the process's table to an open file of the simulated file system.
// Every device request is synchronous, whatever the flags: a request that the driver leaves
// pending is waited for, which is what KERNEL32 does for a handle opened with
// FILE_FLAG_OVERLAPPED when no OVERLAPPED record is passed (it waits on the file object,
// then returns the request's status). With an OVERLAPPED record the call also returns only
// once the request is done, never with ERROR_IO_PENDING; its event is not signaled.
#include <windows.h>

#include <algorithm>
#include <string>

#include "win32/kernel32/file_system.h"
#include "win32/kernel32/kernel_objects.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/process.h"

namespace {

// "\\.\NAME": Win32's name for a DOS device, the object namespace's \DosDevices\NAME.
bool IsDevicePath(LPCSTR name) {
    return strncmp(name, "\\\\.\\", 4) == 0;
}

uintptr_t ChannelHandle(HANDLE handle) {
    return reinterpret_cast<uintptr_t>(handle);
}

bool Failed(int32_t status) {
    return status < 0;
}

HANDLE OpenFileHandle(LPCSTR path, DWORD access, DWORD share, DWORD disposition) {
    if (sim::win32::FaultHits("file-open", sim::win32::NormalPath(path))) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    uint32_t error = 0;
    bool existed = false;
    auto file = sim::win32::OpenFileByPath(path, access, share, disposition, &error, &existed);
    if (file == nullptr) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) {
        SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    }
    return reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(file));
}

}  // namespace

// Opens a file of the file system, or a device by its Win32 name through the object
// namespace. A file: access and share modes are checked against its other opens
// (ERROR_SHARING_VIOLATION), dispositions as documented (ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND for a missing directory, ERROR_FILE_EXISTS; CREATE_ALWAYS and
// OPEN_ALWAYS set ERROR_ALREADY_EXISTS or 0). The "file-open" fault fails the open with
// ERROR_SHARING_VIOLATION, as a user sees it while another program (cmd.exe still writing,
// a scanner) holds the file. A device: a failure returns the open's status as the last error
// (a name nothing has: ERROR_FILE_NOT_FOUND); access, sharing and disposition are not
// checked and success leaves the last error as it was. Security and attributes are ignored.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (lpFileName == NULL) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!IsDevicePath(lpFileName)) {
        return OpenFileHandle(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition);
    }
    uintptr_t handle = 0;
    int32_t status = sim::win32::OpenDevice(lpFileName, &handle);
    if (Failed(status)) {
        SetLastError(sim::win32::Win32ErrorFromStatus(status));
        return INVALID_HANDLE_VALUE;
    }
    sim::win32::CurrentProcess().device_handles.push_back(handle);
    return reinterpret_cast<HANDLE>(handle);
}

// Sends a buffered I/O-control request and waits for it. TRUE for a success status; a
// warning (STATUS_BUFFER_OVERFLOW) or an error returns FALSE with the mapped last error.
// lpBytesReturned receives the bytes copied back either way. Without it and without an
// OVERLAPPED record, Windows writes through the NULL pointer: the program faults.
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    if (lpBytesReturned == NULL && lpOverlapped == NULL) {
        sim::win32::StopRun(
            "access violation: DeviceIoControl with neither lpBytesReturned "
            "nor an OVERLAPPED record");
    }
    size_t information = 0;
    int32_t status =
        sim::win32::ControlDevice(ChannelHandle(hDevice), dwIoControlCode, lpInBuffer,
                                  nInBufferSize, lpOutBuffer, nOutBufferSize, &information);
    if (lpBytesReturned != NULL) {
        *lpBytesReturned = static_cast<DWORD>(information);
    }
    if (Failed(status)) {
        SetLastError(sim::win32::Win32ErrorFromStatus(status));
        return FALSE;
    }
    return TRUE;
}

// Closes a handle of the calling process: an object's (thread, process, file), whose object
// goes once nothing else holds it, or a device's, whose driver sees cleanup and close. The
// pseudo-handles of GetCurrentThread and GetCurrentProcess close without effect. A handle
// that is not open fails with ERROR_INVALID_HANDLE; the debugger exception Windows raises for
// it under a debugger is not modelled.
BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentThread() || hObject == GetCurrentProcess() ||
        sim::win32::CloseObjectHandle(ChannelHandle(hObject))) {
        return TRUE;
    }
    std::vector<uintptr_t>& devices = sim::win32::CurrentProcess().device_handles;
    auto held = std::find(devices.begin(), devices.end(), ChannelHandle(hObject));
    if (held == devices.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    devices.erase(held);
    int32_t status = sim::win32::CloseDevice(ChannelHandle(hObject));
    if (Failed(status)) {
        SetLastError(sim::win32::Win32ErrorFromStatus(status));
        return FALSE;
    }
    return TRUE;
}
