// Tracing: the route follows what the kernel exports, messages decode with their
// arguments, and the provider is unregistered the way it was registered.
#include "support/sim_test.h"

namespace {

using support::Ioctl;
using support::Le32;
using support::RunScenario;
using support::SameSequence;

struct RouteCase {
    const char* kernel;  // the scenario's kernel line
    const char* route;
};

const RouteCase kRoutes[] = {
    {"", "etw"},
    {"kernel version=5.1", "wmi"},
    {"kernel without=EtwRegisterClassicProvider", "wmi"},
    {"kernel without=EtwUnregister", "wmi"},
    {"kernel without=PsGetVersion", "wmi"},
    {"kernel without=WmiTraceMessage", "wdf"},
    {"kernel version=5.1 without=WmiTraceMessage", "wdf"},
};

TEST(Trace, RouteFollowsTheKernelAndMessagesDecode) {
    for (const RouteCase& c : kRoutes) {
        auto run = RunScenario(std::string(c.kernel) +
                               "\ncontroller C1\ndevice PAD vid=05AC pid=12AB\n"
                               "load\nplug PAD C1:1\nunplug PAD\nunload\n");
        EXPECT_RUN_OK(run);
        std::string route = c.route;
        EXPECT_TRUE(SameSequence(run.Lines("kernel"), {"trace provider registered via=" + route,
                                                       "trace provider unregistered via=" + route}))
            << c.kernel;
        auto traces = run.Lines("trace");
        ASSERT_FALSE(traces.empty()) << c.kernel;
        EXPECT_EQ(traces.front(), "entry." + std::to_string(TraceEntryLoad)) << c.kernel;
        EXPECT_NE(std::find(traces.begin(), traces.end(),
                            "entry." + std::to_string(TraceEntryDeviceAdded) + " 1"),
                  traces.end())
            << c.kernel;
        EXPECT_NE(std::find(traces.begin(), traces.end(),
                            "entry." + std::to_string(TraceEntryStackDevices) + " PAD.fdo PAD.pdo"),
                  traces.end())
            << c.kernel;
        EXPECT_EQ(run.result.pool_outstanding, 0u) << c.kernel;
    }
}

TEST(Trace, NothingIsWrittenWithoutASession) {
    ampsim::ScenarioRunner runner("controller C1\nload\n");
    bool checked = false;
    runner.Run(0, nullptr, [&](sim::Machine& machine) {
        checked = true;
        machine.kernel.trace.active = false;
        machine.pnp->UnloadDriver();
        size_t before = machine.log.Texts("trace").size();
        machine.pnp->LoadDriver(DriverEntry);
        EXPECT_EQ(machine.log.Texts("trace").size(), before);
    });
    EXPECT_TRUE(checked);
}

// Special strings and the larger event of the framework route.
TEST(Trace, ArgumentsOfEveryKind) {
    for (const char* kernel : {"", "kernel without=WmiTraceMessage"}) {
        ampsim::ScenarioRunner runner(std::string(kernel) + "\ncontroller C1\nload\n");
        std::vector<std::string> traces;
        size_t pool_after = 1;
        runner.Run(0, nullptr, [&](sim::Machine& machine) {
            size_t before = machine.log.Texts("trace").size();
            TraceWrite(TraceGroupCharge, 90, "swwxp", NULL, L"", NULL, (ULONG)0xC0000001,
                       (PVOID)NULL);
            TraceWrite(TraceGroupSpeaker, 91, "uuuuuuuuu", 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u);
            auto all = machine.log.Texts("trace");
            traces.assign(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
            pool_after = machine.kernel.pool.outstanding_bytes();
        });
        EXPECT_TRUE(SameSequence(traces, {"charge.90 \"NULL\" \"<NULL>\" \"NULL\" 0xc0000001 NULL",
                                          "speaker.91 1 2 3 4 5 6 7 8 9"}))
            << kernel;
        EXPECT_EQ(pool_after, 0u) << kernel;
    }
}

// What the trace points record: device add's entry, a topology address that cannot be read
// at start, the data byte inside a record whose wLength is 0, and the capacity asked for.
TEST(Trace, PointsRecordWhatTheRequestHeld) {
    std::vector<std::string> traces;
    auto run = RunScenario(
        "controller C1\nhub H1 vid=2E7B pid=0610\ndevice PAD vid=05AC pid=12AB\nload\n"
        "plug H1 C1:1\n",
        0, [&](sim::Machine& machine) {
            sim::UsbNode* pad = machine.usb->Find("PAD");
            pad->behaviour.no_topology = true;
            machine.pnp->Plug(pad, machine.usb->HubOf("C1"), 2);
            // The tray's 17-byte port command: wLength 0, one byte after the header.
            std::vector<uint8_t> command = Le32({0, 1});
            support::AppendLe16(&command, {0x7443, 2, 1, 0});
            command.push_back(0x5A);
            Ioctl(VEXA_IOCTL_HUB_PORT_COMMAND, command, command.size());
            std::vector<uint8_t> query = Le32({0, 2, 600});
            Ioctl(VEXA_IOCTL_GET_SERIAL_STRING, query, 12 + 600);
            traces = machine.log.Texts("trace");
        });
    EXPECT_RUN_OK(run);
    const std::string kExpected[] = {
        "entry." + std::to_string(TraceEntryDeviceAddCallback) + " \"FilterEvtDeviceAdd\"",
        "pnp." + std::to_string(TracePnpTopologyReadFailed) + " 0xc00000bb",
        "control." + std::to_string(TraceControlTransfer) + " 1 0x0000005a",
        "control." + std::to_string(TraceControlFieldCopied) + " 600",
    };
    for (const std::string& line : kExpected) {
        EXPECT_NE(std::find(traces.begin(), traces.end(), line), traces.end()) << line;
    }
}

}  // namespace
