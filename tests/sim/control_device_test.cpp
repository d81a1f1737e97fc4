// The framework stand-in's control devices, queues and requests, and the user-mode channel,
// driven by a small driver of the test's own that can be told to misbehave.
#include "support/sim_test.h"

namespace {

using support::RunScenario;

// KMDF 1.9's queue configuration on x64: eight callback pointers, then the Settings union
// that a driver built against 1.9 passes in its Size.
static_assert(offsetof(WDF_IO_QUEUE_CONFIG, Settings) == 80 && sizeof(WDF_IO_QUEUE_CONFIG) == 88,
              "WDF_IO_QUEUE_CONFIG must have its KMDF 1.9 layout");

enum class Handler { kEcho, kCompleteTwice, kNeverComplete, kOverreport };

struct TestDriver {
    Handler handler = Handler::kEcho;
    bool exclusive = false;
    bool finish = true;
    // What the handler saw of the buffers.
    NTSTATUS input_status = 0;
    NTSTATUS output_status = 0;
    PVOID input = nullptr;
    PVOID output = nullptr;
    WDFDEVICE control = nullptr;
} g_driver;

NTSTATUS TestDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT) {
    return STATUS_SUCCESS;
}

// Echoes the input into the output, reporting as many bytes as both hold.
VOID TestIoDeviceControl(WDFQUEUE, WDFREQUEST Request, size_t OutputLength, size_t InputLength,
                         ULONG) {
    g_driver.input_status =
        WdfRequestRetrieveInputBuffer(Request, InputLength, &g_driver.input, NULL);
    g_driver.output_status =
        WdfRequestRetrieveOutputBuffer(Request, OutputLength, &g_driver.output, NULL);
    size_t reported = InputLength < OutputLength ? InputLength : OutputLength;
    switch (g_driver.handler) {
        case Handler::kEcho:
            WdfRequestCompleteWithInformation(Request, STATUS_SUCCESS, reported);
            break;
        case Handler::kCompleteTwice:
            WdfRequestComplete(Request, STATUS_SUCCESS);
            WdfRequestComplete(Request, STATUS_SUCCESS);
            break;
        case Handler::kNeverComplete:
            break;
        case Handler::kOverreport:
            WdfRequestCompleteWithInformation(Request, STATUS_SUCCESS, OutputLength + 1);
            break;
    }
}

NTSTATUS CreateNamedControlDevice(WDFDRIVER driver, WDFDEVICE* device) {
    UNICODE_STRING sddl;
    UNICODE_STRING name;
    UNICODE_STRING link;
    RtlInitUnicodeString(&sddl, L"D:P(A;;GA;;;SY)");
    RtlInitUnicodeString(&name, L"\\Device\\testctl");
    RtlInitUnicodeString(&link, L"\\DosDevices\\testctl");
    PWDFDEVICE_INIT init = WdfControlDeviceInitAllocate(driver, &sddl);
    WdfDeviceInitSetExclusive(init, g_driver.exclusive);
    WdfDeviceInitAssignName(init, &name);
    NTSTATUS status = WdfDeviceCreate(&init, WDF_NO_OBJECT_ATTRIBUTES, device);
    if (!NT_SUCCESS(status)) {
        WdfDeviceInitFree(init);
        return status;
    }
    WdfDeviceCreateSymbolicLink(*device, &link);
    WDF_IO_QUEUE_CONFIG queue;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queue, WdfIoQueueDispatchSequential);
    queue.EvtIoDeviceControl = TestIoDeviceControl;
    WdfIoQueueCreate(*device, &queue, WDF_NO_OBJECT_ATTRIBUTES, WDF_NO_HANDLE);
    if (g_driver.finish) {
        WdfControlFinishInitializing(*device);
    }
    return STATUS_SUCCESS;
}

NTSTATUS TestDriverEntry(PDRIVER_OBJECT driver_object, PUNICODE_STRING registry_path) {
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, TestDeviceAdd);
    WDFDRIVER driver;
    NTSTATUS status =
        WdfDriverCreate(driver_object, registry_path, WDF_NO_OBJECT_ATTRIBUTES, &config, &driver);
    return NT_SUCCESS(status) ? CreateNamedControlDevice(driver, &g_driver.control) : status;
}

// Loads the test driver on a bare PC and runs `body` on the scenario's thread.
support::ScenarioRun RunWithTestDriver(TestDriver setup,
                                       const std::function<void(sim::Machine&)>& body) {
    g_driver = setup;
    return RunScenario("controller C1\n", 0, [&](sim::Machine& machine) {
        machine.pnp->LoadDriver(TestDriverEntry);
        body(machine);
        machine.pnp->UnloadDriver();
    });
}

