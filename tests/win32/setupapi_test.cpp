// SETUPAPI over the PnP manager: the class of "usb", device sets with every device, their
// hardware IDs, the 32-bit structure sizes, and a hub disabled and enabled again as the
// driver and the PnP manager see it.
#include <setupapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/struct_sizes.h"
#include "machine_run.h"
#include "pc/machine.h"
#include "win32/kernel32/kernel_objects.h"

namespace {

using win32test::LinesAfter;
using win32test::RunThenCall;
using win32test::SameLines;

const char kHubWithTablet[] =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001\n"
    "device TAB vid=04E8 pid=6860 serial=R52N40\n"
    "load\n"
    "plug H1 C1:1\n"
    "plug TAB H1:1\n";

// The set of every device, walked to its end; each device's hardware IDs as one text with
// the strings joined by '|'.
std::vector<std::string> HardwareIdsOfEveryDevice(DWORD* end_error) {
    std::vector<std::string> ids;
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    EXPECT_NE(set, INVALID_HANDLE_VALUE);
    SP_DEVINFO_DATA data;
    data.cbSize = DEV_INFO_DATA_SIZE;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); i++) {
        char buffer[256];
        DWORD type = 0;
        EXPECT_TRUE(SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, &type,
                                                      (PBYTE)buffer, sizeof(buffer), NULL));
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        std::string joined;
        for (const char* s = buffer; *s != '\0'; s += strlen(s) + 1) {
            joined += (joined.empty() ? "" : "|") + std::string(s);
        }
        ids.push_back(joined);
    }
    *end_error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

