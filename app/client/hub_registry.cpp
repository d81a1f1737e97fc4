#include "client/hub_registry.h"

#include <setupapi.h>
#include <stdarg.h>
#include <string.h>

#include "client/debug_print.h"
#include "client/driver_requests.h"
#include "client/struct_sizes.h"

namespace {

#define HARDWARE_ID_BUFFER 256
#define USB_CLASS_GUIDS_MAX 8
#define HUB_PATTERN_COUNT 6
#define HUB_PATTERN_SIZE 64

const char kSelectiveSuspendValue[] = "EnableSelectiveSuspend";

// The hub's hardware key under the in-box USB stack and under the other host-controller
// stacks, with vendor, product and instance ID.
#define ENUM_KEY "SYSTEM\\CurrentControlSet\\Enum\\"
#define DEVICE_PARAMETERS "\\%s\\Device Parameters"
const char* const kKeyPathFormats[HUB_KEY_PATH_COUNT] = {
    ENUM_KEY "USB\\VID_%04X&PID_%04X" DEVICE_PARAMETERS,
    ENUM_KEY "USB\\VID_%04X&PID_%04X&ASMEDIAUSBD_Hub" DEVICE_PARAMETERS,
    ENUM_KEY "USB\\VID_%04X&PID_%04X&TIUSBD_Hub" DEVICE_PARAMETERS,
    ENUM_KEY "VUSB\\VID_%04X&PID_%04X" DEVICE_PARAMETERS,
    ENUM_KEY "ENUSB3\\Vid_%04X&Pid_%04X" DEVICE_PARAMETERS,
    ENUM_KEY "FLUSB\\Vid_%04X&Pid_%04X" DEVICE_PARAMETERS,
};

// The same stacks' hardware IDs, with vendor, product and revision.
const char* const kHubPatternFormats[HUB_PATTERN_COUNT] = {
    "USB\\VID_%04X&PID_%04X&REV_%04X",
    "USB\\ASMEDIAUSBD_HUB&VID_%04X&PID_%04X&REV_%04X",
    "USB\\TIUSBD_HUB&VID_%04X&PID_%04X&REV_%04X",
    "VUSB\\VID_%04X&PID_%04X&REV_%04X",
    "ENUSB3\\VID_%04X&PID_%04X&REV_%04X",
    "FLUSB\\VID_%04X&PID_%04X&REV_%04X",
};

// wsprintfA's formatting, into a buffer that holds what wvsprintfA may write.
void FormatText(LPSTR buffer, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    wvsprintfA(buffer, format, args);
    va_end(args);
}

// The first string of a hardware-ID list, in upper case, as the patterns are written.
void UpperCaseFirstString(char* text) {
    for (; *text != '\0'; text++) {
        if (*text >= 'a' && *text <= 'z') {
            *text = (char)(*text - 'a' + 'A');
        }
    }
}

BOOL MatchesHubPattern(const char* hardwareId, const char patterns[][HUB_PATTERN_SIZE]) {
    for (int i = 0; i < HUB_PATTERN_COUNT; i++) {
        if (strstr(hardwareId, patterns[i]) != NULL) {
            return TRUE;
        }
    }
    return FALSE;
}

// TRUE when the device was given the state change.
BOOL RequestStateChange(HDEVINFO set, SP_DEVINFO_DATA* data, BOOL enable) {
    SP_PROPCHANGE_PARAMS params;
    ZeroMemory(&params, sizeof(params));
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = enable ? DICS_ENABLE : DICS_DISABLE;
    params.Scope = DICS_FLAG_CONFIGSPECIFIC;
    params.HwProfile = 0;
    if (!SetupDiSetClassInstallParamsA(set, data, &params.ClassInstallHeader,
                                       PROP_CHANGE_PARAMS_SIZE)) {
        DebugPrint("SetupDiSetClassInstallParams ERROR! %u\n", GetLastError());
        return FALSE;
    }
    if (!SetupDiChangeState(set, data)) {
        DebugPrint("SetupDiChangeState ERROR! %u\n", GetLastError());
        return FALSE;
    }
    return TRUE;
}

// What the state changes of the hub's devices came to: whether one matched, and whether a
// change was refused, with the refusal's error.
struct ChangeOutcome {
    BOOL matched;
    BOOL refused;
    DWORD error;
};

// Changes every matching device of one set.
void ChangeMatchingDevices(HDEVINFO set, const char patterns[][HUB_PATTERN_SIZE], BOOL enable,
                           ChangeOutcome* outcome) {
    SP_DEVINFO_DATA data;
    data.cbSize = DEV_INFO_DATA_SIZE;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &data); index++) {
        char hardwareId[HARDWARE_ID_BUFFER];
        ZeroMemory(hardwareId, sizeof(hardwareId));
        if (!SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, NULL,
                                               (PBYTE)hardwareId, sizeof(hardwareId), NULL)) {
            continue;
        }
        UpperCaseFirstString(hardwareId);
        if (!MatchesHubPattern(hardwareId, patterns)) {
            continue;
        }
        DebugPrint("Hub ID: %s\n", hardwareId);
        if (!RequestStateChange(set, &data, enable)) {
            outcome->refused = TRUE;
            outcome->error = GetLastError();
        }
        outcome->matched = TRUE;
    }
}

