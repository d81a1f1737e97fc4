// ampsim's scenarios as they run: what a command does on the machine, lines run beside
// others with '&', and the report over many seeds.
#include <regex>
#include <set>
#include <sstream>

#include "ampsim/report.h"
#include "support/sim_test.h"

namespace {

using support::RunScenario;
using support::SameSequence;

const char* const kHubAndPad =
    "controller C1 ports=2\nhub H1 vid=2E7B pid=0610 bcdusb=0210 ports=2\n"
    "device PAD vid=05AC pid=12AB latency=1ms\n";

struct LoadCase {
    const char* lines;
    std::vector<std::string> pnp;
};

// Whether a load that a fault may break did load is known only when it runs: a failed load
// leaves the driver unloaded, so the next load really loads it, and a load or unload that
// finds nothing to do says so.
const LoadCase kLoads[] = {
    {"fail control-init\nload\nload\nunload\n",
     {"driver load-failed status=0xc000009a", "driver loaded", "C1 not-filtered",
      "C1.root not-filtered", "driver unloaded"}},
    {"fail control-init skip=1\nload\nload\nunload\n",
     {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "driver already loaded",
      "driver unloaded"}},
    {"fail control-init\nload\nunload\n",
     {"driver load-failed status=0xc000009a", "driver not loaded"}},
};

TEST(AmpsimRun, LoadsThatMayFail) {
    for (const LoadCase& c : kLoads) {
        auto run = RunScenario(std::string("controller C1\n") + c.lines);
        EXPECT_RUN_OK(run);
        EXPECT_TRUE(SameSequence(run.Lines("pnp"), c.pnp)) << c.lines;
    }
}

struct WithoutCase {
    const char* kernel_lines;
    const char* route;
};

// Each without= list replaces the one before; an empty one exports everything again.
const WithoutCase kWithout[] = {
    {"kernel without=WmiTraceMessage\n", "wdf"},
    {"kernel without=WmiTraceMessage\nkernel without=EtwUnregister\n", "wmi"},
    {"kernel without=WmiTraceMessage\nkernel without=\n", "etw"},
    {"kernel without=WmiTraceMessage\nkernel version=6.1\n", "wdf"},
    {"kernel without=EtwUnregister|WmiTraceMessage\n", "wdf"},
};

TEST(AmpsimRun, WithoutListsReplaceEachOther) {
    for (const WithoutCase& c : kWithout) {
        auto run = RunScenario(std::string(c.kernel_lines) + "controller C1\nload\n");
        EXPECT_RUN_OK(run);
        EXPECT_TRUE(SameSequence(run.Lines("kernel"),
                                 {std::string("trace provider registered via=") + c.route}))
            << c.kernel_lines;
    }
}

// A device the driver turned away still says that it left.
TEST(AmpsimRun, UnplugIsReportedForEveryDevice) {
    auto run = RunScenario(std::string(kHubAndPad) +
                           "device KEY vid=0781 pid=5567 compatid=USB\\Class_08&SubClass_06\n"
                           "load\nplug KEY C1:2\nplug H1 C1:1\nplug PAD H1:1\nunplug KEY\n"
                           "unplug H1\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(SameSequence(
        run.Lines("pnp"),
        {"driver loaded", "C1 not-filtered", "C1.root not-filtered", "KEY not-filtered",
         "H1 attached handle=1", "H1 started", "PAD attached handle=2", "PAD started",
         "KEY unplugged", "PAD removed", "H1 removed", "driver unloaded", "H1 unplugged"}));
}

// Records a person would otherwise decode by hand get a line of their fields.
TEST(AmpsimRun, RepliesAreDecoded) {
    auto run = RunScenario(std::string(kHubAndPad) +
                           "load\nplug H1 C1:2\nplug PAD H1:1\n"
                           "ioctl VEXA_IOCTL_HUB_PORT_COMMAND "
                           "in=0000000001000000437402000100000000 out=17\n"
                           "ioctl VEXA_IOCTL_GET_TOPOLOGY_ADDRESS in=0000000002000000 out=32\n"
                           "ioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\n"
                           "ioctl VEXA_IOCTL_GET_DEVICE_NUM out=2\n");
    EXPECT_RUN_OK(run);
    EXPECT_TRUE(SameSequence(
        run.Lines("ioctl"),
        {"VEXA_IOCTL_HUB_PORT_COMMAND -> status=0x00000000 info=17 "
         "out=0300000001000000437402000100000000",
         "VEXA_IOCTL_HUB_PORT_COMMAND decoded serial=3 handle=1 bmRequestType=0x43 "
         "bRequest=0x74 wValue=2 wIndex=1 wLength=0",
         "VEXA_IOCTL_GET_TOPOLOGY_ADDRESS -> status=0x00000000 info=32 "
         "out=0300000000000000000000001400000000000000020001000000000000000000",
         "VEXA_IOCTL_GET_TOPOLOGY_ADDRESS decoded pci-bus=0 pci-device=20 pci-function=0 "
         "root-port=2 hub-ports=1.0.0.0.0",
         "VEXA_IOCTL_GET_DEVICE_NUM -> status=0x00000000 info=23 "
         "out=0300000002000000000000000000000000000000000000",
         "VEXA_IOCTL_GET_DEVICE_NUM decoded serial=3 count=2",
         "VEXA_IOCTL_GET_DEVICE_NUM -> status=0xc0000023 info=0 out="}));
}

