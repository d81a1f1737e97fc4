#include "client/windows_version.h"

#include "client/struct_sizes.h"

void ReadWindowsVersion(OSVERSIONINFOA* version) {
    ZeroMemory(version, sizeof(*version));
    version->dwOSVersionInfoSize = OS_VERSION_INFO_SIZE;
    GetVersionExA(version);
}

BOOL VersionPasses(const OSVERSIONINFOA& version) {
    return version.dwMajorVersion == 6 && version.dwMinorVersion >= 2;
}

BOOL PowerPlanVersionTest() {
    OSVERSIONINFOA version;
    ReadWindowsVersion(&version);
    return VersionPasses(version);
}
