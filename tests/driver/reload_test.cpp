// The driver goes with its last device and comes back with the next one; a program's open
// handle keeps it loaded meanwhile, and the control device comes back for the next device.
#include "support/sim_test.h"

#include "kmdf/kmdf.h"

namespace {

using support::RunScenario;
using support::SameSequence;

const std::string kHubAndPad =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4\n"
    "device PAD vid=05AC pid=12AB\n";

// VEXA_IOCTL_GET_DEVICE_NUM's reply: serial and count, then the 15 bytes it reports unwritten.
std::string DeviceNum(int serial, int count) {
    char text[128];
    std::snprintf(text, sizeof text,
                  "VEXA_IOCTL_GET_DEVICE_NUM -> status=0x00000000 info=23 out=%02X000000%02X000000"
                  "000000000000000000000000000000",
                  serial, count);
    return text;
}
// The line ampsim adds after that reply, with its fields decoded.
std::string Decoded(int serial, int count) {
    return "VEXA_IOCTL_GET_DEVICE_NUM decoded serial=" + std::to_string(serial) +
           " count=" + std::to_string(count);
}
const char* const kOnDeletedDevice = "VEXA_IOCTL_GET_DEVICE_NUM -> status=0xc0000184 info=0 out=";

struct ReloadCase {
    const char* name;
    const char* events;
    std::vector<std::string> pnp;
    std::vector<std::string> ioctl;
};

const ReloadCase kReloadCases[] = {
    {"replug without a handle",
     "plug PAD C1:1\nunplug PAD\nplug PAD C1:1\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "driver unloaded", "PAD unplugged", "driver loaded",
      "PAD attached handle=1", "PAD started"},
     {DeviceNum(2, 1), Decoded(2, 1)}},
    {"replug with a handle held throughout",
     "open APP\nplug PAD C1:1\nunplug PAD\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23 handle=APP\n"
     "plug PAD C1:1\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23 handle=APP\n"
     "ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\nclose APP\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "PAD unplugged", "PAD attached handle=2", "PAD started"},
     {"open APP -> ok", kOnDeletedDevice, kOnDeletedDevice, DeviceNum(3, 1), Decoded(3, 1),
      "close APP"}},
    {"handle closed after the last device went",
     "open APP\nplug PAD C1:1\nunplug PAD\nclose APP\nplug PAD C1:1\n"
     "ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "PAD unplugged", "driver unloaded", "driver loaded",
      "PAD attached handle=1", "PAD started"},
     {"open APP -> ok", "close APP", DeviceNum(2, 1), Decoded(2, 1)}},
    {"hub restarted while a handle is held",
     "plug H1 C1:1\nplug PAD H1:1\nopen APP\nunplug H1\nplug H1 C1:1\n"
     "ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\nclose APP\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "H1 attached handle=1",
      "H1 started", "PAD attached handle=2", "PAD started", "PAD removed", "H1 removed",
      "H1 unplugged", "H1 attached handle=3", "H1 started", "PAD attached handle=4", "PAD started"},
     {"open APP -> ok", DeviceNum(5, 2), Decoded(5, 2), "close APP"}},
    {"filter removed while a handle is held",
     "plug PAD C1:1\nopen APP\nunload\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23 handle=APP\n"
     "close APP\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "driver unloaded"},
     {"open APP -> ok", kOnDeletedDevice, "close APP"}},
    {"filter installed again while a handle kept the old image",
     "plug PAD C1:1\nopen APP\nunload\nload\nclose APP\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "C1 not-filtered", "C1.root not-filtered",
      "PAD attached handle=2", "PAD started"},
     {"open APP -> ok", "close APP"}},
    {"handle opened while no device is filtered",
     "open APP\nplug PAD C1:1\nclose APP\nunplug PAD\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "PAD attached handle=1",
      "PAD started", "PAD removed", "driver unloaded", "PAD unplugged"},
     {"open APP -> ok", "close APP"}},
};

