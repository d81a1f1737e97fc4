#include "client/power_plan.h"

#include <afxwin.h>

#include "client/debug_print.h"
#include "client/struct_sizes.h"
#include "client/windows_version.h"

namespace {

const char kUsbSubgroup[] = "2a737441-1930-4402-8d77-b2bebba308a3";
const char kUsbSelectiveSuspend[] = "48e6b7a6-50f5-4782-a5d4-53bb8f07e226";
const char kPowerPlanFile[] = "c:\\a.out";
// The AC value, then the DC value, of the setting: scheme, subgroup, setting, value.
const char* const kValueCommands[] = {"/c POWERCFG -SetAcValueIndex %s %s %s %03d",
                                      "/c POWERCFG -SETDCVALUEINDEX %s %s %s %03d"};
const char* const kValueCommandErrors[] = {"Powercfg SetAcValueIndex ERROR!!\n",
                                           "Powercfg SetDcValueIndex ERROR!!\n"};

#define POWER_PLAN_STEP_MS 300
#define POWER_PLAN_SETACTIVE_MS 1200
#define POWER_PLAN_FILE_RETRIES 3

// Starts "cmd.exe parameters" hidden without waiting for it; TRUE when it started.
BOOL StartHiddenCommand(LPCSTR parameters) {
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = SHELL_EXECUTE_INFO_SIZE;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = "open";
    info.lpFile = "cmd.exe";
    info.lpParameters = parameters;
    info.nShow = SW_HIDE;
    BOOL started = ShellExecuteExA(&info) && (INT_PTR)info.hInstApp > 32;
    // The program never waits on the process; its handle is only closed.
    if (info.hProcess != NULL) {
        CloseHandle(info.hProcess);
    }
    return started;
}

// Reads what POWERCFG wrote into text, zero-terminated within its 100 bytes.
BOOL ReadPowerPlanFile(char text[POWER_PLAN_FILE_BUFFER]) {
    CFile file;
    int retry = 0;
    while (!file.Open(kPowerPlanFile, CFile::modeRead | CFile::shareDenyNone)) {
        if (retry == POWER_PLAN_FILE_RETRIES) {
            DebugPrint("Open power plan file ERROR!!\n");
            return FALSE;
        }
        retry++;
        DebugPrint("re-try read power plan file (%d)\n", retry);
        Sleep(POWER_PLAN_STEP_MS);
    }
    Sleep(POWER_PLAN_STEP_MS);
    ZeroMemory(text, POWER_PLAN_FILE_BUFFER);
    file.Read(text, POWER_PLAN_FILE_BUFFER - 1);
    file.Close();
    return TRUE;
}

BOOL IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

BOOL ReadSchemeGuid(LPCSTR text, char guid[SCHEME_GUID_LENGTH + 1]) {
    LPCSTR colon = text;
    while (*colon != '\0' && !(colon[0] == ':' && colon[1] == ' ')) {
        colon++;
    }
    if (*colon == '\0') {
        return FALSE;
    }
    // A terminator inside the 36 characters fails the digit test, so nothing past the end of
    // the text is read.
    LPCSTR start = colon + 2;
    for (int i = 0; i < SCHEME_GUID_LENGTH; i++) {
        BOOL dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? start[i] != '-' : !IsHexDigit(start[i])) {
            return FALSE;
        }
    }
    CopyMemory(guid, start, SCHEME_GUID_LENGTH);
    guid[SCHEME_GUID_LENGTH] = '\0';
    return TRUE;
}

int ChangePowerPlanUsbSelectiveSuspend(int value, int flag) {
    UNREFERENCED_PARAMETER(flag);
    char text[POWER_PLAN_FILE_BUFFER];
    char guid[SCHEME_GUID_LENGTH + 1];
    char command[200];

    if (!StartHiddenCommand("/c POWERCFG -GETACTIVESCHEME > c:\\a.out")) {
        DebugPrint("Powercfg GETACTIVESCHEME ERROR!!\n");
        return 0;
    }
    Sleep(POWER_PLAN_STEP_MS);
    if (!ReadPowerPlanFile(text)) {
        return 0;
    }
    if (!ReadSchemeGuid(text, guid)) {
        DebugPrint("Power plan file format ERROR!!\n");
        return 0;
    }
    for (int i = 0; i < 2; i++) {
        wsprintfA(command, kValueCommands[i], guid, kUsbSubgroup, kUsbSelectiveSuspend, value);
        if (!StartHiddenCommand(command)) {
            DebugPrint(kValueCommandErrors[i]);
            return 0;
        }
        Sleep(POWER_PLAN_STEP_MS);
    }
    wsprintfA(command, "/c POWERCFG -SETACTIVE %s", guid);
    if (StartHiddenCommand(command)) {
        Sleep(POWER_PLAN_SETACTIVE_MS);
    } else {
        DebugPrint("Powercfg SetActive ERROR!!\n");
    }
    return 1;
}

void StopUsbSelectiveSuspend(HANDLE, const void*, int) {
    OSVERSIONINFOA version;
    ReadWindowsVersion(&version);
    DebugPrint("MajorVersion %d, MinorVersion %d.\n", version.dwMajorVersion,
               version.dwMinorVersion);
    if (!VersionPasses(version)) {
        return;
    }
    DebugPrint("Changing power plan...");
    if (ChangePowerPlanUsbSelectiveSuspend(0, 1) == 0) {
        DebugPrint("Cannot stop USB selective-suspend!!");
    }
}

void StartUsbSelectiveSuspend(HANDLE, const void*, int) {
    if (!PowerPlanVersionTest()) {
        return;
    }
    if (ChangePowerPlanUsbSelectiveSuspend(1, 1) == 0) {
        DebugPrint("ChangePowerPlanUsbSelectiveSuspend ERROR\n");
    }
}
