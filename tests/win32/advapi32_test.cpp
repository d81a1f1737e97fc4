// ADVAPI32's registry calls over the machine registry: the hardware keys the PnP manager
// installs, values read and written as Windows returns them, faults, and key handles.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine_run.h"
#include "pc/machine.h"
#include "win32/kernel32/kernel_objects.h"

namespace {

using win32test::kHubDeviceParameters;
using win32test::RunThenCall;

const char kHubScenario[] =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001\n"
    "load\n"
    "plug H1 C1:1\n";

const char kParamsKernelName[] =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001\\"
    "Device Parameters";

// Every hub gets the hardware key its first hardware ID's enumerator names, with the
// instance the driver reports.
struct KeyCase {
    const char* hub_options;
    const char* key;
};
const KeyCase kKeyCases[] = {
    {"serial=VX0001", "Enum\\USB\\VID_2E7B&PID_0610\\VX0001"},
    {"serial=VX0001 hwid=USB\\ASMEDIAUSBD_HUB&VID_2E7B&PID_0610&REV_7763",
     "Enum\\USB\\VID_2E7B&PID_0610&ASMEDIAUSBD_Hub\\VX0001"},
    {"serial=VX0001 hwid=USB\\TIUSBD_HUB&VID_2E7B&PID_0610&REV_7763",
     "Enum\\USB\\VID_2E7B&PID_0610&TIUSBD_Hub\\VX0001"},
    {"serial=VX0001 hwid=VUSB\\VID_2E7B&PID_0610&REV_7763",
     "Enum\\VUSB\\VID_2E7B&PID_0610\\VX0001"},
    {"serial=VX0001 hwid=ENUSB3\\VID_2E7B&PID_0610&REV_7763",
     "Enum\\ENUSB3\\Vid_2E7B&Pid_0610\\VX0001"},
    {"serial=VX0001 hwid=FLUSB\\VID_2E7B&PID_0610&REV_7763",
     "Enum\\FLUSB\\Vid_2E7B&Pid_0610\\VX0001"},
};

TEST(Advapi32, EveryDeviceHasTheDeviceParametersKeyOfItsEnumerator) {
    for (const KeyCase& entry : kKeyCases) {
        std::string path =
            std::string("SYSTEM\\CurrentControlSet\\") + entry.key + "\\Device Parameters";
        LSTATUS status = -1;
        RunThenCall(std::string("controller C1 ports=4\n"
                                "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 ") +
                        entry.hub_options + "\nplug H1 C1:1\n",
                    [&] {
                        HKEY key = NULL;
                        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key);
                        if (status == ERROR_SUCCESS) {
                            RegCloseKey(key);
                        }
                    });
        EXPECT_EQ(status, ERROR_SUCCESS) << entry.hub_options << " -> " << path;
    }
}

TEST(Advapi32, KeysThatDoNotExistAreNotFoundAndTheLastErrorStays) {
    LSTATUS status = -1;
    DWORD last_error = 0;
    HKEY key = reinterpret_cast<HKEY>(1);
    RunThenCall(kHubScenario, [&] {
        SetLastError(1234);
        status = RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                               "SYSTEM\\CurrentControlSet\\Enum\\VUSB\\VID_2E7B&PID_0610\\VX0001\\"
                               "Device Parameters",
                               0, KEY_ALL_ACCESS, &key);
        last_error = GetLastError();
    });
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(last_error, 1234u);
    EXPECT_EQ(key, reinterpret_cast<HKEY>(1));
}

