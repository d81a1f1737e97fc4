#include <windows.h>

#include "win32/kernel32/machine_link.h"

namespace {

// The sizes a 32-bit program passes: OSVERSIONINFOA and OSVERSIONINFOEXA.
constexpr DWORD kVersionInfoSize = 148;
constexpr DWORD kVersionInfoExSize = 156;

}  // namespace

// Reports the machine's version as a program without a compatibility manifest sees it (the
// version the machine is set to; Windows 8.1's "6.2 for every program" is the machine's to
// choose). Another size field fails with ERROR_INSUFFICIENT_BUFFER and writes nothing. The
// service-pack text, suite and product type stay empty.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != kVersionInfoSize && size != kVersionInfoExSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    sim::win32::WindowsVersion(&lpVersionInformation->dwMajorVersion,
                               &lpVersionInformation->dwMinorVersion,
                               &lpVersionInformation->dwBuildNumber);
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    if (size == kVersionInfoExSize) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        memset(&extended->wServicePackMajor, 0,
               sizeof(OSVERSIONINFOEXA) - offsetof(OSVERSIONINFOEXA, wServicePackMajor));
    }
    return TRUE;
}
