// Ampwise's hub registry route on the simulated PC with the real driver: the instance ID, the
// six key paths tried in order, the value read, the hub disabled around the write and
// enabled again, and every trace line as the routines write it.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "client/hub_registry.h"
#include "instance_id_device.h"
#include "machine_run.h"
#include "pc/machine.h"

namespace {

using win32test::kHubDeviceParameters;
using win32test::LinesAfter;
using win32test::MachineRun;
using win32test::RunThenCall;
using win32test::SameLines;

const char kControllerAndPad[] =
    "controller C1 ports=4\n"
    "device PAD vid=05AC pid=12AB\n";
const char kPlugged[] =
    "load\n"
    "plug PAD C1:2\n"
    "plug H1 C1:1\n";
const char kVexaHub[] = "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001";
const char kMarker[] = "-- route";

struct RouteRun {
    MachineRun machine;
    int instance_ok = -1;
    int result = -1;
    std::vector<std::string> app;  // the debug lines of the route, without "dbg "
    std::vector<std::string> pnp;  // the PnP manager's lines during the route
    std::optional<sim::Registry::Value> value;
};

// The driver's device list, read as the polling pass reads it.
std::vector<uint8_t> ReadDeviceList(HANDLE device) {
    std::vector<uint8_t> buffer(VEXA_DEVICE_LIST_HEADER_SIZE + 16 * sizeof(VEXA_DEVICE_ENTRY));
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(device, VEXA_IOCTL_ENUM_DEVICES, NULL, 0, buffer.data(),
                                (DWORD)buffer.size(), &returned, NULL));
    return buffer;
}

// What runs on the last Vexa hub of the list, on the pass's open handle.
using HubBody = std::function<void(HANDLE, const VEXA_DEVICE_LIST*, int, RouteRun*)>;

// `before` runs ahead of the body, `after` once it is done, on the same open handle.
RouteRun RunOnLastHub(const std::string& scenario, const HubBody& body,
                      const std::function<void()>& before,
                      const std::function<void(HANDLE)>& after) {
    RouteRun run;
    run.machine = RunThenCall(scenario, [&] {
        if (before) {
            before();
        }
        HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, NULL);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        std::vector<uint8_t> buffer = ReadDeviceList(device);
        const VEXA_DEVICE_LIST* list = (const VEXA_DEVICE_LIST*)buffer.data();
        int hub = -1;
        for (ULONG i = 0; i < list->count; i++) {
            if (list->entries[i].VexaDevType == 1) {
                hub = (int)i;
            }
        }
        ASSERT_NE(hub, -1);
        sim::Machine& machine = sim::Machine::Current();
        machine.Log("app", kMarker);
        machine.Log("pnp", kMarker);
        SetLastError(0);
        body(device, list, hub, &run);
        if (after) {
            after(device);
        }
        CloseHandle(device);
        const sim::Registry::Value* value = machine.kernel.registry.Find(
            std::string("\\Registry\\Machine\\") + kHubDeviceParameters, "EnableSelectiveSuspend");
        if (value != nullptr) {
            run.value = *value;
        }
    });
    for (const std::string& line : LinesAfter(run.machine.Lines("app"), kMarker)) {
        run.app.push_back(line.rfind("dbg ", 0) == 0 ? line.substr(4) : line);
    }
    run.pnp = LinesAfter(run.machine.Lines("pnp"), kMarker);
    return run;
}

// The route's steps, as CheckPermanentDisableSS takes them once the version test has sent it
// there: the instance ID, then the write of 0.
RouteRun RunRoute(const std::string& scenario, const std::function<void()>& before = nullptr,
                  const std::function<void(HANDLE)>& after = nullptr) {
    return RunOnLastHub(
        scenario,
        [](HANDLE device, const VEXA_DEVICE_LIST* list, int hub, RouteRun* run) {
            HubKeyPaths paths;
            paths.count = 0;
            run->instance_ok =
                GetHubInstanceId(device, list->entries[hub].handle, &paths, &list->entries[hub]);
            if (run->instance_ok) {
                run->result = RegEnableSS(list, hub, &paths, 0);
            }
        },
        before, after);
}

