// The registry route of selective suspend, for each hub the pass newly finds.
#include "client/debug_print.h"
#include "client/hub_registry.h"
#include "client/windows_version.h"

void CheckPermanentDisableSS(HANDLE device, const VEXA_DEVICE_LIST* list, int entry) {
    // Where the power plan is the route, hubs are left as they are.
    if (PowerPlanVersionTest()) {
        return;
    }
    DebugPrint("CheckPermanentDisableSS, pass OS version test\n");
    HubKeyPaths paths;
    paths.count = 0;
    if (!GetHubInstanceId(device, list->entries[entry].handle, &paths, &list->entries[entry])) {
        DebugPrint("Get instance ID fail\n");
        return;
    }
    if (RegEnableSS(list, entry, &paths, 0)) {
        DebugPrint("CheckPermanentDisableSS, done\n");
    } else {
        DebugPrint("RegEnableSS fail\n");
    }
}