TEST(SetupApi, TheUsbClassNameGivesOneClassAndAnUnknownNameNone) {
    GUID guids[8] = {};
    DWORD usb = 99, other = 99, short_list = 99;
    BOOL usb_ok = FALSE, other_ok = FALSE, short_ok = TRUE;
    DWORD short_error = 0;
    RunThenCall("controller C1\n", [&] {
        usb_ok = SetupDiClassGuidsFromNameA("usb", guids, 8, &usb);
        other_ok = SetupDiClassGuidsFromNameA("NoSuchClass", guids + 1, 7, &other);
        short_ok = SetupDiClassGuidsFromNameA("USB", guids + 1, 0, &short_list);
        short_error = GetLastError();
    });
    EXPECT_TRUE(usb_ok);
    EXPECT_EQ(usb, 1u);
    // GUID_DEVCLASS_USB
    EXPECT_EQ(guids[0].Data1, 0x36FC9E60u);
    EXPECT_EQ(guids[0].Data2, 0xC465);
    EXPECT_TRUE(other_ok);
    EXPECT_EQ(other, 0u);
    EXPECT_FALSE(short_ok);
    EXPECT_EQ(short_list, 1u);
    EXPECT_EQ(short_error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// Tier by tier: what hangs on the root hub before what hangs on the hub.
TEST(SetupApi, ASetOfAllClassesHoldsEveryEnumeratedDeviceParentsFirst) {
    std::vector<std::string> ids;
    DWORD end_error = 0;
    RunThenCall(std::string(kHubWithTablet) +
                    "device KEY vid=0781 pid=5567 compatid=USB\\Class_08&SubClass_06&Prot_50\n"
                    "plug KEY C1:2\n",
                [&] { ids = HardwareIdsOfEveryDevice(&end_error); });
    EXPECT_TRUE(
        SameLines(ids, {
                           "PCI\\VEN_8086&DEV_1E31&SUBSYS_05351028&REV_04|PCI\\VEN_8086&DEV_1E31",
                           "USB\\ROOT_HUB30&VID8086&PID1E31&REV0004|USB\\ROOT_HUB30",
                           "USB\\VID_2E7B&PID_0610&REV_7763|USB\\VID_2E7B&PID_0610",
                           "USB\\VID_0781&PID_5567&REV_0100|USB\\VID_0781&PID_5567",
                           "USB\\VID_04E8&PID_6860&REV_0100|USB\\VID_04E8&PID_6860",
                       }));
    EXPECT_EQ(end_error, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
}

// Each row: the size a program writes into SP_DEVINFO_DATA and whether the walk accepts it.
struct SizeCase {
    DWORD size;
    BOOL accepted;
    DWORD error;
};
const SizeCase kSizeCases[] = {
    {28, TRUE, 0},                           // a 32-bit program's SP_DEVINFO_DATA
    {32, FALSE, ERROR_INVALID_USER_BUFFER},  // a 64-bit program's
    {0, FALSE, ERROR_INVALID_USER_BUFFER},
};

TEST(SetupApi, DeviceDataIsAcceptedAtThe32BitSizeOnly) {
    for (const SizeCase& entry : kSizeCases) {
        BOOL accepted = FALSE;
        DWORD error = 0;
        RunThenCall("controller C1\n", [&] {
            HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
            SP_DEVINFO_DATA data;
            data.cbSize = entry.size;
            SetLastError(0);
            accepted = SetupDiEnumDeviceInfo(set, 0, &data);
            error = GetLastError();
            SetupDiDestroyDeviceInfoList(set);
        });
        EXPECT_EQ(accepted, entry.accepted) << entry.size;
        EXPECT_EQ(error, entry.error) << entry.size;
    }
}

TEST(SetupApi, AShortPropertyBufferReportsTheSizeNeeded) {
    BOOL ok = TRUE;
    DWORD error = 0, needed = 0;
    RunThenCall(kHubWithTablet, [&] {
        HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
        SP_DEVINFO_DATA data;
        data.cbSize = DEV_INFO_DATA_SIZE;
        SetupDiEnumDeviceInfo(set, 2, &data);
        char buffer[8];
        ok = SetupDiGetDeviceRegistryPropertyA(set, &data, SPDRP_HARDWAREID, NULL, (PBYTE)buffer,
                                               sizeof(buffer), &needed);
        error = GetLastError();
        SetupDiDestroyDeviceInfoList(set);
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    // "USB\VID_2E7B&PID_0610&REV_7763", "USB\VID_2E7B&PID_0610", and the list's end.
    EXPECT_EQ(needed, 31u + 22u + 1u);
}

// Sets DIF_PROPERTYCHANGE parameters on the set's device at `index` and changes its state.
BOOL ChangeState(DWORD index, DWORD state_change, DWORD* error) {
    HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data;
    data.cbSize = DEV_INFO_DATA_SIZE;
    SetupDiEnumDeviceInfo(set, index, &data);
    SP_PROPCHANGE_PARAMS params;
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = state_change;
    params.Scope = DICS_FLAG_CONFIGSPECIFIC;
    params.HwProfile = 0;
    EXPECT_TRUE(SetupDiSetClassInstallParamsA(set, &data, &params.ClassInstallHeader,
                                              PROP_CHANGE_PARAMS_SIZE));
    BOOL changed = SetupDiChangeState(set, &data);
    *error = GetLastError();
    SetupDiDestroyDeviceInfoList(set);
    return changed;
}

const DWORD kHubIndex = 2;  // after the controller and its root hub

TEST(SetupApi, DisablingAHubStopsItsStackAndThoseBelowAndEnablingStartsThemAnew) {
    BOOL disabled = FALSE, enabled = FALSE;
    DWORD error = 0;
    std::vector<std::string> while_disabled;
    std::vector<std::string> listed_after;
    // The iPad keeps the driver loaded, so handles go on counting.
    auto run = RunThenCall(std::string(kHubWithTablet) +
                               "device PAD vid=05AC pid=12AB\n"
                               "plug PAD C1:2\n",
                           [&] {
                               sim::Machine::Current().Log("pnp", "-- disable");
                               disabled = ChangeState(kHubIndex, DICS_DISABLE, &error);
                               DWORD ignored = 0;
                               while_disabled = HardwareIdsOfEveryDevice(&ignored);
                               sim::Machine::Current().Log("pnp", "-- enable");
                               enabled = ChangeState(kHubIndex, DICS_ENABLE, &error);
                           });
    EXPECT_TRUE(disabled);
    EXPECT_TRUE(enabled);
    // The hub stays in a set while disabled; what hung below it is gone.
    EXPECT_EQ(while_disabled.size(), 4u);
    // The driver releases both devices and they leave its list; enabled, the hub and the
    // tablet are prepared anew and get new handles.
    EXPECT_TRUE(
        SameLines(LinesAfter(run.Lines("pnp"), "-- disable"),
                  {"TAB removed", "H1 removed", "H1 disabled", "-- enable", "H1 enabled",
                   "H1 attached handle=4", "H1 started", "TAB attached handle=5", "TAB started"}))
        << run.Tail();
}

// Each row: what a program gets wrong in the parameters, and the error it gets.
struct ParamsCase {
    const char* name;
    DWORD header_size;
    DI_FUNCTION function;
    DWORD params_size;
    DWORD error;
};
const ParamsCase kParamsCases[] = {
    {"header of 16 bytes", 16, DIF_PROPERTYCHANGE, 20, ERROR_INVALID_USER_BUFFER},
    {"parameters of 24 bytes", 8, DIF_PROPERTYCHANGE, 24, ERROR_INVALID_PARAMETER},
    {"another install function", 8, 0x01, 20, ERROR_INVALID_PARAMETER},
};

TEST(SetupApi, WrongInstallParametersAreRefusedAndChangeNothing) {
    for (const ParamsCase& entry : kParamsCases) {
        BOOL set_ok = TRUE, changed = TRUE;
        DWORD set_error = 0, change_error = 0;
        auto run = RunThenCall(kHubWithTablet, [&] {
            HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
            SP_DEVINFO_DATA data;
            data.cbSize = DEV_INFO_DATA_SIZE;
            SetupDiEnumDeviceInfo(set, kHubIndex, &data);
            SP_PROPCHANGE_PARAMS params;
            params.ClassInstallHeader.cbSize = entry.header_size;
            params.ClassInstallHeader.InstallFunction = entry.function;
            params.StateChange = DICS_DISABLE;
            params.Scope = DICS_FLAG_CONFIGSPECIFIC;
            params.HwProfile = 0;
            set_ok = SetupDiSetClassInstallParamsA(set, &data, &params.ClassInstallHeader,
                                                   entry.params_size);
            set_error = GetLastError();
            changed = SetupDiChangeState(set, &data);
            change_error = GetLastError();
            SetupDiDestroyDeviceInfoList(set);
        });
        EXPECT_FALSE(set_ok) << entry.name;
        EXPECT_EQ(set_error, entry.error) << entry.name;
        EXPECT_FALSE(changed) << entry.name;
        EXPECT_EQ(change_error, static_cast<DWORD>(ERROR_NO_CLASSINSTALL_PARAMS)) << entry.name;
        EXPECT_EQ(run.Lines("pnp").back(), "TAB started") << entry.name;
    }
}

// Each row: the call the "setupapi" fault strikes, and what the program then sees.
struct FaultCase {
    const char* call;
    bool set_made;
    bool hub_disabled;
};
const FaultCase kFaultCases[] = {
    {"SetupDiGetClassDevsA", false, false},
    {"SetupDiChangeState", true, false},
    {"SetupDiEnumDeviceInfo", true, false},
};

TEST(SetupApi, AFaultOnOneCallFailsItForExhaustedMemory) {
    for (const FaultCase& entry : kFaultCases) {
        bool set_made = false;
        DWORD error = 0;
        auto run = RunThenCall(kHubWithTablet, [&] {
            sim::Machine::Current().faults.Arm(sim::Fault::kSetupApi, entry.call);
            HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
            set_made = set != INVALID_HANDLE_VALUE;
            if (!set_made) {
                error = GetLastError();
                return;
            }
            SP_DEVINFO_DATA data;
            data.cbSize = DEV_INFO_DATA_SIZE;
            if (!SetupDiEnumDeviceInfo(set, kHubIndex, &data)) {
                error = GetLastError();
            } else {
                SP_PROPCHANGE_PARAMS params = {{sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE},
                                               DICS_DISABLE,
                                               DICS_FLAG_CONFIGSPECIFIC,
                                               0};
                SetupDiSetClassInstallParamsA(set, &data, &params.ClassInstallHeader,
                                              sizeof(params));
                if (!SetupDiChangeState(set, &data)) {
                    error = GetLastError();
                }
            }
            SetupDiDestroyDeviceInfoList(set);
        });
        EXPECT_EQ(set_made, entry.set_made) << entry.call;
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << entry.call;
        std::vector<std::string> pnp = run.Lines("pnp");
        EXPECT_EQ(std::find(pnp.begin(), pnp.end(), "H1 disabled") != pnp.end(), entry.hub_disabled)
            << entry.call;
    }
}

// A 32-bit program on 64-bit Windows: the class installer is documented to refuse it;
// SetupDiChangeState's answer is the machine's (the scenario's setupapi line).
struct Wow64Case {
    const char* machine;   // the setupapi line
    bool class_installer;  // SetupDiCallClassInstaller, else SetupDiChangeState
    BOOL result;
    DWORD error;
    bool hub_disabled;
};
const Wow64Case kWow64Cases[] = {
    {"setupapi wow64=allow\n", false, TRUE, 0, true},
    {"setupapi wow64=refuse\n", false, FALSE, ERROR_IN_WOW64, false},
    {"setupapi wow64=allow\n", true, FALSE, ERROR_IN_WOW64, false},
    {"setupapi wow64=refuse\n", true, FALSE, ERROR_IN_WOW64, false},
};

TEST(SetupApi, UnderWow64TheClassInstallerRefusesAndChangeStateAsTheMachineSays) {
    for (const Wow64Case& entry : kWow64Cases) {
        std::string name = std::string(entry.machine) + (entry.class_installer ? "installer" : "");
        BOOL result = FALSE;
        DWORD error = 0;
        auto run = RunThenCall(std::string(entry.machine) + kHubWithTablet, [&] {
            HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
            SP_DEVINFO_DATA data;
            data.cbSize = DEV_INFO_DATA_SIZE;
            SetupDiEnumDeviceInfo(set, kHubIndex, &data);
            SP_PROPCHANGE_PARAMS params = {{sizeof(SP_CLASSINSTALL_HEADER), DIF_PROPERTYCHANGE},
                                           DICS_DISABLE,
                                           DICS_FLAG_CONFIGSPECIFIC,
                                           0};
            SetupDiSetClassInstallParamsA(set, &data, &params.ClassInstallHeader, sizeof(params));
            SetLastError(0);
            result = entry.class_installer
                         ? SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, &data)
                         : SetupDiChangeState(set, &data);
            error = GetLastError();
            SetupDiDestroyDeviceInfoList(set);
        });
        EXPECT_EQ(result, entry.result) << name;
        EXPECT_EQ(error, entry.error) << name;
        std::vector<std::string> pnp = run.Lines("pnp");
        EXPECT_EQ(std::find(pnp.begin(), pnp.end(), "H1 disabled") != pnp.end(), entry.hub_disabled)
            << name;
    }
}

TEST(SetupApi, ADestroyedSetIsNoLongerAHandle) {
    size_t before = 0, after = 0;
    BOOL second = TRUE;
    RunThenCall("controller C1\n", [&] {
        before = sim::win32::OpenObjectHandles();
        HDEVINFO set = SetupDiGetClassDevsA(NULL, NULL, NULL, DIGCF_ALLCLASSES);
        EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
        second = SetupDiDestroyDeviceInfoList(set);
        after = sim::win32::OpenObjectHandles();
    });
    EXPECT_EQ(after, before);
    EXPECT_FALSE(second);
}

}  // namespace
