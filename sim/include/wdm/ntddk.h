// Stand-in for the WDK's ntddk.h: wdm.h plus the system-information routines.
#pragma once

#include "wdm.h"

extern "C" {
// Reports the simulated Windows version; each pointer may be NULL.
BOOLEAN PsGetVersion(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                     PUNICODE_STRING CSDVersion);
}