// The whole routine, as the pass calls it for the last hub it added.
RouteRun RunCheck(const std::string& scenario, const std::function<void()>& before = nullptr) {
    return RunOnLastHub(
        scenario,
        [](HANDLE device, const VEXA_DEVICE_LIST* list, int hub, RouteRun*) {
            CheckPermanentDisableSS(device, list, hub);
        },
        before, nullptr);
}

std::string Scenario(const std::string& hub, const std::string& extra = "") {
    return std::string(kControllerAndPad) + hub + "\n" + kPlugged + extra;
}

const std::string kOpened = std::string("RegOpenKeyEx OK!\n") + kHubDeviceParameters;
const std::string kHubId = "Hub ID: USB\\VID_2E7B&PID_0610&REV_7763";
// H1 restarted while the iPad keeps the driver loaded: released, then prepared anew with
// the next handle.
const std::vector<std::string> kRestart = {"H1 removed", "H1 disabled", "H1 enabled",
                                           "H1 attached handle=3", "H1 started"};
const std::vector<uint8_t> kZero = {0, 0, 0, 0};

// Each row: the value the hub's key holds before, what the route writes, and whether it
// restarts the hub.
struct ValueCase {
    const char* name;
    uint32_t type;  // REG_NONE: no value
    std::vector<uint8_t> data;
    std::vector<std::string> app;
    int result;
    bool restarted;
};
const std::vector<std::string> kReadFails = {"Get Instance ID: VX0001", kOpened,
                                             "RegGetValue fail for EnableSelectiveSuspend", kHubId,
                                             kHubId};
const ValueCase kValueCases[] = {
    {"value missing", REG_NONE, {}, kReadFails, 1, true},
    {"value 1",
     REG_DWORD,
     {1, 0, 0, 0},
     {"Get Instance ID: VX0001", kOpened, kHubId, kHubId},
     1,
     true},
    {"value already 0",
     REG_DWORD,
     kZero,
     {"Get Instance ID: VX0001", kOpened, "already disable SS, exit"},
     0,
     false},
    {"a string, not a DWORD", REG_SZ, {'0', 0, 0, 0}, kReadFails, 1, true},
    {"eight bytes, not four", REG_QWORD, {0, 0, 0, 0, 0, 0, 0, 0}, kReadFails, 1, true},
    {"a DWORD of two bytes", REG_DWORD, {0, 0}, kReadFails, 1, true},
    {"four bytes of binary zero", REG_BINARY, kZero, kReadFails, 1, true},
};

TEST(HubRegistry, TheValueIsWrittenAsZeroWithTheHubRestartedUnlessItIsAlreadyZero) {
    for (const ValueCase& entry : kValueCases) {
        RouteRun run = RunRoute(Scenario(kVexaHub), [&] {
            if (entry.type != REG_NONE) {
                sim::Machine::Current().kernel.registry.SetValue(
                    std::string("\\Registry\\Machine\\") + kHubDeviceParameters,
                    "EnableSelectiveSuspend", entry.type, entry.data);
            }
        });
        EXPECT_EQ(run.instance_ok, 1) << entry.name;
        EXPECT_EQ(run.result, entry.result) << entry.name;
        EXPECT_TRUE(SameLines(run.app, entry.app)) << entry.name;
        EXPECT_TRUE(SameLines(run.pnp, entry.restarted ? kRestart : std::vector<std::string>{}))
            << entry.name;
        ASSERT_TRUE(run.value.has_value()) << entry.name;
        EXPECT_EQ(run.value->type, static_cast<uint32_t>(REG_DWORD)) << entry.name;
        EXPECT_EQ(run.value->data, kZero) << entry.name;
    }
}

