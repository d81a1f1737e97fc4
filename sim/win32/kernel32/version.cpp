#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "win32/ascii_lower.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/process.h"

namespace {

// The sizes a 32-bit program passes: OSVERSIONINFOA and OSVERSIONINFOEXA.
constexpr DWORD kVersionInfoSize = 148;
constexpr DWORD kVersionInfoExSize = 156;

// The supportedOS identifiers of Windows 10 and of Windows 8.1 in a compatibility manifest.
constexpr const char* kWindows10Id = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}";
constexpr const char* kWindows81Id = "{1f676c76-80e1-4239-95bb-83d0f6d0da78}";

// Whether the process's manifest (RT_MANIFEST 1) has a supportedOS element naming `id`.
bool ManifestDeclares(const std::string& id) {
    const sim::win32::ResourceEntry* manifest =
        sim::win32::CurrentProcess().resources.Find({24, ""}, {1, ""});
    if (manifest == nullptr) {
        return false;
    }
    std::string text = sim::win32::AsciiLower({manifest->data.begin(), manifest->data.end()});
    for (size_t at = text.find("<supportedos"); at != std::string::npos;
         at = text.find("<supportedos", at + 1)) {
        if (text.substr(at, text.find('>', at) - at).find(id) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Reports the version Windows tells the program: up to Windows 8 the machine's own; from
// Windows 8.1 on, 6.2 (build 9200) unless the program's manifest declares Windows 8.1 (6.3,
// build 9600) or Windows 10 (the machine's own). Another size field fails with
// ERROR_INSUFFICIENT_BUFFER and writes nothing. The service-pack text, suite and product type
// stay empty.
BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != kVersionInfoSize && size != kVersionInfoExSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    DWORD major = 0, minor = 0, build = 0;
    sim::win32::WindowsVersion(&major, &minor, &build);
    bool from_81 = major > 6 || (major == 6 && minor >= 3);
    if (from_81 && !ManifestDeclares(kWindows10Id)) {
        bool declares_81 = ManifestDeclares(kWindows81Id);
        minor = declares_81 ? 3 : 2;
        build = declares_81 ? 9600 : 9200;
        major = 6;
    }
    lpVersionInformation->dwMajorVersion = major;
    lpVersionInformation->dwMinorVersion = minor;
    lpVersionInformation->dwBuildNumber = build;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    if (size == kVersionInfoExSize) {
        auto* extended = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        memset(&extended->wServicePackMajor, 0,
               sizeof(OSVERSIONINFOEXA) - offsetof(OSVERSIONINFOEXA, wServicePackMajor));
    }
    return TRUE;
}
