// Driver entry, device add, handles, cleanup and power callbacks, end to end on the PC.
#include "support/sim_test.h"

#include "kmdf/kmdf.h"

namespace {

using support::ListedDevices;
using support::RunScenario;
using support::SameSequence;

const std::string kHardware =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4\n"
    "device PAD vid=05AC pid=12AB\n"
    "device TAB vid=04E8 pid=6860\n"
    "device KEY vid=0781 pid=5567 compatid=USB\\Class_08&SubClass_06&Prot_50\n";

TEST(Lifecycle, HandlesCountUpAndAreNeverReused) {
    std::vector<support::ListedDevice> listed;
    ULONG serial = 0;
    auto run =
        RunScenario(kHardware + "load\nplug H1 C1:1\nplug PAD H1:1\nunplug PAD\nplug TAB H1:2\n", 0,
                    [&](sim::Machine&) {
                        listed = ListedDevices();
                        serial = static_cast<ULONG>(DeviceSerial);
                    });
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(
        SameSequence(run.Lines("pnp"),
                     {"driver loaded", "C1 not-filtered", "C1.root not-filtered",
                      "H1 attached handle=1", "H1 started", "PAD attached handle=2", "PAD started",
                      "PAD removed", "PAD unplugged", "TAB attached handle=3", "TAB started"}));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].handle, 1u);
    EXPECT_EQ(listed[1].handle, 3u);
    EXPECT_EQ(serial, 4u);
}

TEST(Lifecycle, RejectedDeviceConsumesNoHandle) {
    size_t count = 0;
    ULONG serial = 0;
    auto run =
        RunScenario(kHardware + "load\nplug KEY C1:2\nplug PAD C1:3\n", 0, [&](sim::Machine&) {
            count = ListedDevices().size();
            serial = static_cast<ULONG>(DeviceSerial);
        });
    EXPECT_RUN_OK(run);
    auto lines = run.Lines("pnp");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "KEY not-filtered"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PAD attached handle=1"), lines.end());
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(serial, 2u);
}

TEST(Lifecycle, ContainerIdIsUpperCaseOrEmptyWhenUnreadable) {
    std::vector<support::ListedDevice> listed;
    auto run = RunScenario(kHardware +
                               "device BLANK vid=05AC pid=12A0 nocontainerid\n"
                               "load\nplug PAD C1:1\nplug BLANK C1:2\n",
                           0, [&](sim::Machine&) { listed = ListedDevices(); });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(listed.size(), 2u);
    const std::string& id = listed[0].container_id;
    EXPECT_EQ(id.size(), 38u) << id;
    EXPECT_EQ(id.front(), '{');
    EXPECT_EQ(id.find_first_of("abcdef"), std::string::npos) << id;
    EXPECT_EQ(listed[1].container_id, "");
}

// A device whose collection add failed is filtered but unlisted; its removal must neither
// unlist another device nor delete the configuration while a listed device remains.
TEST(Lifecycle, UnlistedDeviceRemovalIsHarmless) {
    std::vector<support::ListedDevice> listed;
    bool present = false;
    auto run = RunScenario(kHardware +
                               "load\nfail collection-add\nplug PAD C1:1\n"
                               "plug TAB C1:2\nunplug PAD\n",
                           0, [&](sim::Machine&) {
                               listed = ListedDevices();
                               present = FilterGetControlExtension() != NULL;
                           });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].handle, 2u);
    EXPECT_TRUE(present);
}

