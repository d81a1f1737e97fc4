// The Windows version test that chooses how selective suspend is switched off: through the
// power plan, or per hub through the registry.
#pragma once

#include <windows.h>

// The version Windows reports to this 32-bit program.
void ReadWindowsVersion(OSVERSIONINFOA* version);
// Windows 6.2 or a later 6.x; any other major version, 10 included, fails it.
BOOL VersionPasses(const OSVERSIONINFOA& version);
// Windows 6.2 or a later 6.x: the power plan is the route to switch selective suspend off.
BOOL PowerPlanVersionTest();