TEST(ControlDevice, BufferedRequestSharesOneSystemBuffer) {
    std::vector<uint8_t> output(8, 0xEE);
    sim::IoResult result;
    auto run = RunWithTestDriver({}, [&](sim::Machine& machine) {
        sim::UserHandle handle = 0;
        ASSERT_EQ(machine.user_io.Open("\\\\.\\TESTCTL", &handle), STATUS_SUCCESS);
        const uint8_t input[4] = {1, 2, 3, 4};
        result = machine.user_io.DeviceControl(handle, 0x222000, input, 4, output.data(), 8);
        machine.user_io.Close(handle);
    });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.information, 4u);
    EXPECT_EQ(g_driver.input, g_driver.output);
    EXPECT_EQ(output, (std::vector<uint8_t>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}))
        << "exactly the reported bytes come back";
    EXPECT_EQ(run.result.pool_outstanding, 0u);
}

TEST(ControlDevice, EmptyBuffersAreTooSmall) {
    auto run = RunWithTestDriver({}, [&](sim::Machine& machine) {
        sim::UserHandle handle = 0;
        machine.user_io.Open("\\\\.\\testctl", &handle);
        machine.user_io.DeviceControl(handle, 0x222000, nullptr, 0, nullptr, 0);
        machine.user_io.Close(handle);
    });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(g_driver.input_status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(g_driver.output_status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(g_driver.input, nullptr);
}

struct OpenCase {
    const char* what;
    TestDriver setup;
    const char* path;
    int handles;  // opened one after the other
    NTSTATUS last;
};

TEST(ControlDevice, OpensFollowTheNamespaceAndTheDeviceState) {
    const OpenCase cases[] = {
        {"through the link", {}, "\\\\.\\testctl", 1, STATUS_SUCCESS},
        {"by its device name", {}, "\\Device\\testctl", 1, STATUS_SUCCESS},
        {"a name nobody has", {}, "\\\\.\\other", 1, STATUS_OBJECT_NAME_NOT_FOUND},
        {"shared", {}, "\\\\.\\testctl", 2, STATUS_SUCCESS},
        {"exclusive", {.exclusive = true}, "\\\\.\\testctl", 2, STATUS_ACCESS_DENIED},
        {"still initializing", {.finish = false}, "\\\\.\\testctl", 1, STATUS_NO_SUCH_DEVICE},
    };
    for (const OpenCase& c : cases) {
        NTSTATUS last = STATUS_SUCCESS;
        auto run = RunWithTestDriver(c.setup, [&](sim::Machine& machine) {
            std::vector<sim::UserHandle> handles(c.handles);
            for (sim::UserHandle& handle : handles) {
                last = machine.user_io.Open(c.path, &handle);
            }
            for (sim::UserHandle handle : handles) {
                machine.user_io.Close(handle);
            }
        });
        EXPECT_RUN_OK(run) << c.what;
        EXPECT_EQ(static_cast<uint32_t>(last), static_cast<uint32_t>(c.last)) << c.what;
    }
}

TEST(ControlDevice, ASecondDeviceOfTheSameNameCollides) {
    NTSTATUS second = STATUS_SUCCESS;
    auto run = RunWithTestDriver({}, [&](sim::Machine&) {
        WDFDEVICE device;
        second = CreateNamedControlDevice(
            reinterpret_cast<WDFDRIVER>(sim::HandleOf(sim::CurrentKmdf().driver)), &device);
    });
    EXPECT_RUN_OK(run);
    EXPECT_EQ(second, STATUS_OBJECT_NAME_COLLISION);
}

struct MisbehaviourCase {
    Handler handler;
    sim::RunOutcome::Kind outcome;
    const char* report;
};

TEST(ControlDevice, RequestsCompletedTwiceNeverOrOverreportedAreCaught) {
    const MisbehaviourCase cases[] = {
        {Handler::kCompleteTwice, sim::RunOutcome::kBugCheck, "WDFREQUEST that was freed"},
        {Handler::kNeverComplete, sim::RunOutcome::kDeadlock, "its requests to complete"},
        {Handler::kOverreport, sim::RunOutcome::kBugCheck, "reports 5 bytes for an output buffer"},
    };
    for (const MisbehaviourCase& c : cases) {
        auto run = RunWithTestDriver({.handler = c.handler}, [&](sim::Machine& machine) {
            sim::UserHandle handle = 0;
            machine.user_io.Open("\\\\.\\testctl", &handle);
            uint8_t buffer[4] = {};
            machine.scheduler.Spawn("client", [&machine, handle, &buffer] {
                machine.user_io.DeviceControl(handle, 0x222000, buffer, 4, buffer, 4);
            });
            machine.scheduler.SleepFor(sim::kTicksPerMs, "the client");
            // The open handle keeps the driver loaded; its close lets the unload begin.
            machine.pnp->UnloadDriver();
            machine.user_io.Close(handle);
        });
        EXPECT_EQ(run.result.outcome.kind, c.outcome) << run.result.outcome.report;
        EXPECT_NE(run.result.outcome.report.find(c.report), std::string::npos)
            << run.result.outcome.report;
    }
}

}  // namespace