TEST(Lifecycle, ResumeClearsChargeSentAndEveryPowerIrpIsPreprocessed) {
    std::vector<support::ListedDevice> listed;
    int started_before = 0;
    auto run = RunScenario(kHardware + "load\nplug PAD C1:1\n", 0, [&](sim::Machine& machine) {
        started_before = machine.kernel.power_irps_started;
        WdfWaitLockAcquire(FilterDevicesLock, NULL);
        FilterGetData(WdfCollectionGetItem(FilterDevices, 0))->ChargeSent = 1;
        WdfWaitLockRelease(FilterDevicesLock);
        machine.pnp->Suspend();
        machine.pnp->Resume();
        listed = ListedDevices();
    });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].charge_sent, 0);
    // Start: one D-IRP. Suspend and resume: an S-IRP and a D-IRP each.
    EXPECT_EQ(started_before, 1);
    EXPECT_EQ(run.machine().kernel.power_irps_started, 5);
    std::string exit_trace = "pnp." + std::to_string(TracePnpD0ExitTarget);
    auto traces = run.Lines("trace");
    EXPECT_NE(std::find(traces.begin(), traces.end(),
                        exit_trace + " " + std::to_string(WdfPowerDeviceD3)),
              traces.end());
}

TEST(Lifecycle, UnplugRunsExitReleaseAndCleanupInOrder) {
    auto run = RunScenario(kHardware + "load\nplug PAD C1:1\nunplug PAD\n");
    EXPECT_RUN_OK(run);
    std::vector<std::string> callbacks;
    for (const std::string& line : run.Lines("trace")) {
        if (line.rfind("pnp." + std::to_string(TracePnpCallback) + " ", 0) == 0 ||
            line.rfind("pnp." + std::to_string(TracePnpD0ExitTarget) + " ", 0) == 0 ||
            line == "entry." + std::to_string(TraceEntryCleanup)) {
            callbacks.push_back(
                line.substr(line.find(' ') == std::string::npos ? 0 : line.find(' ') + 1));
        }
    }
    std::vector<std::string> tail(callbacks.end() - 5, callbacks.end());
    EXPECT_TRUE(SameSequence(
        tail, {"\"FilterEvtDeviceD0Entry\"", "\"FilterEvtDeviceD0Exit\"",
               std::to_string(WdfPowerDeviceD3Final), "\"FilterEvtDeviceReleaseHardware\"",
               "entry." + std::to_string(TraceEntryCleanup)}));
}

TEST(Lifecycle, UnloadLeavesNoPoolAndNoFrameworkObjects) {
    auto run = RunScenario(kHardware +
                           "load\nplug H1 C1:1\nplug PAD H1:1\nplug TAB H1:2\n"
                           "suspend\nresume\nunplug PAD\nunload\n");
    EXPECT_RUN_OK(run);
    EXPECT_EQ(run.result.pool_outstanding, 0u);
    EXPECT_EQ(run.machine().kmdf->live_objects(), 0u);
    EXPECT_EQ(run.machine().kernel.handles.open_count(), 0u);
}

// Whatever step of the entry fails, the load fails with its status, the trace provider is
// unregistered and nothing is left behind.
TEST(Lifecycle, FailedEntryUndoesTracingAndLeavesNothing) {
    for (const char* fault :
         {"driver-create", "collection-create", "waitlock-create", "control-init",
          "device-create control", "symbolic-link", "queue-create"}) {
        auto run = RunScenario(kHardware + "fail " + fault + "\nload\nplug PAD C1:1\n");
        EXPECT_RUN_OK(run);
        EXPECT_TRUE(SameSequence(run.Lines("pnp"), {"driver load-failed status=0xc000009a"}))
            << fault;
        EXPECT_TRUE(SameSequence(run.Lines("kernel"), {"trace provider registered via=etw",
                                                       "trace provider unregistered via=etw"}))
            << fault;
        EXPECT_EQ(run.machine().kmdf->live_objects(), 0u) << fault;
        EXPECT_EQ(run.result.pool_outstanding, 0u) << fault;
        EXPECT_EQ(run.machine().kernel.names.Resolve(VEXA_USER_DEVICE_PATH), nullptr) << fault;
    }
}

TEST(Lifecycle, DeviceCreateFailureFailsOnlyThatStack) {
    auto run = RunScenario(kHardware +
                           "load\nfail device-create PAD\nplug PAD C1:1\n"
                           "plug TAB C1:2\n");
    EXPECT_RUN_OK(run);
    auto lines = run.Lines("pnp");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "PAD add-failed status=0xc000009a"),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "TAB attached handle=1"), lines.end());
}

}  // namespace