// A hub model whose enable did not go through. Disabled, the hub is never listed again, so
// only these records bring the passes back to it.
struct HubModel {
    USHORT vendor;
    USHORT product;
    USHORT revision;
};

#define PENDING_ENABLE_MAX 8

// Touched by the monitoring thread alone.
HubModel g_pending_enable[PENDING_ENABLE_MAX];
int g_pending_enable_count = 0;

void RememberPendingEnable(USHORT vendor, USHORT product, USHORT revision) {
    for (int i = 0; i < g_pending_enable_count; i++) {
        const HubModel& model = g_pending_enable[i];
        if (model.vendor == vendor && model.product == product && model.revision == revision) {
            return;
        }
    }
    if (g_pending_enable_count == PENDING_ENABLE_MAX) {
        DebugPrint("Enable Hub retry list full\n");
        return;
    }
    HubModel model = {vendor, product, revision};
    g_pending_enable[g_pending_enable_count++] = model;
}

// The first key path that opens with every right; NULL (and *status the last open's
// result) when none does.
HKEY OpenHubKey(const HubKeyPaths* paths, LONG* status, int* opened) {
    for (int i = 0; i < paths->count; i++) {
        HKEY key = NULL;
        *status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, paths->path[i], 0, KEY_ALL_ACCESS, &key);
        if (*status == ERROR_SUCCESS) {
            *opened = i;
            return key;
        }
        DebugPrint("RegOpenKeyEx ERROR! %u!\n%s", *status, paths->path[i]);
    }
    return NULL;
}

// TRUE when the value reads as the 4-byte REG_DWORD it should be; anything else is a failed
// read, so the hub is restarted and the value written.
BOOL ReadSelectiveSuspend(HKEY key, DWORD* current) {
    DWORD type = REG_NONE;
    DWORD size = sizeof(*current);
    LONG status =
        RegQueryValueExA(key, kSelectiveSuspendValue, NULL, &type, (LPBYTE)current, &size);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(*current);
}

}  // namespace

int GetHubInstanceId(HANDLE device, ULONG hubHandle, HubKeyPaths* paths,
                     const VEXA_DEVICE_ENTRY* entry) {
    VEXA_QUERY* query =
        (VEXA_QUERY*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, DEVICE_TEXT_REQUEST_SIZE);
    if (query == NULL) {
        DebugPrint("Allocate memory ERROR!!");
        return 0;
    }
    if (!QueryDeviceText(device, VEXA_IOCTL_GET_INSTANCE_ID, hubHandle, query)) {
        DebugPrint("VEXA_IOCTL_GET_INSTANCE_ID ERROR! %u", GetLastError());
        HeapFree(GetProcessHeap(), 0, query);
        return 0;
    }
    paths->count = 0;
    LPCSTR instanceId = (LPCSTR)query->text;
    DebugPrint("Get Instance ID: %s", instanceId);
    for (int i = 0; i < HUB_KEY_PATH_COUNT; i++) {
        FormatText(paths->path[i], kKeyPathFormats[i], entry->VID, entry->PID, instanceId);
        paths->count++;
    }
    HeapFree(GetProcessHeap(), 0, query);
    return 1;
}

