// Reading and writing files of the simulated file system through their handles, at the
// handle's file position. OVERLAPPED records (offsets, events) are not modelled: a file
// opened here is never asynchronous.
#include <windows.h>

#include "win32/kernel32/console.h"
#include "win32/kernel32/file_system.h"
#include "win32/kernel32/machine_link.h"

namespace {

std::shared_ptr<sim::win32::OpenFile> FileFromHandle(HANDLE handle) {
    return std::dynamic_pointer_cast<sim::win32::OpenFile>(
        sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(handle)));
}

// Without a count to write to nor an OVERLAPPED record, Windows writes through NULL.
void RequireCount(const char* call, LPDWORD count, LPOVERLAPPED overlapped) {
    if (count == NULL && overlapped == NULL) {
        sim::win32::StopRun(std::string("access violation: ") + call +
                            " with neither a byte count nor an OVERLAPPED record");
    }
}

}  // namespace

// Reads up to nNumberOfBytesToRead bytes; at the end of the file TRUE with 0 bytes. A handle
// opened without GENERIC_READ fails with ERROR_ACCESS_DENIED.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    RequireCount("ReadFile", lpNumberOfBytesRead, lpOverlapped);
    if (lpNumberOfBytesRead != NULL) {
        *lpNumberOfBytesRead = 0;
    }
    auto file = FileFromHandle(hFile);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->CanRead()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    DWORD read = static_cast<DWORD>(file->Read(lpBuffer, nNumberOfBytesToRead));
    if (lpNumberOfBytesRead != NULL) {
        *lpNumberOfBytesRead = read;
    }
    return TRUE;
}

// Writes all the bytes, growing the file; a handle opened without GENERIC_WRITE fails with
// ERROR_ACCESS_DENIED. A full disk is not modelled. A console handle (GetStdHandle) writes to
// the process's console, all the bytes at once; ERROR_INVALID_HANDLE without a console.
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    RequireCount("WriteFile", lpNumberOfBytesWritten, lpOverlapped);
    if (lpNumberOfBytesWritten != NULL) {
        *lpNumberOfBytesWritten = 0;
    }
    if (sim::win32::IsConsoleHandle(reinterpret_cast<uintptr_t>(hFile))) {
        if (!sim::win32::WriteConsoleText(lpBuffer, nNumberOfBytesToWrite)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (lpNumberOfBytesWritten != NULL) {
            *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
        }
        return TRUE;
    }
    auto file = FileFromHandle(hFile);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!file->CanWrite()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    file->Write(lpBuffer, nNumberOfBytesToWrite);
    if (lpNumberOfBytesWritten != NULL) {
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    }
    return TRUE;
}

// The size's low 32 bits, the high ones in *lpFileSizeHigh; INVALID_FILE_SIZE with
// ERROR_INVALID_HANDLE for a handle that is not a file's.
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = FileFromHandle(hFile);
    if (file == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = file->Size();
    if (lpFileSizeHigh != NULL) {
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    if (static_cast<DWORD>(size) == INVALID_FILE_SIZE) {
        SetLastError(ERROR_SUCCESS);  // tells a real size of 0xFFFFFFFF from a failure
    }
    return static_cast<DWORD>(size);
}