// What RegQueryValueExA returns for one preset value and a given buffer.
struct QueryCase {
    const char* name;
    uint32_t type;
    std::vector<uint8_t> stored;  // as the kernel keeps it: strings in UTF-16
    DWORD room;
    bool with_buffer;
    LSTATUS status;
    DWORD type_out;
    DWORD size_out;
    std::vector<uint8_t> data_out;  // the buffer's first size_out bytes, when copied
};
const QueryCase kQueryCases[] = {
    {"dword", REG_DWORD, {1, 0, 0, 0}, 4, true, ERROR_SUCCESS, REG_DWORD, 4, {1, 0, 0, 0}},
    {"dword, room for 2", REG_DWORD, {1, 0, 0, 0}, 2, true, ERROR_MORE_DATA, REG_DWORD, 4, {}},
    {"dword, size only", REG_DWORD, {1, 0, 0, 0}, 0, false, ERROR_SUCCESS, REG_DWORD, 4, {}},
    {"qword in 4 bytes",
     REG_QWORD,
     {1, 0, 0, 0, 0, 0, 0, 0},
     4,
     true,
     ERROR_MORE_DATA,
     REG_QWORD,
     8,
     {}},
    {"short binary", REG_BINARY, {7, 8}, 4, true, ERROR_SUCCESS, REG_BINARY, 2, {7, 8}},
    {"string as ANSI",
     REG_SZ,
     {'a', 0, 'b', 0, 0, 0},
     4,
     true,
     ERROR_SUCCESS,
     REG_SZ,
     3,
     {'a', 'b', 0}},
    {"string beyond ANSI", REG_SZ, {0x3B, 0x04, 0, 0}, 4, true, ERROR_SUCCESS, REG_SZ, 2, {'?', 0}},
};

TEST(Advapi32, QueriedValuesComeBackAsWindowsReturnsThem) {
    for (const QueryCase& entry : kQueryCases) {
        LSTATUS status = -1;
        DWORD type = 0xFFFF;
        DWORD size = entry.room;
        BYTE data[16] = {};
        RunThenCall(kHubScenario, [&] {
            sim::Machine::Current().kernel.registry.SetValue(kParamsKernelName, "Value", entry.type,
                                                             entry.stored);
            HKEY key = NULL;
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHubDeviceParameters, 0, KEY_READ, &key),
                      ERROR_SUCCESS);
            status =
                RegQueryValueExA(key, "value", NULL, &type, entry.with_buffer ? data : NULL, &size);
            RegCloseKey(key);
        });
        EXPECT_EQ(status, entry.status) << entry.name;
        EXPECT_EQ(type, entry.type_out) << entry.name;
        EXPECT_EQ(size, entry.size_out) << entry.name;
        if (!entry.data_out.empty()) {
            EXPECT_EQ(std::vector<uint8_t>(data, data + entry.data_out.size()), entry.data_out)
                << entry.name;
        }
    }
}

TEST(Advapi32, AMissingValueIsNotFound) {
    LSTATUS status = -1;
    RunThenCall(kHubScenario, [&] {
        HKEY key = NULL;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHubDeviceParameters, 0, KEY_READ, &key);
        DWORD value = 0;
        DWORD size = sizeof(value);
        status = RegQueryValueExA(key, "EnableSelectiveSuspend", NULL, NULL, (LPBYTE)&value, &size);
        RegCloseKey(key);
    });
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
}