// The six key paths, in order, for a hub with instance VX0001.
const char* const kPaths[] = {
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001\\Device Parameters",
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610&ASMEDIAUSBD_Hub\\VX0001\\Device "
    "Parameters",
    "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610&TIUSBD_Hub\\VX0001\\Device Parameters",
    "SYSTEM\\CurrentControlSet\\Enum\\VUSB\\VID_2E7B&PID_0610\\VX0001\\Device Parameters",
    "SYSTEM\\CurrentControlSet\\Enum\\ENUSB3\\Vid_2E7B&Pid_0610\\VX0001\\Device Parameters",
    "SYSTEM\\CurrentControlSet\\Enum\\FLUSB\\Vid_2E7B&Pid_0610\\VX0001\\Device Parameters",
};

// A hub under each host-controller stack: the paths before its own fail one by one, its own
// opens, and its hardware ID matches the pattern of its stack.
struct StackCase {
    const char* hwid;
    int path;  // the index of the path that opens
};
const StackCase kStackCases[] = {
    {"USB\\VID_2E7B&PID_0610&REV_7763", 0},
    {"USB\\ASMEDIAUSBD_HUB&VID_2E7B&PID_0610&REV_7763", 1},
    {"usb\\tiusbd_hub&vid_2e7b&pid_0610&rev_7763", 2},
    {"VUSB\\VID_2E7B&PID_0610&REV_7763", 3},
    {"ENUSB3\\VID_2E7B&PID_0610&REV_7763", 4},
    {"FLUSB\\VID_2E7B&PID_0610&REV_7763", 5},
};

TEST(HubRegistry, TheKeyPathsAreTriedInOrderAndEachStacksHubIsRestarted) {
    for (const StackCase& entry : kStackCases) {
        RouteRun run = RunRoute(Scenario(std::string(kVexaHub) + " hwid=" + entry.hwid));
        std::vector<std::string> expected = {"Get Instance ID: VX0001"};
        for (int i = 0; i < entry.path; i++) {
            expected.push_back(std::string("RegOpenKeyEx ERROR! 2!\n") + kPaths[i]);
        }
        expected.push_back(std::string("RegOpenKeyEx OK!\n") + kPaths[entry.path]);
        expected.push_back("RegGetValue fail for EnableSelectiveSuspend");
        std::string upper = entry.hwid;
        for (char& c : upper) {
            c = (char)toupper((unsigned char)c);
        }
        expected.push_back("Hub ID: " + upper);
        expected.push_back("Hub ID: " + upper);
        EXPECT_EQ(run.result, 1) << entry.hwid;
        EXPECT_TRUE(SameLines(run.app, expected)) << entry.hwid;
        EXPECT_TRUE(SameLines(run.pnp, kRestart)) << entry.hwid;
    }
}

std::vector<std::string> EveryPathFails(const char* first_error) {
    std::vector<std::string> lines = {"Get Instance ID: VX0001"};
    for (int i = 0; i < 6; i++) {
        lines.push_back(std::string("RegOpenKeyEx ERROR! ") + (i == 0 ? first_error : "2") + "!\n" +
                        kPaths[i]);
    }
    lines.push_back("RegOpenKeyEx ERROR! 2");
    return lines;
}

TEST(HubRegistry, AHubUnderAnotherStackIsLeftAloneWhenNoPathOpens) {
    RouteRun run = RunRoute(Scenario(std::string(kVexaHub) + " hwid=XUSB\\VID_2E7B&PID_0610"));
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(SameLines(run.app, EveryPathFails("2")));
    EXPECT_TRUE(run.pnp.empty());
}

TEST(HubRegistry, EachFailedOpenTracesItsOwnResult) {
    RouteRun run = RunRoute(
        Scenario(kVexaHub, std::string("fail reg-open \"") + kHubDeviceParameters + "\"\n"));
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(SameLines(run.app, EveryPathFails("5")));
    EXPECT_TRUE(run.pnp.empty());
}

