// The Windows version test that chooses how selective suspend is switched off: through the
// power plan, or per hub through the registry.
#pragma once

#include <windows.h>

// The version Windows reports to this 32-bit program.
void ReadWindowsVersion(OSVERSIONINFOA* version);
// Windows 6.2 or a later 6.x; any other major version fails it. Windows 8.1 and later report
// 6.2 to a program whose manifest declares no supported system, as this one's does, so there
// the power plan is the route.
BOOL VersionPasses(const OSVERSIONINFOA& version);
// Windows 6.2 or a later 6.x: the power plan is the route to switch selective suspend off.
BOOL PowerPlanVersionTest();