TEST(Advapi32, WrittenValuesReachTheMachineRegistryAsTheKernelReadsThem) {
    sim::Registry::Value dword;
    sim::Registry::Value text;
    RunThenCall(kHubScenario, [&] {
        HKEY key = NULL;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHubDeviceParameters, 0, KEY_ALL_ACCESS, &key),
                  ERROR_SUCCESS);
        DWORD zero = 0;
        EXPECT_EQ(RegSetValueExA(key, "EnableSelectiveSuspend", 0, REG_DWORD, (const BYTE*)&zero,
                                 sizeof(zero)),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "Name", 0, REG_SZ, (const BYTE*)"ab", 3), ERROR_SUCCESS);
        RegCloseKey(key);
        const sim::Registry& registry = sim::Machine::Current().kernel.registry;
        dword = *registry.Find(kParamsKernelName, "ENABLESELECTIVESUSPEND");
        text = *registry.Find(kParamsKernelName, "name");
    });
    EXPECT_EQ(dword.type, static_cast<uint32_t>(REG_DWORD));
    EXPECT_EQ(dword.data, (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(text.type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(text.data, (std::vector<uint8_t>{'a', 0, 'b', 0, 0, 0}));
}

// Each row: the rights a key is opened with, the faults armed, and what a write then gets.
struct WriteCase {
    const char* name;
    REGSAM access;
    const char* fault;  // "" none; else reg-open or reg-write, on the hub's key
    LSTATUS open;
    LSTATUS write;
};
const WriteCase kWriteCases[] = {
    {"all access", KEY_ALL_ACCESS, "", ERROR_SUCCESS, ERROR_SUCCESS},
    {"read only", KEY_READ, "", ERROR_SUCCESS, ERROR_ACCESS_DENIED},
    {"open refused", KEY_ALL_ACCESS, "reg-open", ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE},
    {"write refused", KEY_ALL_ACCESS, "reg-write", ERROR_SUCCESS, ERROR_ACCESS_DENIED},
};

TEST(Advapi32, WritesNeedTheRightsAndFailWhereAFaultStrikes) {
    for (const WriteCase& entry : kWriteCases) {
        LSTATUS open = -1;
        LSTATUS write = -1;
        bool written = false;
        RunThenCall(kHubScenario, [&] {
            sim::Machine& machine = sim::Machine::Current();
            std::string target = sim::Registry::Canonical(kParamsKernelName);
            if (std::string(entry.fault) == "reg-open") {
                machine.faults.Arm(sim::Fault::kRegOpen, target);
            } else if (std::string(entry.fault) == "reg-write") {
                machine.faults.Arm(sim::Fault::kRegWrite, target);
            }
            HKEY key = NULL;
            open = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHubDeviceParameters, 0, entry.access, &key);
            DWORD zero = 0;
            write =
                RegSetValueExA(key, "EnableSelectiveSuspend", 0, REG_DWORD, (const BYTE*)&zero, 4);
            RegCloseKey(key);
            written = machine.kernel.registry.Find(kParamsKernelName, "EnableSelectiveSuspend") !=
                      nullptr;
        });
        EXPECT_EQ(open, entry.open) << entry.name;
        EXPECT_EQ(write, entry.write) << entry.name;
        EXPECT_EQ(written, entry.write == ERROR_SUCCESS) << entry.name;
    }
}

// The instance key above the hub's key exists as every key's parent does.
TEST(Advapi32, AFaultOnOneKeyLeavesTheOthersAndPassesAfterItsCount) {
    std::vector<LSTATUS> opens;
    RunThenCall(kHubScenario, [&] {
        sim::Machine::Current().faults.Arm(sim::Fault::kRegOpen,
                                           sim::Registry::Canonical(kParamsKernelName), 1);
        for (const char* path : {"SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001",
                                 kHubDeviceParameters, kHubDeviceParameters}) {
            HKEY key = NULL;
            opens.push_back(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key));
            RegCloseKey(key);
        }
    });
    EXPECT_EQ(opens, (std::vector<LSTATUS>{ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_SUCCESS}));
}

TEST(Advapi32, KeyHandlesAreObjectHandlesUntilClosed) {
    size_t before = 0, open = 0, after = 0;
    LSTATUS second_close = -1;
    LSTATUS relative = -1;
    RunThenCall(kHubScenario, [&] {
        before = sim::win32::OpenObjectHandles();
        HKEY instance = NULL;
        RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001\\Device "
                      "Parameters",
                      0, KEY_READ, &instance);
        HKEY again = NULL;
        relative = RegOpenKeyExA(instance, "", 0, KEY_READ, &again);
        open = sim::win32::OpenObjectHandles();
        RegCloseKey(again);
        RegCloseKey(instance);
        second_close = RegCloseKey(instance);
        after = sim::win32::OpenObjectHandles();
    });
    EXPECT_EQ(relative, ERROR_SUCCESS);
    EXPECT_EQ(open, before + 2);
    EXPECT_EQ(after, before);
    EXPECT_EQ(second_close, ERROR_INVALID_HANDLE);
}

}  // namespace