TEST(HubRegistry, AFailedWriteLeavesTheHubEnabled) {
    RouteRun run = RunRoute(
        Scenario(kVexaHub, std::string("fail reg-write \"") + kHubDeviceParameters + "\"\n"));
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(SameLines(
        run.app, {"Get Instance ID: VX0001", kOpened, "RegGetValue fail for EnableSelectiveSuspend",
                  kHubId, "Set Capabilities ERROR! 5", kHubId}));
    EXPECT_TRUE(SameLines(run.pnp, kRestart));
    EXPECT_FALSE(run.value.has_value());
}

// Rule 5 of the hub test makes a hub of this revision a Vexa hub whatever its IDs.
struct ZeroIdCase {
    const char* ids;  // vendor and product, as the hub line and the key write them
};
const ZeroIdCase kZeroIdCases[] = {{"VID_0000&PID_0610"}, {"VID_2E7B&PID_0000"}};

TEST(HubRegistry, AHubWithVendorOrProductZeroMatchesNothingAndIsNotWritten) {
    for (const ZeroIdCase& entry : kZeroIdCases) {
        std::string ids = entry.ids;
        std::string hub = "hub H1 vid=" + ids.substr(4, 4) + " pid=" + ids.substr(13, 4) +
                          " bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001";
        RouteRun run = RunRoute(Scenario(hub));
        EXPECT_EQ(run.result, 0) << ids;
        EXPECT_TRUE(SameLines(
            run.app, {"Get Instance ID: VX0001",
                      "RegOpenKeyEx OK!\nSYSTEM\\CurrentControlSet\\Enum\\USB\\" + ids +
                          "\\VX0001\\Device Parameters",
                      "RegGetValue fail for EnableSelectiveSuspend", "Disable Hub ERROR! 0"}))
            << ids;
        EXPECT_TRUE(run.pnp.empty()) << ids;
    }
}

TEST(HubRegistry, TwoHubsOfOneModelAreRestartedTogether) {
    RouteRun run = RunRoute(std::string(kControllerAndPad) + kVexaHub +
                            "\nhub H2 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 "
                            "serial=VX0002\n" +
                            kPlugged + "plug H2 C1:3\n");
    EXPECT_EQ(run.result, 1);
    // The route is for H2, the last hub listed; H1 is restarted beside it.
    EXPECT_TRUE(SameLines(
        run.app, {"Get Instance ID: VX0002",
                  "RegOpenKeyEx OK!\nSYSTEM\\CurrentControlSet\\Enum\\USB\\"
                  "VID_2E7B&PID_0610\\VX0002\\Device Parameters",
                  "RegGetValue fail for EnableSelectiveSuspend", kHubId, kHubId, kHubId, kHubId}));
    EXPECT_TRUE(SameLines(run.pnp, {"H1 removed", "H1 disabled", "H2 removed", "H2 disabled",
                                    "H1 enabled", "H1 attached handle=4", "H1 started",
                                    "H2 enabled", "H2 attached handle=5", "H2 started"}));
}

// What the next pass reads of the hub restarted: a new handle, and the same topology address,
// so that it is the hub already listed and is not announced again.
TEST(HubRegistry, TheRestartedHubHasANewHandleAndTheSameTopologyAddress) {
    std::vector<VEXA_TOPOLOGY> addresses;
    std::vector<ULONG> hub_handles;
    auto read_hub = [&](HANDLE device) {
        std::vector<uint8_t> buffer = ReadDeviceList(device);
        const VEXA_DEVICE_LIST* list = (const VEXA_DEVICE_LIST*)buffer.data();
        for (ULONG i = 0; i < list->count; i++) {
            if (list->entries[i].VexaDevType != 1) {
                continue;
            }
            // A copy: the packed list's fields are not aligned for a reference to bind.
            ULONG handle = list->entries[i].handle;
            VEXA_TOPOLOGY topology;
            ZeroMemory(&topology, sizeof(topology));
            topology.handle = handle;
            DWORD returned = 0;
            EXPECT_TRUE(DeviceIoControl(device, VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, &topology,
                                        sizeof(topology), &topology, sizeof(topology), &returned,
                                        NULL));
            addresses.push_back(topology);
            hub_handles.push_back(handle);
        }
    };
    RouteRun run = RunRoute(
        Scenario(kVexaHub),
        [&] {
            HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0,
                                        NULL, OPEN_EXISTING, 0, NULL);
            read_hub(device);
            CloseHandle(device);
        },
        read_hub);
    EXPECT_EQ(run.result, 1);
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(hub_handles, (std::vector<ULONG>{2, 3}));
    EXPECT_EQ(memcmp(&addresses[0].PciBusNumber, &addresses[1].PciBusNumber,
                     sizeof(VEXA_TOPOLOGY) - offsetof(VEXA_TOPOLOGY, PciBusNumber)),
              0);
    EXPECT_EQ(addresses[1].RootHubPortNumber, 1);
}

