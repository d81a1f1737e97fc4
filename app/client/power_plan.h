// USB selective suspend through the active power plan, driven with POWERCFG.
#pragma once

#include <windows.h>

#include "client/windows_version.h"

#define SCHEME_GUID_LENGTH 36  // 8-4-4-4-12 hexadecimal digits
#define POWER_PLAN_FILE_BUFFER 100

// Sets the USB selective-suspend setting of the active plan, AC and DC, to value (0 off,
// 1 on); 1 when both value commands were started. flag has no effect.
int ChangePowerPlanUsbSelectiveSuspend(int value, int flag);

// Around a port command when the plan is not changed for the whole run; the arguments are
// those of the pass and not used.
void StopUsbSelectiveSuspend(HANDLE device, const void* enumeration, int entry);
void StartUsbSelectiveSuspend(HANDLE device, const void* enumeration, int entry);

// Takes the scheme GUID that follows the first ": " of what POWERCFG -GETACTIVESCHEME
// printed. The GUID goes into a command line run elevated, so only the 8-4-4-4-12 form is
// accepted; guid gets it zero-terminated. FALSE when there is no such text.
BOOL ReadSchemeGuid(LPCSTR text, char guid[SCHEME_GUID_LENGTH + 1]);