int RegEnableSS(const VEXA_DEVICE_LIST* list, int entry, const HubKeyPaths* paths, DWORD value) {
    if (paths->count == 0) {
        DebugPrint("RegOpenKeyEx ERROR! %u\n", GetLastError());
        return 0;
    }
    LONG status = ERROR_SUCCESS;
    int opened = 0;
    HKEY key = OpenHubKey(paths, &status, &opened);
    if (key == NULL) {
        DebugPrint("RegOpenKeyEx ERROR! %u\n", status);
        return 0;
    }
    DebugPrint("RegOpenKeyEx OK!\n%s", paths->path[opened]);

    DWORD current = 0;
    if (!ReadSelectiveSuspend(key, &current)) {
        DebugPrint("RegGetValue fail for EnableSelectiveSuspend");
    } else if (value == 0 && current == 0) {
        DebugPrint("already disable SS, exit\n");
        RegCloseKey(key);
        return 0;
    }
    const VEXA_DEVICE_ENTRY& hub = list->entries[entry];
    if (!ChangeHubState(hub.VID, hub.PID, hub.bcdDev, FALSE)) {
        DebugPrint("Disable Hub ERROR! %u", GetLastError());
        RegCloseKey(key);
        return 0;
    }
    int result = 1;
    status = RegSetValueExA(key, kSelectiveSuspendValue, 0, REG_DWORD, (const BYTE*)&value,
                            sizeof(value));
    if (status != ERROR_SUCCESS) {
        DebugPrint("Set Capabilities ERROR! %u\n", status);
        result = 0;
    }
    // The hub is enabled again whether or not the write went through: a failed write must
    // not leave it switched off.
    if (!ChangeHubState(hub.VID, hub.PID, hub.bcdDev, TRUE)) {
        DebugPrint("Enable Hub ERROR! %u", GetLastError());
        RememberPendingEnable(hub.VID, hub.PID, hub.bcdDev);
        result = 0;
    }
    RegCloseKey(key);
    return result;
}

BOOL ChangeHubState(USHORT vendor, USHORT product, USHORT revision, BOOL enable) {
    if (vendor == 0 || product == 0) {
        return FALSE;
    }
    char patterns[HUB_PATTERN_COUNT][HUB_PATTERN_SIZE];
    for (int i = 0; i < HUB_PATTERN_COUNT; i++) {
        FormatText(patterns[i], kHubPatternFormats[i], vendor, product, revision);
    }
    GUID classes[USB_CLASS_GUIDS_MAX];
    DWORD classCount = 0;
    if (!SetupDiClassGuidsFromNameA("usb", classes, USB_CLASS_GUIDS_MAX, &classCount)) {
        classCount = 0;
    }
    ChangeOutcome outcome = {FALSE, FALSE, ERROR_SUCCESS};
    for (DWORD c = 0; c < classCount && c < USB_CLASS_GUIDS_MAX; c++) {
        // Every class's devices: the hubs' class differs between host-controller stacks.
        HDEVINFO set = SetupDiGetClassDevsA(&classes[c], NULL, NULL, DIGCF_ALLCLASSES);
        if (set == INVALID_HANDLE_VALUE) {
            continue;
        }
        ChangeMatchingDevices(set, patterns, enable, &outcome);
        SetupDiDestroyDeviceInfoList(set);
    }
    // The caller's error line names the refused change, not the end of the enumeration.
    if (outcome.refused) {
        SetLastError(outcome.error);
    }
    return outcome.matched && !outcome.refused;
}

void RetryHubEnables() {
    int kept = 0;
    for (int i = 0; i < g_pending_enable_count; i++) {
        const HubModel model = g_pending_enable[i];
        DebugPrint("Enable Hub again, VID_%04X&PID_%04X&REV_%04X\n", model.vendor, model.product,
                   model.revision);
        if (ChangeHubState(model.vendor, model.product, model.revision, TRUE)) {
            DebugPrint("Enable Hub done\n");
        } else {
            DebugPrint("Enable Hub ERROR! %u", GetLastError());
            g_pending_enable[kept++] = model;
        }
    }
    g_pending_enable_count = kept;
}