// With the hub and the tablet below it the driver's only devices, the restart takes its
// control device away under the pass's open handle: the handle fails from then on, and the
// next pass's handle reaches the control device made anew, with both devices listed again.
TEST(HubRegistry, ARestartOfTheDriversOnlyDevicesLeavesThePassHandleStale) {
    BOOL stale_ok = TRUE;
    DWORD stale_error = 0;
    ULONG listed = 0;
    RouteRun run = RunRoute(
        std::string("controller C1 ports=4\n") + kVexaHub +
            "\ndevice TAB vid=04E8 pid=6860 serial=R52N40\nload\nplug H1 C1:1\nplug TAB H1:1\n",
        nullptr, [&](HANDLE device) {
            VEXA_DEVICE_LIST header;
            DWORD returned = 0;
            stale_ok = DeviceIoControl(device, VEXA_IOCTL_GET_DEVICE_NUM, NULL, 0, &header,
                                       sizeof(header), &returned, NULL);
            stale_error = GetLastError();
            HANDLE fresh = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                       OPEN_EXISTING, 0, NULL);
            listed = ((const VEXA_DEVICE_LIST*)ReadDeviceList(fresh).data())->count;
            CloseHandle(fresh);
        });
    EXPECT_EQ(run.result, 1);
    EXPECT_FALSE(stale_ok);
    EXPECT_EQ(stale_error, static_cast<DWORD>(ERROR_BAD_COMMAND));
    EXPECT_EQ(listed, 2u);
    EXPECT_TRUE(SameLines(
        run.pnp, {"TAB removed", "H1 removed", "H1 disabled", "H1 enabled", "H1 attached handle=3",
                  "H1 started", "TAB attached handle=4", "TAB started"}));
}

TEST(HubRegistry, AFailedInstanceQueryEndsTheRouteWithItsError) {
    RouteRun run = RunRoute(Scenario(kVexaHub), [] {
        sim::Machine::Current().faults.Arm(sim::Fault::kRequestOutput, "", 1, 1);
    });
    EXPECT_EQ(run.instance_ok, 0);
    EXPECT_TRUE(SameLines(run.app, {"VEXA_IOCTL_GET_INSTANCE_ID ERROR! 1450"}));
}

}  // namespace

namespace {

// The longest instance the driver reports whole: the key's full name, 503 characters, fits
// its 512-byte field. Lines with it are cut by DebugPrint to 259 characters; the path still
// opens, so the route goes on.
TEST(HubRegistry, LinesWithALongInstanceIdAreCutAndTheRouteGoesOn) {
    std::string instance(419, 'I');
    RouteRun run = RunRoute(Scenario(std::string(kVexaHub) + " instance=" + instance));
    std::string path = "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\" + instance +
                       "\\Device Parameters";
    EXPECT_EQ(run.result, 1);
    EXPECT_TRUE(
        SameLines(run.app, {("Get Instance ID: " + instance).substr(0, 259),
                            ("RegOpenKeyEx OK!\n" + path).substr(0, 259),
                            "RegGetValue fail for EnableSelectiveSuspend", kHubId, kHubId}));
    EXPECT_TRUE(SameLines(run.pnp, kRestart));
}

}  // namespace

