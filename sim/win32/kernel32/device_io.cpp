// Files and devices. A program's handle is the user-mode channel's handle to the file object;
// every request is synchronous, whatever the flags: FILE_FLAG_OVERLAPPED and OVERLAPPED
// records are accepted and ignored, since the simulated drivers complete each request
// before the sender goes on. There is no file system yet: only device names open.
#include <windows.h>

#include <string>

#include "win32/kernel32/kernel_objects.h"
#include "win32/kernel32/machine_link.h"

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

}  // namespace

// Opens a device by its Win32 name through the object namespace; a failure returns
// INVALID_HANDLE_VALUE with the open's status as the thread's last error (a name nothing
// has: ERROR_FILE_NOT_FOUND). Access, sharing, disposition and security are not checked;
// success leaves the last error as it was.
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                          HANDLE) {
    if (lpFileName == NULL || !IsDevicePath(lpFileName)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t handle = 0;
    int32_t status = sim::win32::OpenDevice(lpFileName, &handle);
    if (Failed(status)) {
        SetLastError(sim::win32::Win32ErrorFromStatus(status));
        return INVALID_HANDLE_VALUE;
    }
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
    int32_t status = sim::win32::CloseDevice(ChannelHandle(hObject));
    if (Failed(status)) {
        SetLastError(sim::win32::Win32ErrorFromStatus(status));
        return FALSE;
    }
    return TRUE;
}
