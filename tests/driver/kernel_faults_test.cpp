// Kernel and framework calls that Windows lets fail, failed on request: the driver carries
// on as its design says, and nothing it took (pool, key handles, object references,
// framework objects) outlives the driver.
#include "support/sim_test.h"

namespace {

using support::Ioctl;
using support::IoctlReply;
using support::Le32;
using support::RunScenario;

const std::string kPad = "controller C1\ndevice PAD vid=05AC pid=12AB serial=DM\nload\n";

// Nothing the driver took is left once it has unloaded.
::testing::AssertionResult NothingLeft(const support::ScenarioRun& run) {
    const ampsim::RunResult& result = run.result;
    size_t objects = run.machine().kmdf->live_objects();
    if (result.pool_outstanding == 0 && result.handles_open == 0 &&
        result.objects_referenced == 0 && objects == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "left after unload: pool bytes " << result.pool_outstanding << ", handles "
           << result.handles_open << ", referenced objects " << result.objects_referenced
           << ", framework objects " << objects;
}

struct StartFaultCase {
    const char* fault;     // scenario line armed before the device is plugged
    const char* instance;  // the instance ID the device then has
    UCHAR serial;          // and the first byte of its serial string
};

// Reads at start are tolerated one by one: a failing call empties only its own field.
TEST(KernelFaults, ReadsAtStartFailAloneAndLeaveNothing) {
    const StartFaultCase cases[] = {
        {"", "DM", 'D'},
        {"fail device-key PAD", "", 'D'},
        {"fail ob-reference", "", 'D'},
        {"fail query-name", "", 'D'},
        {"fail pool Tabv count=always", "", 'D'},
        {"fail usb-string PAD", "DM", 0},
        {"fail irp-build count=always", "DM", 'D'},
    };
    for (const StartFaultCase& c : cases) {
        PFILTER_EXTENSION device = nullptr;
        std::string instance;
        UCHAR serial = 0xFF;
        auto run = RunScenario(kPad + c.fault + "\nplug PAD C1:1\n", 0, [&](sim::Machine& machine) {
            machine.faults = sim::Faults();
            WdfWaitLockAcquire(FilterDevicesLock, NULL);
            device = FilterGetData(WdfCollectionGetItem(FilterDevices, 0));
            instance = reinterpret_cast<const char*>(device->InstanceId);
            serial = device->SerialNumber[0];
            WdfWaitLockRelease(FilterDevicesLock);
            machine.pnp->UnloadDriver();
        });
        EXPECT_RUN_OK(run);
        EXPECT_EQ(instance, c.instance) << c.fault;
        EXPECT_EQ(serial, c.serial) << c.fault;
        EXPECT_TRUE(NothingLeft(run)) << c.fault;
    }
}

struct RequestFaultCase {
    sim::Fault fault;
    uint32_t code;
    std::vector<uint8_t> input;
    size_t output_length;
};

// A buffer the framework cannot hand over fails the request with its status and no bytes.
TEST(KernelFaults, UnretrievableBuffersFailTheRequest) {
    const RequestFaultCase cases[] = {
        {sim::Fault::kRequestOutput, VEXA_IOCTL_GET_DEVICE_NUM, {}, 23},
        {sim::Fault::kRequestOutput, VEXA_IOCTL_ENUM_DEVICES, {}, 23},
        {sim::Fault::kRequestInput, VEXA_IOCTL_ENABLE_TAB_CHARGING, {1}, 0},
        {sim::Fault::kRequestInput, VEXA_IOCTL_BEEP_ON, Le32({1193}), 4},
        {sim::Fault::kRequestInput, VEXA_IOCTL_GET_SERIAL_STRING, Le32({0, 1, 512}), 524},
        {sim::Fault::kRequestOutput, VEXA_IOCTL_GET_SERIAL_STRING, Le32({0, 1, 512}), 524},
        {sim::Fault::kRequestInput, VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Le32({0, 1}), 32},
        {sim::Fault::kRequestOutput, VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, Le32({0, 1}), 32},
    };
    std::vector<IoctlReply> replies;
    auto run = RunScenario(kPad + "plug PAD C1:1\n", 0, [&](sim::Machine& machine) {
        for (const RequestFaultCase& c : cases) {
            machine.faults.Arm(c.fault);
            replies.push_back(Ioctl(c.code, c.input, c.output_length));
            machine.faults.Disarm(c.fault);
        }
        machine.pnp->UnloadDriver();
    });
    EXPECT_RUN_OK(run);
    ASSERT_EQ(replies.size(), std::size(cases));
    for (size_t i = 0; i < replies.size(); ++i) {
        EXPECT_EQ(static_cast<uint32_t>(replies[i].status), STATUS_INSUFFICIENT_RESOURCES)
            << sim::FaultName(cases[i].fault) << " " << std::hex << cases[i].code;
        EXPECT_EQ(replies[i].information, 0u) << std::hex << cases[i].code;
    }
    EXPECT_TRUE(NothingLeft(run));
}

// The control device's name cannot be assigned: the load fails and leaves nothing.
TEST(KernelFaults, UnassignableControlDeviceNameFailsTheLoad) {
    auto run = RunScenario("controller C1\nfail assign-name\nload\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(support::SameSequence(run.Lines("pnp"), {"driver load-failed status=0xc000009a"}));
    EXPECT_TRUE(NothingLeft(run));
}

}  // namespace
