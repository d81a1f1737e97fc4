// Tablet charge activation: which tablets are asked for current, with which values, how
// often, and what the application is told.
#include "support/sim_test.h"

namespace {

using support::RunScenario;
using support::SameSequence;

#define VEXA_HUB "controller C1\nhub H1 vid=2E7B pid=0610 bcdusb=0210\n"
#define HUB_PLUGGED "load\nplug H1 C1:1\n"

const char* const kHigh = "6400 6400";
const char* const kLow = "0000 01F4";

std::string Sent(const std::string& device, const std::string& current,
                 const std::string& via = "target", const std::string& status = "0x00000000") {
    return device + " setup 40 40 " + current + " 0000 via=" + via + " -> " + status;
}

// The setup lines the devices received while `calls` ran, and what each call returned.
struct Charging {
    support::ScenarioRun run;
    std::vector<std::string> sent;
    std::vector<NTSTATUS> statuses;
    size_t objects_left = 0;  // framework objects alive once the driver has unloaded
};

// Every path frees the snapshot and drops the reference on the device it found.
::testing::AssertionResult NothingLeft(const Charging& charging) {
    if (charging.run.result.pool_outstanding == 0 && charging.objects_left == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "after unload: pool bytes " << charging.run.result.pool_outstanding
           << ", framework objects " << charging.objects_left;
}

// Runs the scenario, then `calls` on its thread, then unloads the driver; each call's status
// is recorded.
Charging RunCharging(const std::string& text,
                     const std::function<void(sim::Machine&, std::vector<NTSTATUS>&)>& calls,
                     uint64_t seed = 0) {
    Charging charging;
    charging.run = RunScenario(text, seed, [&](sim::Machine& machine) {
        size_t before = machine.log.Texts("usb").size();
        calls(machine, charging.statuses);
        std::vector<std::string> usb = machine.log.Texts("usb");
        charging.sent.assign(usb.begin() + static_cast<long>(before), usb.end());
        machine.pnp->UnloadDriver();
        charging.objects_left = machine.kmdf->live_objects();
    });
    return charging;
}

Charging ChargeOnce(const std::string& text, BOOLEAN skip_hub_check) {
    return RunCharging(text, [&](sim::Machine&, std::vector<NTSTATUS>& statuses) {
        statuses.push_back(EnableTabCharging(skip_hub_check));
    });
}

UCHAR ChargeSentOf(ULONG handle) {
    for (const support::ListedDevice& device : support::ListedDevices()) {
        if (device.handle == handle) {
            return device.charge_sent;
        }
    }
    return 0xFF;
}

struct CurrentCase {
    const char* registry;  // scenario lines before the load
    const char* events;    // and after it
    USHORT pid;
    ULONG tablets;
    bool chosen;
    USHORT value;
    USHORT index;
};

#define MODE(n) "registry CHGCMDMODE REG_DWORD " #n

// The product comparison is unsigned: 0xF000 lies above 0x12A4.
const CurrentCase kCurrents[] = {
    {"", "", 0x12A4, 1, true, 0x6400, 0x6400},
    {"", "", 0x12A5, 1, true, 0x0000, 0x01F4},
    {"", "", 0xF000, 1, true, 0x0000, 0x01F4},
    {MODE(0), "", 0x1200, 3, true, 0x6400, 0x6400},
    {MODE(1), "", 0x12A5, 3, true, 0x6400, 0x6400},
    {MODE(2), "", 0x12A5, 1, true, 0x6400, 0x6400},
    {MODE(2), "", 0x1200, 2, true, 0x0000, 0x01F4},
    {MODE(2), "", 0x1200, 0, true, 0x0000, 0x01F4},
    {MODE(3), "", 0x1200, 1, true, 0x0000, 0x01F4},
    {MODE(4), "", 0x1200, 1, false, 0, 0},
    {MODE(7), "", 0x12A5, 2, false, 0, 0},
    {MODE(0xFFFFFFFF), "", 0x1200, 1, false, 0, 0},
    // Once the last filter device has gone, so has the control device with the mode; the
    // high values are used.
    {MODE(3), "plug PAD C1:1\nunplug PAD\n", 0x12A5, 2, true, 0x6400, 0x6400},
};

TEST(Charging, CurrentsFollowTheModeProductAndTabletCount) {
    for (const CurrentCase& c : kCurrents) {
        BOOLEAN chosen = FALSE;
        USHORT value = 0xEEEE, index = 0xEEEE;
        auto run = RunScenario(std::string("controller C1\ndevice PAD vid=05AC pid=12AB\n") +
                                   c.registry + "\nload\n" + c.events,
                               0, [&](sim::Machine&) {
                                   chosen = SelectChargeCurrent(c.pid, c.tablets, &value, &index);
                               });
        EXPECT_RUN_OK(run);
        std::string what = std::string(c.registry) + " " + c.events + " pid " +
                           std::to_string(c.pid) + " tablets " + std::to_string(c.tablets);
        EXPECT_EQ(chosen != FALSE, c.chosen) << what;
        // Nothing is chosen for a mode the driver does not know.
        EXPECT_EQ(value, c.chosen ? c.value : 0xEEEE) << what;
        EXPECT_EQ(index, c.chosen ? c.index : 0xEEEE) << what;
    }
}

struct ChargeCase {
    const char* name;
    std::string text;
    BOOLEAN skip_hub_check;
    NTSTATUS status;
    std::vector<std::string> sent;
};

const ChargeCase kCharges[] = {
    {"iPad up to 0x12A4",
     VEXA_HUB "device PAD vid=05AC pid=12A4\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kHigh)}},
    {"iPad above 0x12A4",
     VEXA_HUB "device PAD vid=05AC pid=12A5\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow)}},
    {"mode 1",
     VEXA_HUB MODE(1) "\ndevice PAD vid=05AC pid=12A5\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kHigh)}},
    {"mode 3",
     VEXA_HUB MODE(3) "\ndevice PAD vid=05AC pid=12A4\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow)}},
    // A Samsung tablet beside the iPad is no chargeable tablet and does not count.
    {"mode 2, one tablet",
     VEXA_HUB MODE(2) "\ndevice PAD vid=05AC pid=12AB\n"
                      "device TAB vid=04E8 pid=6860\n" HUB_PLUGGED "plug TAB H1:1\nplug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kHigh)}},
    {"mode 2, two tablets",
     VEXA_HUB MODE(2) "\ndevice PAD vid=05AC pid=12AB\n"
                      "device PAD2 vid=05AC pid=12A0\n" HUB_PLUGGED
                      "plug PAD H1:2\nplug PAD2 H1:3\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow), Sent("PAD2", kLow)}},
    {"unknown mode",
     VEXA_HUB MODE(7) "\ndevice PAD vid=05AC pid=12AB\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {}},
    {"no Vexa hub",
     "controller C1\nhub H1 vid=1234 pid=0001\ndevice PAD vid=05AC pid=12AB\n" HUB_PLUGGED
     "plug PAD H1:2\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {}},
    {"no Vexa hub, check skipped",
     "controller C1\nhub H1 vid=1234 pid=0001\ndevice PAD vid=05AC pid=12AB\n" HUB_PLUGGED
     "plug PAD H1:2\n",
     TRUE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow)}},
    {"tablet on the root hub, check skipped",
     "controller C1\ndevice PAD vid=05AC pid=12AB\nload\nplug PAD C1:1\n",
     TRUE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow)}},
    {"Samsung tablet alone",
     VEXA_HUB "device TAB vid=04E8 pid=6860\n" HUB_PLUGGED "plug TAB H1:1\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {}},
    // A listed Samsung pair is a chargeable tablet; this one refuses the Apple request.
    {"Samsung tablet listed",
     VEXA_HUB
     "registry IPADSupportList REG_MULTI_SZ 04E8_6860\ndevice TAB vid=04E8 pid=6860\n" HUB_PLUGGED
     "plug TAB H1:1\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {Sent("TAB", kLow, "target", "0xc0000001")}},
    {"iPad skipped by list",
     VEXA_HUB
     "registry IDevSkipList REG_MULTI_SZ 05AC_12AB\ndevice PAD vid=05AC pid=12AB\n" HUB_PLUGGED
     "plug PAD H1:2\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {}},
    {"Apple device outside the tablet range",
     VEXA_HUB "device POD vid=05AC pid=1300\n" HUB_PLUGGED "plug POD H1:2\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {}},
    {"stalling iPad",
     VEXA_HUB "device PAD vid=05AC pid=12AB stall=vendor\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_UNSUCCESSFUL,
     {Sent("PAD", kLow, "target", "0xc0000001")}},
    // One tablet charging is enough for success.
    {"stalling iPad beside a willing one",
     VEXA_HUB
     "device PAD vid=05AC pid=12AB stall=vendor\ndevice PAD2 vid=05AC pid=12A0\n" HUB_PLUGGED
     "plug PAD H1:2\nplug PAD2 H1:3\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow, "target", "0xc0000001"), Sent("PAD2", kHigh)}},
    {"no framework target",
     VEXA_HUB "device PAD vid=05AC pid=12AB notarget\n" HUB_PLUGGED "plug PAD H1:2\n",
     FALSE,
     STATUS_SUCCESS,
     {Sent("PAD", kLow, "pdo")}},
    {"no devices", "controller C1\nload\n", TRUE, STATUS_UNSUCCESSFUL, {}},
};

TEST(Charging, WhichTabletsAreAskedAndWhatTheCallReports) {
    for (const ChargeCase& c : kCharges) {
        Charging charging = ChargeOnce(c.text, c.skip_hub_check);
        EXPECT_RUN_OK(charging.run);
        ASSERT_EQ(charging.statuses.size(), 1u) << c.name;
        EXPECT_EQ(charging.statuses[0], c.status) << c.name << "\n" << charging.run.Reproduce();
        EXPECT_TRUE(SameSequence(charging.sent, c.sent)) << c.name;
        EXPECT_TRUE(NothingLeft(charging)) << c.name;
    }
}

// The request goes out once per start or resume, however often the application asks; a
// tablet that was told already still succeeds.
TEST(Charging, OncePerStartOrResume) {
    std::vector<UCHAR> charge_sent;
    Charging charging =
        RunCharging(VEXA_HUB "device PAD vid=05AC pid=12AB\n" HUB_PLUGGED "plug PAD H1:2\n",
                    [&](sim::Machine& machine, std::vector<NTSTATUS>& statuses) {
                        statuses.push_back(EnableTabCharging(FALSE));
                        statuses.push_back(EnableTabCharging(FALSE));
                        charge_sent.push_back(ChargeSentOf(2));
                        machine.pnp->Suspend();
                        machine.pnp->Resume();
                        charge_sent.push_back(ChargeSentOf(2));
                        statuses.push_back(EnableTabCharging(FALSE));
                        statuses.push_back(EnableTabCharging(FALSE));
                        // A replugged tablet is a new device with a new handle.
                        machine.pnp->Unplug(machine.usb->Find("PAD"));
                        machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->Find("H1"), 2);
                        statuses.push_back(EnableTabCharging(FALSE));
                        charge_sent.push_back(ChargeSentOf(3));
                    });
    EXPECT_RUN_OK(charging.run);
    EXPECT_EQ(charging.statuses, std::vector<NTSTATUS>(5, STATUS_SUCCESS));
    EXPECT_EQ(charge_sent, (std::vector<UCHAR>{1, 0, 1}));
    EXPECT_TRUE(
        SameSequence(charging.sent, {Sent("PAD", kLow), Sent("PAD", kLow), Sent("PAD", kLow)}));
    EXPECT_TRUE(NothingLeft(charging));
}

// Through the control device the request's byte decides the hub check: with an iPad on the
// computer and no Vexa hub, byte 0 is refused and sends nothing, any other byte serves it.
TEST(Charging, RequestByteDecidesTheHubCheckThroughTheControlDevice) {
    const uint8_t bytes[] = {0, 1, 0, 0x80};
    std::vector<size_t> information;
    Charging charging =
        RunCharging("controller C1\ndevice PAD vid=05AC pid=12AB\nload\nplug PAD C1:1\n",
                    [&](sim::Machine&, std::vector<NTSTATUS>& statuses) {
                        for (uint8_t byte : bytes) {
                            support::IoctlReply reply =
                                support::Ioctl(VEXA_IOCTL_ENABLE_TAB_CHARGING, {byte}, 0);
                            statuses.push_back(reply.status);
                            information.push_back(reply.information);
                        }
                    });
    EXPECT_RUN_OK(charging.run);
    EXPECT_EQ(charging.statuses, (std::vector<NTSTATUS>{STATUS_UNSUCCESSFUL, STATUS_SUCCESS,
                                                        STATUS_UNSUCCESSFUL, STATUS_SUCCESS}));
    EXPECT_EQ(information, std::vector<size_t>(4, 0));
    EXPECT_TRUE(SameSequence(charging.sent, {Sent("PAD", kLow)}));
    EXPECT_TRUE(NothingLeft(charging));
}

// A tablet charged earlier is not asked again but still counts, so the newcomer gets the
// values for two tablets.
TEST(Charging, ChargedTabletStillCountsInModeTwo) {
    Charging charging = RunCharging(
        VEXA_HUB MODE(2) "\ndevice PAD vid=05AC pid=12AB\n"
                 "device PAD2 vid=05AC pid=12A0\n" HUB_PLUGGED "plug PAD H1:2\n",
        [&](sim::Machine& machine, std::vector<NTSTATUS>& statuses) {
            statuses.push_back(EnableTabCharging(FALSE));
            machine.pnp->Plug(machine.usb->Find("PAD2"), machine.usb->Find("H1"), 3);
            statuses.push_back(EnableTabCharging(FALSE));
        });
    EXPECT_RUN_OK(charging.run);
    EXPECT_EQ(charging.statuses, (std::vector<NTSTATUS>{STATUS_SUCCESS, STATUS_SUCCESS}));
    EXPECT_TRUE(SameSequence(charging.sent, {Sent("PAD", kHigh), Sent("PAD2", kLow)}));
    EXPECT_TRUE(NothingLeft(charging));
}

// A refused request leaves the tablet uncharged; the next call asks again.
TEST(Charging, RefusedRequestIsRetriedByTheNextCall) {
    std::vector<UCHAR> charge_sent;
    Charging charging = RunCharging(
        VEXA_HUB "device PAD vid=05AC pid=12AB stall=vendor\n" HUB_PLUGGED "plug PAD H1:2\n",
        [&](sim::Machine& machine, std::vector<NTSTATUS>& statuses) {
            statuses.push_back(EnableTabCharging(FALSE));
            charge_sent.push_back(ChargeSentOf(2));
            statuses.push_back(EnableTabCharging(FALSE));
            machine.usb->Find("PAD")->behaviour.stall = sim::UsbBehaviour::Stall::kNone;
            statuses.push_back(EnableTabCharging(FALSE));
            charge_sent.push_back(ChargeSentOf(2));
        });
    EXPECT_RUN_OK(charging.run);
    EXPECT_EQ(charging.statuses,
              (std::vector<NTSTATUS>{STATUS_UNSUCCESSFUL, STATUS_UNSUCCESSFUL, STATUS_SUCCESS}));
    EXPECT_EQ(charge_sent, (std::vector<UCHAR>{0, 1}));
    const std::string refused = Sent("PAD", kLow, "target", "0xc0000001");
    EXPECT_TRUE(SameSequence(charging.sent, {refused, refused, Sent("PAD", kLow)}));
    EXPECT_TRUE(NothingLeft(charging));
}

TEST(Charging, SnapshotAllocationFailureSendsNothing) {
    Charging charging =
        RunCharging(VEXA_HUB "device PAD vid=05AC pid=12AB\n" HUB_PLUGGED "plug PAD H1:2\n",
                    [&](sim::Machine& machine, std::vector<NTSTATUS>& statuses) {
                        machine.faults.Arm(sim::Fault::kPoolAllocation, "Tabv");
                        statuses.push_back(EnableTabCharging(FALSE));
                        statuses.push_back(EnableTabCharging(FALSE));
                    });
    EXPECT_RUN_OK(charging.run);
    EXPECT_EQ(charging.statuses, (std::vector<NTSTATUS>{STATUS_UNSUCCESSFUL, STATUS_SUCCESS}));
    EXPECT_TRUE(SameSequence(charging.sent, {Sent("PAD", kLow)}));
    EXPECT_TRUE(NothingLeft(charging));
}

struct RaceCase {
    const char* name;
    int trace;           // the trace point at which the device tree changes
    const char* change;  // "plug NAME" (under H1, port 3) or "unplug NAME"
    NTSTATUS first;
    NTSTATUS second;
    std::vector<std::string> sent;
};

// The tree changes while a call runs: between the count and the listing, or between the
// listing and the sends. Devices the snapshot does not hold wait for the next call; a device
// gone by its turn is skipped. A walk over more entries than the snapshot holds reads past
// its block, which the sanitizer build reports.
const RaceCase kRaces[] = {
    {"added before the listing",
     TraceChargeDeviceCount,
     "plug PAD2",
     STATUS_SUCCESS,
     STATUS_SUCCESS,
     {Sent("PAD", kHigh), Sent("PAD2", kLow)}},
    {"removed before the listing",
     TraceChargeDeviceCount,
     "unplug PAD",
     STATUS_UNSUCCESSFUL,
     STATUS_UNSUCCESSFUL,
     {}},
    {"removed before its send",
     TraceChargeTabletCount,
     "unplug PAD",
     STATUS_UNSUCCESSFUL,
     STATUS_UNSUCCESSFUL,
     {}},
};

TEST(Charging, DevicesComingAndGoingDuringACall) {
    for (const RaceCase& c : kRaces) {
        for (uint64_t seed = 0; seed < 4; ++seed) {
            Charging charging = RunCharging(
            VEXA_HUB MODE(2) "\ndevice PAD vid=05AC pid=12AB\n"
                     "device PAD2 vid=05AC pid=12A0\n" HUB_PLUGGED "plug PAD H1:2\n",
            [&](sim::Machine& machine, std::vector<NTSTATUS>& statuses) {
                const std::string trigger = "charge." + std::to_string(c.trace);
                const std::string change = c.change;
                bool armed = true;
                // The log calls back for every event, also those of the change itself.
                machine.log.on_event = [&](const sim::Event& event) {
                    if (!armed || event.category != "trace" ||
                        event.text.rfind(trigger + " ", 0) != 0) {
                        return;
                    }
                    armed = false;
                    if (change.rfind("plug ", 0) == 0) {
                        machine.pnp->Plug(machine.usb->Find(change.substr(5)),
                                          machine.usb->Find("H1"), 3);
                    } else {
                        machine.pnp->Unplug(machine.usb->Find(change.substr(7)));
                    }
                };
                statuses.push_back(EnableTabCharging(FALSE));
                EXPECT_FALSE(armed) << c.name << ": the trace point was not reached";
                machine.log.on_event = nullptr;
                statuses.push_back(EnableTabCharging(FALSE));
            },
            seed);
            EXPECT_RUN_OK(charging.run);
            EXPECT_EQ(charging.statuses, (std::vector<NTSTATUS>{c.first, c.second}))
                << c.name << "\n"
                << charging.run.Reproduce();
            EXPECT_TRUE(SameSequence(charging.sent, c.sent)) << c.name << ", seed " << seed;
            EXPECT_TRUE(NothingLeft(charging)) << c.name << ", seed " << seed;
        }
    }
}

}  // namespace
