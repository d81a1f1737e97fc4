// Device classification: which devices the driver attaches to, which hubs are Vexa hubs,
// and which devices count as chargeable tablets.
#include "support/sim_test.h"

namespace {

using support::ListedDevices;
using support::RunScenario;

struct AttachCase {
    const char* device;  // a "device NAME ..." line for X
    bool attach;
};

const AttachCase kAttachCases[] = {
    {"device X vid=05AC pid=12A8 bcddevice=0510", true},
    {"device X vid=05AC pid=12A8 nocompatid", true},
    {"device X vid=04E8 pid=6860 hwid=usb\\vid_04e8&pid_6860", true},
    {"device X vid=05AC pid=12A8 hwid=USB\\VID_1234&PID_0001|USB\\VID_05AC&PID_12A8", false},
    {"hub X vid=8087 pid=0024", false},
    {"hub X vid=8086 pid=1E31 hwid=USB\\ROOT_HUB30&VID8086&PID1E31&REV0004", false},
    {"hub X vid=1234 pid=0001 hwid=NUSB3\\ROOT_HUB&VID1B21", false},
    {"hub X vid=1234 pid=0001 hwid=USB\\VID_1234&PID_PCI0", false},
    {"device X vid=1234 pid=0001 compatid=USB\\Class_09&SubClass_00&Prot_02", true},
    {"device X vid=0781 pid=5567 compatid=USB\\Class_08&SubClass_06&Prot_50", false},
    {"device X vid=1234 pid=0001 compatid=USB\\USB20_HUB", true},
    {"device X vid=1234 pid=0001 compatid=ext_hub30", true},
    {"device X vid=1234 pid=0001 nocompatid hwid=USB\\ASMEDIAUSBD_HUB&VID_1B21", true},
    {"device X vid=1234 pid=0001 nocompatid hwid=ROOT\\USBD_HUB", true},
    {"device X vid=1234 pid=0001 nocompatid", false},
    {"hub X vid=1234 pid=0001 compatid=USB\\Class_08|USB\\Class_09", false},
};

TEST(Classification, AttachTest) {
    for (const AttachCase& c : kAttachCases) {
        auto run = RunScenario(std::string("controller C1\n") + c.device + "\nload\nplug X C1:1\n");
        EXPECT_RUN_OK(run);
        auto lines = run.Lines("pnp");
        std::string expected = c.attach ? "X attached handle=1" : "X not-filtered";
        EXPECT_NE(std::find(lines.begin(), lines.end(), expected), lines.end()) << c.device << "\n"
                                                                                << run.Reproduce();
    }
}

struct HubCase {
    const char* hub;       // a "hub X ..." line
    const char* registry;  // extra lines before load
    USHORT vexa;
};

const HubCase kHubCases[] = {
    {"hub X vid=2E7B pid=0610 bcdusb=0210", "", 1},
    {"hub X vid=2E7B pid=06FF bcdusb=0200 bcddevice=1234", "", 1},
    {"hub X vid=2E7B pid=0610 bcdusb=0300", "", 0},
    {"hub X vid=2E7B pid=0710 bcdusb=0210", "", 0},
    {"hub X vid=2101 pid=8500", "", 1},
    {"hub X vid=4000 pid=8564", "", 1},
    {"hub X vid=4000 pid=8565", "", 0},
    {"hub X vid=2E7B pid=0610 bcdusb=0300 string80=\"Vexa 3.0 Hub\"", "", 1},
    {"hub X vid=1234 pid=0001 string80=\"USB Vexa 3.0 Hub rev B\"", "", 1},
    {"hub X vid=1234 pid=0001 string80=\"Vexa 3.0 Hub\"", "registry DONTGETSTRDESC REG_DWORD 1", 0},
    {"hub X vid=1234 pid=0001 string80=\"Vexa 3.0 Hub\"", "registry DONTGETSTRDESC REG_DWORD 2", 0},
    {"hub X vid=1234 pid=0001 string80=\"vexa 3.0 hub\"", "", 0},
    {"hub X vid=1234 pid=0001 bcddevice=3195", "", 1},
    {"hub X vid=1234 pid=0001 bcddevice=776F", "", 1},
    {"hub X vid=1234 pid=0001 bcddevice=8530", "", 1},
    {"hub X vid=1234 pid=0001 bcddevice=3290", "", 1},
    {"hub X vid=1234 pid=0001 bcddevice=3300", "", 0},
    {"hub X vid=1234 pid=5678", "registry VEXAHUBSupportList REG_MULTI_SZ 1234_5678", 1},
    {"hub X vid=1234 pid=5678", "registry VEXAHUBSupportList REG_MULTI_SZ 1234_5678 1234_5678", 1},
    {"hub X vid=1234 pid=5678", "registry VEXAHUBSupportList REG_MULTI_SZ 1234_5679", 0},
    {"hub X vid=1234 pid=5678", "registry VEXAHUBSupportList REG_MULTI_SZ 1235_5678", 0},
};

TEST(Classification, VexaHubRules) {
    for (const HubCase& c : kHubCases) {
        std::vector<support::ListedDevice> listed;
        auto run = RunScenario(
            std::string("controller C1\n") + c.hub + "\n" + c.registry + "\nload\nplug X C1:1\n", 0,
            [&](sim::Machine&) { listed = ListedDevices(); });
        EXPECT_RUN_OK(run);
        ASSERT_EQ(listed.size(), 1u) << c.hub;
        EXPECT_EQ(listed[0].vexa, c.vexa) << c.hub << " / " << c.registry;
    }
}

TEST(Classification, HubTestPrintsItsDebugLine) {
    auto run = RunScenario(
        "controller C1\nhub X vid=2E7B pid=0610 bcdusb=0210\nload\n"
        "plug X C1:1\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(support::SameSequence(run.Lines("dbg"), {"vid 2e7b, pid 1552, bcdusb"}));
}

struct TabletCase {
    USHORT vid;
    USHORT pid;
    bool chargeable;
};

TEST(Classification, ChargeableTablets) {
    const TabletCase configured[] = {
        {0x05AC, 0x12AB, true},   // an iPad
        {0x05AC, 0x1297, true},   // the product range decides, listed or not
        {0x05AC, 0x12A0, false},  // in the skip list
        {0x05AC, 0x1300, false},
        {0x04E8, 0x6860, false},  // Samsung tablets are charged through the hub
        {0x04E8, 0x6861, true},   // unless listed
        {0x1234, 0x12AB, false},
    };
    const TabletCase without_configuration[] = {
        {0x05AC, 0x12AB, true},
        {0x05AC, 0x12A0, true},
        {0x04E8, 0x6861, false},
    };
    auto run = RunScenario(
        "registry IPADSupportList REG_MULTI_SZ 05AC_1297 04E8_6861 05AC_12A0\n"
        "registry IDevSkipList REG_MULTI_SZ 05AC_12A0\n"
        "controller C1\ndevice X vid=05AC pid=12AB\nload\nplug X C1:1\n",
        0, [&](sim::Machine& machine) {
            for (const TabletCase& c : configured) {
                EXPECT_EQ(IsChargeableTablet(c.vid, c.pid) != FALSE, c.chargeable)
                    << std::hex << c.vid << ":" << c.pid;
            }
            machine.pnp->Unplug(machine.usb->Find("X"));
            ASSERT_EQ(FilterGetControlExtension(), nullptr);
            for (const TabletCase& c : without_configuration) {
                EXPECT_EQ(IsChargeableTablet(c.vid, c.pid) != FALSE, c.chargeable)
                    << "without configuration " << std::hex << c.vid << ":" << c.pid;
            }
        });
    EXPECT_RUN_OK(run);
}

TEST(Classification, ListLookupNeedsBothIds) {
    VID_PID_LIST list = {};
    EXPECT_FALSE(VidPidListContains(&list, 0, 0));
    list.Vid[0] = 0x05AC;
    list.Pid[0] = 0x12AB;
    list.Vid[1] = 0x04E8;
    list.Pid[1] = 0x6860;
    list.Count = 1;
    EXPECT_TRUE(VidPidListContains(&list, 0x05AC, 0x12AB));
    EXPECT_FALSE(VidPidListContains(&list, 0x05AC, 0x6860));
    EXPECT_FALSE(VidPidListContains(&list, 0x04E8, 0x6860)) << "entries past Count are not read";
}

}  // namespace