namespace {

// The registry route by Windows version: taken where the power plan's test fails (before 6.2),
// never where it passes; Windows 10 tells Ampwise 6.2, as its manifest declares no supported OS.
struct VersionCase {
    const char* version;
    bool route;
};
const VersionCase kVersionCases[] = {
    {"6.1", true}, {"6.2", false}, {"6.3", false}, {"10.0", false}, {"5.1", true},
};

TEST(HubRegistry, CheckPermanentDisableSSTakesTheRegistryRouteWhereThePowerPlanIsNotTheRoute) {
    for (const VersionCase& entry : kVersionCases) {
        RouteRun run =
            RunCheck(std::string("kernel version=") + entry.version + "\n" + Scenario(kVexaHub));
        std::vector<std::string> expected;
        if (entry.route) {
            expected = {"CheckPermanentDisableSS, pass OS version test",
                        "Get Instance ID: VX0001",
                        kOpened,
                        "RegGetValue fail for EnableSelectiveSuspend",
                        kHubId,
                        kHubId,
                        "CheckPermanentDisableSS, done"};
        }
        EXPECT_TRUE(SameLines(run.app, expected)) << entry.version;
        EXPECT_TRUE(SameLines(run.pnp, entry.route ? kRestart : std::vector<std::string>{}))
            << entry.version;
        EXPECT_EQ(run.value.has_value(), entry.route) << entry.version;
    }
}

TEST(HubRegistry, CheckPermanentDisableSSLogsAFailedInstanceQuery) {
    RouteRun no_instance = RunCheck(Scenario(kVexaHub), [] {
        sim::Machine::Current().faults.Arm(sim::Fault::kRequestOutput, "", 1, 1);
    });
    EXPECT_TRUE(SameLines(no_instance.app,
                          {"CheckPermanentDisableSS, pass OS version test",
                           "VEXA_IOCTL_GET_INSTANCE_ID ERROR! 1450", "Get instance ID fail"}));
}

TEST(HubRegistry, CheckPermanentDisableSSLogsAValueAlreadyZeroAsAFailure) {
    RouteRun already =
        RunCheck(Scenario(kVexaHub, std::string("registry-set \"") + kHubDeviceParameters +
                                        "\" EnableSelectiveSuspend REG_DWORD 0\n"));
    EXPECT_TRUE(SameLines(
        already.app, {"CheckPermanentDisableSS, pass OS version test", "Get Instance ID: VX0001",
                      kOpened, "already disable SS, exit", "RegEnableSS fail"}));
    EXPECT_TRUE(already.pnp.empty());
}

}  // namespace

namespace {

// A reply whose 512 bytes of text hold no terminator: the instance ID ends inside them, so
// the paths hold its first 511 characters and the trace line is cut as any long line is.
TEST(HubRegistry, AnInstanceIdWithoutTerminatorEndsInsideItsField) {
    int ok = 0;
    HubKeyPaths paths;
    paths.count = 0;
    auto run = RunThenCall("controller C1\n", [&] {
        win32test::InstallInstanceIdDevice(std::string(VEXA_STRING_CAPACITY, 'I'));
        HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                    OPEN_EXISTING, 0, NULL);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        VEXA_DEVICE_ENTRY entry = {};
        entry.VID = 0x2E7B;
        entry.PID = 0x0610;
        ok = GetHubInstanceId(device, 1, &paths, &entry);
        CloseHandle(device);
    });
    std::string instance(VEXA_STRING_CAPACITY - 1, 'I');
    EXPECT_EQ(ok, 1);
    ASSERT_EQ(paths.count, HUB_KEY_PATH_COUNT);
    EXPECT_EQ(std::string(paths.path[0]),
              "SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\" + instance +
                  "\\Device Parameters");
    EXPECT_TRUE(
        SameLines(run.Lines("app"), {("dbg Get Instance ID: " + instance).substr(0, 4 + 259)}));
}

}  // namespace
