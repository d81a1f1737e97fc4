// Selective suspend switched off per hub, for good, where the power plan is not the route:
// the hub's EnableSelectiveSuspend value set to 0 in its "Device Parameters" key, and the
// hub restarted through SetupAPI around the write.
#pragma once

#include <windows.h>

#include "vexa_ioctl.h"

#define HUB_KEY_PATH_COUNT 6
// What wvsprintfA may write: a path holds a whole 511-character instance ID.
#define HUB_KEY_PATH_SIZE 1025

// The hub's candidate key paths below HKEY_LOCAL_MACHINE, in the order they are tried.
struct HubKeyPaths {
    int count;
    char path[HUB_KEY_PATH_COUNT][HUB_KEY_PATH_SIZE];
};

// Run by the pass for the last hub it added, outside the list locks: on Windows versions that
// fail the power plan's version test, the hub's value is set to 0 and the hub restarted.
void CheckPermanentDisableSS(HANDLE device, const VEXA_DEVICE_LIST* list, int entry);

// Asks the driver for the hub's instance ID and fills paths with the six key paths it may
// have; 1 on success, 0 on failure.
int GetHubInstanceId(HANDLE device, ULONG hubHandle, HubKeyPaths* paths,
                     const VEXA_DEVICE_ENTRY* entry);

// Writes value as the hub's EnableSelectiveSuspend in the first key path that opens, with
// the hub disabled around the write; 1 when written and the hub enabled again, else 0.
int RegEnableSS(const VEXA_DEVICE_LIST* list, int entry, const HubKeyPaths* paths, DWORD value);

// Enables or disables every device whose first hardware ID names this vendor, product and
// revision under one of the hub stacks; non-zero when at least one matched and every match was
// given the change.
BOOL ChangeHubState(USHORT vendor, USHORT product, USHORT revision, BOOL enable);

// Enables again the hub models whose enable after the write failed, each until it succeeds;
// run by every pass.
void RetryHubEnables();
