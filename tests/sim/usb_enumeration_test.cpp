// Enumeration below hubs as Windows' hub driver does it: nothing below a hub without a
// working stack, and no hub beyond USB's tier limit of five external hubs.
#include "support/sim_test.h"

namespace {

using support::RunScenario;
using support::SameSequence;

TEST(UsbEnumeration, NothingBelowAHubWhoseAddFailed) {
    auto run = RunScenario(
        "controller C1\nhub H1 vid=2E7B pid=0610\ndevice PAD vid=05AC pid=12AB\n"
        "load\nfail device-create H1\nplug H1 C1:1\nplug PAD H1:1\n"
        "unplug H1\nplug PAD C1:2\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(SameSequence(
        run.Lines("pnp"), {"driver loaded", "C1 not-filtered", "C1.root not-filtered",
                           "H1 add-failed status=0xc000009a", "PAD not-enumerated hub-not-started",
                           "H1 unplugged", "PAD attached handle=1", "PAD started"}));
}

// Five hubs chain below the root hub and a device works on the fifth; a sixth hub would sit
// on the last tier with nothing possible below it, so it and what hangs on it stay dark.
TEST(UsbEnumeration, HubsStopAtTheTierLimit) {
    std::string text =
        "controller C1\ndevice PAD vid=05AC pid=12AB\ndevice TAB vid=04E8 pid=6860\n";
    for (int hub = 1; hub <= 6; ++hub) {
        text += "hub H" + std::to_string(hub) + " vid=2E7B pid=0610\n";
    }
    text += "load\nplug H1 C1:1\n";
    for (int hub = 2; hub <= 6; ++hub) {
        text += "plug H" + std::to_string(hub) + " H" + std::to_string(hub - 1) + ":1\n";
    }
    text += "plug PAD H5:2\nplug TAB H6:1\n";
    UCHAR topology[32] = {};
    ULONG serial = 0;
    auto run = RunScenario(text, 0,
                           [&](sim::Machine&) { QueryFilterDeviceTopoAddr(&serial, 6, topology); });
    EXPECT_RUN_OK(run);
    std::vector<std::string> expected = {"driver loaded", "C1 not-filtered",
                                         "C1.root not-filtered"};
    for (int hub = 1; hub <= 5; ++hub) {
        std::string name = "H" + std::to_string(hub);
        expected.push_back(name + " attached handle=" + std::to_string(hub));
        expected.push_back(name + " started");
    }
    expected.insert(expected.end(),
                    {"H6 not-enumerated hub-nested-too-deeply", "PAD attached handle=6",
                     "PAD started", "TAB not-enumerated hub-not-started"});
    EXPECT_TRUE(SameSequence(run.Lines("pnp"), expected));
    // Root port 1, then the ports of hubs 1 to 5.
    const UCHAR expected_ports[12] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 2, 0};
    EXPECT_EQ(0, memcmp(topology + 20, expected_ports, sizeof expected_ports));
}

}  // namespace

namespace {

// SetupAPI's disable goes through the PnP manager: the stacks go, hub last; the flag stays
// with the device, so plugging it in again builds nothing until it is enabled.
TEST(UsbEnumeration, ADisabledHubStaysDisabledWhenPluggedInAgain) {
    auto run = RunScenario(
        "controller C1\nhub H1 vid=2E7B pid=0610\ndevice TAB vid=04E8 pid=6860\n"
        "load\nplug H1 C1:1\nplug TAB H1:1\n",
        0, [](sim::Machine& machine) {
            sim::UsbNode* hub = machine.usb->Find("H1");
            machine.Log("pnp", "-- disable");
            machine.pnp->Disable(hub);
            machine.pnp->Unplug(hub);
            machine.pnp->Plug(hub, machine.usb->HubOf("C1"), 1);
            machine.pnp->Enable(hub);
        });
    EXPECT_RUN_OK(run);
    std::vector<std::string> pnp = run.Lines("pnp");
    pnp.erase(pnp.begin(), std::find(pnp.begin(), pnp.end(), "-- disable"));
    EXPECT_TRUE(SameSequence(
        pnp, {"-- disable", "TAB removed", "H1 removed", "H1 disabled", "driver unloaded",
              "TAB not-enumerated hub-not-started", "H1 enabled", "driver loaded",
              "H1 attached handle=1", "H1 started", "TAB attached handle=2", "TAB started"}));
}

}  // namespace