TEST(Reload, DriverComesAndGoesWithItsDevices) {
    for (const ReloadCase& c : kReloadCases) {
        auto run = RunScenario(kHubAndPad + "load\n" + c.events);
        EXPECT_RUN_OK(run);
        EXPECT_TRUE(SameSequence(run.Lines("pnp"), c.pnp)) << c.name << "\n" << run.Reproduce();
        EXPECT_TRUE(SameSequence(run.Lines("ioctl"), c.ioctl)) << c.name << "\n" << run.Reproduce();
    }
}

// Each load traces afresh: the provider goes with the image and comes back with it.
TEST(Reload, TracingStopsAndStartsWithTheImage) {
    auto run = RunScenario(kHubAndPad + "load\nplug PAD C1:1\nunplug PAD\nplug PAD C1:1\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(SameSequence(run.Lines("kernel"), {"trace provider registered via=etw",
                                                   "trace provider unregistered via=etw",
                                                   "trace provider registered via=etw"}));
}

struct ConfigurationCase {
    const char* name;
    const char* events;  // CHGCMDMODE is 1 at the load and 2 from the second registry line
    ULONG chg_cmd_mode;
    LONG serial;
};

const ConfigurationCase kConfigurationCases[] = {
    {"reloaded", "unplug PAD\nregistry CHGCMDMODE REG_DWORD 2\nplug PAD C1:1\n", 2, 2},
    {"control device recreated for a held handle",
     "open APP\nunplug PAD\nregistry CHGCMDMODE REG_DWORD 2\nplug PAD C1:1\nclose APP\n", 2, 3},
    {"still loaded", "plug H1 C1:2\nregistry CHGCMDMODE REG_DWORD 2\nunplug PAD\n", 1, 3},
};

// The configuration is read with every new control device, the serial starts at 1 with
// every load.
TEST(Reload, ConfigurationAndSerialAfterTheDriverCameBack) {
    for (const ConfigurationCase& c : kConfigurationCases) {
        ULONG mode = 0;
        LONG serial = 0;
        auto run = RunScenario(
            kHubAndPad + "registry CHGCMDMODE REG_DWORD 1\nload\nplug PAD C1:1\n" + c.events, 0,
            [&](sim::Machine&) {
                ASSERT_NE(FilterGetControlExtension(), nullptr) << c.name;
                mode = FilterGetControlExtension()->ChgCmdMode;
                serial = DeviceSerial;
            });
        EXPECT_RUN_OK(run);
        EXPECT_EQ(mode, c.chg_cmd_mode) << c.name;
        EXPECT_EQ(serial, c.serial) << c.name;
    }
}

struct Leftovers {
    size_t pool = 0;
    size_t objects = 0;
    size_t kernel_handles = 0;
    bool loaded = true;
};

Leftovers LeftoversOf(sim::Machine& machine) {
    return Leftovers{machine.kernel.pool.outstanding_bytes(), machine.kmdf->live_objects(),
                     machine.kernel.handles.open_count(), machine.pnp->driver_loaded()};
}

// Every unload, whether the last device or the last handle caused it, leaves nothing of the
// driver behind, however often the driver came back before.
TEST(Reload, NothingIsLeftAfterAnUnload) {
    std::vector<Leftovers> after_each;
    auto run = RunScenario(kHubAndPad + "load\n", 0, [&](sim::Machine& machine) {
        sim::UsbNode* hub = machine.usb->Find("H1");
        for (int round = 0; round < 3; ++round) {
            machine.pnp->Plug(hub, machine.usb->HubOf("C1"), 1);
            // The iPad stays in the hub and comes back with it.
            if (round == 0) {
                machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->HubOf("H1"), 1);
            }
            sim::UserHandle handle = 0;
            machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle);
            support::Ioctl(VEXA_IOCTL_ENABLE_TAB_CHARGING, {1}, 0);
            machine.pnp->Unplug(hub);
            machine.user_io.Close(handle);
            after_each.push_back(LeftoversOf(machine));
        }
        machine.pnp->UnloadDriver();
    });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(after_each.size(), 3u);
    for (const Leftovers& left : after_each) {
        EXPECT_FALSE(left.loaded);
        EXPECT_EQ(left.pool, 0u);
        EXPECT_EQ(left.objects, 0u);
        EXPECT_EQ(left.kernel_handles, 0u);
    }
}

}  // namespace