// The plug of PAD runs beside the requests after it, so seeds give different interleavings.
const std::string kOverlap = std::string(kHubAndPad) +
                             "load\nplug H1 C1:1\nplug PAD H1:1 &\ndevices\ncharge &\ndevices\n"
                             "sync\nunplug PAD &\nioctl VEXA_IOCTL_GET_DEVICE_NUM out=23\n";

std::string Output(const support::ScenarioRun& run) {
    std::string text;
    for (const char* category : {"pnp", "ioctl"}) {
        for (const std::string& line : run.Lines(category)) {
            text += line + "\n";
        }
    }
    return text;
}

TEST(AmpsimRun, LinesStartedWithAmpersandOverlapTheNextOnes) {
    std::set<std::string> outcomes;
    for (uint64_t seed = 0; seed < 30; ++seed) {
        auto run = RunScenario(kOverlap, seed);
        EXPECT_RUN_OK(run);
        // Whatever the interleaving, the scenario ends only after its last '&' line.
        EXPECT_EQ(run.Lines("pnp").back(), "PAD unplugged") << run.Reproduce();
        outcomes.insert(Output(run));
    }
    EXPECT_GT(outcomes.size(), 1u);
}

TEST(AmpsimRun, WithoutAmpersandEverySeedRunsAlike) {
    std::string sequential = std::regex_replace(kOverlap, std::regex(" &"), "");
    std::set<std::string> outcomes;
    for (uint64_t seed = 0; seed < 10; ++seed) {
        outcomes.insert(Output(RunScenario(sequential, seed)));
    }
    EXPECT_EQ(outcomes.size(), 1u);
}

// The report is the same whether the seeds run in one process or side by side in several.
TEST(AmpsimRun, SeedReportGroupsRunsByOutcome) {
    ampsim::Shown shown{{"pnp"}};
    std::ostringstream one;
    std::ostringstream many;
    std::ostringstream many_parallel;
    // One machine at a time: each runner keeps the machine of its last run.
    EXPECT_EQ(
        ampsim::ReportSeeds(*std::make_unique<ampsim::ScenarioRunner>("controller C1\nload\n"),
                            {{3, 7}, 1, nullptr}, shown, one)
            .status,
        ampsim::kExitClean);
    EXPECT_EQ(one.str(),
              "seeds 3..7 runs=5 outcomes=1 deadlocks=0 bug-checks=0 outstanding=0\n"
              "outcome 1 runs=5 end=finished seed=3\n");
    for (auto [jobs, out] : {std::pair{1u, &many}, std::pair{3u, &many_parallel}}) {
        EXPECT_EQ(ampsim::ReportSeeds(*std::make_unique<ampsim::ScenarioRunner>(kOverlap),
                                      {{0, 29}, jobs, nullptr}, shown, *out)
                      .status,
                  ampsim::kExitClean);
    }
    std::regex layout(
        "seeds 0\\.\\.29 runs=30 outcomes=([2-9]|[12][0-9]|30) deadlocks=0 bug-checks=0 "
        "outstanding=0\n"
        "outcome 1 runs=[0-9]+ end=finished seed=0\n"
        "(outcome [0-9]+ runs=[0-9]+ end=finished seed=[0-9]+\n"
        "  differs at line [0-9]+:\n    outcome 1: [^\n]+\n    this one:  [^\n]+\n)+");
    EXPECT_TRUE(std::regex_match(many.str(), layout)) << many.str();
    EXPECT_EQ(many_parallel.str(), many.str());
}

struct EndCase {
    sim::RunOutcome::Kind kind;
    size_t pool, handles, windows, gdi, menus, program_handles;
    int status;
    const char* left;
};

// A run that finished but left something behind is told apart from a clean one.
const EndCase kEnds[] = {
    {sim::RunOutcome::kFinished, 0, 0, 0, 0, 0, 0, ampsim::kExitClean, ""},
    {sim::RunOutcome::kFinished, 0, 0, 5, 0, 0, 0, ampsim::kExitLeft, "windows=5"},
    {sim::RunOutcome::kFinished, 64, 1, 0, 2, 0, 0, ampsim::kExitLeft, "pool=64 handles=1 gdi=2"},
    {sim::RunOutcome::kFinished, 0, 0, 0, 0, 1, 3, ampsim::kExitLeft, "menus=1 program-handles=3"},
    {sim::RunOutcome::kDeadlock, 64, 0, 0, 0, 0, 0, ampsim::kExitStuck, "pool=64"},
    {sim::RunOutcome::kBugCheck, 0, 0, 0, 0, 0, 0, ampsim::kExitStuck, ""},
};

TEST(AmpsimRun, ExitStatusSaysHowTheRunEnded) {
    for (const EndCase& c : kEnds) {
        ampsim::RunResult result;
        result.outcome.kind = c.kind;
        result.pool_outstanding = c.pool;
        result.handles_open = c.handles;
        result.user_windows_outstanding = c.windows;
        result.gdi_objects_outstanding = c.gdi;
        result.user_menus_outstanding = c.menus;
        result.program_handles_left = c.program_handles;
        EXPECT_EQ(ampsim::ExitStatus(result), c.status) << c.left;
        EXPECT_EQ(ampsim::LeftOutstanding(result), c.left);
    }
}

}  // namespace
