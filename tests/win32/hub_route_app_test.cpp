// The routes of selective suspend in Ampwise itself, started on the simulated PC, by Windows
// version and the power-plan switch (string 1008): where the power plan's version test
// fails, the first pass writes the new hub's EnableSelectiveSuspend 0 and restarts it, and
// later passes find the same hub and announce nothing again.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "machine_run.h"
#include "pc/machine.h"

namespace {

using win32test::RunThenCall;

const char kParamsKey[] =
    "\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Enum\\USB\\VID_2E7B&PID_0610\\VX0001\\"
    "Device Parameters";

struct RouteCase {
    const char* version;
    const char* str1008;
    bool registry_route;
    bool power_plan;  // POWERCFG runs at start-up, or around the first pass's port command
};
const RouteCase kRouteCases[] = {
    {"6.1", "Yes", true, false},
    {"6.2", "Yes", false, true},
    {"6.2", "No", false, true},
    // Windows 10 tells Ampwise, whose manifest declares no supported OS, that it is 6.2.
    {"6.3", "Yes", false, true},
    {"10.0", "Yes", false, true},
    {"10.0", "No", false, true},
};

size_t CountStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::count_if(lines.begin(), lines.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

TEST(HubRoute, TheRegistryRouteRunsOnceForANewHubWhereThePowerPlanIsNotTheRoute) {
    for (const RouteCase& entry : kRouteCases) {
        std::string name = std::string(entry.version) + " str1008=" + entry.str1008;
        bool written_zero = false;
        // Three passes: at start, and five and ten seconds later.
        auto run = RunThenCall(
            std::string("kernel version=") + entry.version +
                "\ncontroller C1 ports=4\n"
                "hub H1 vid=2E7B pid=0610 bcdusb=0210 bcddevice=7763 ports=4 serial=VX0001\n"
                "device TAB vid=04E8 pid=6860 serial=R52N40\n"
                "load\nplug H1 C1:1\nplug TAB H1:1\n"
                "app start str1008=" +
                entry.str1008 + "\nwait 11s\n",
            [&] {
                const sim::Registry::Value* value = sim::Machine::Current().kernel.registry.Find(
                    kParamsKey, "EnableSelectiveSuspend");
                written_zero = value != nullptr && value->type == 4 &&
                               value->data == std::vector<uint8_t>{0, 0, 0, 0};
            });
        std::vector<std::string> app = run.Lines("app");
        std::vector<std::string> msg = run.Lines("msg");
        std::vector<std::string> pnp = run.Lines("pnp");
        size_t routes = entry.registry_route ? 1 : 0;
        EXPECT_EQ(CountStartingWith(app, "dbg CheckPermanentDisableSS, pass OS version test"),
                  routes)
            << name;
        EXPECT_EQ(CountStartingWith(app, "dbg CheckPermanentDisableSS, done"), routes) << name;
        EXPECT_EQ(CountStartingWith(pnp, "H1 disabled"), routes) << name;
        EXPECT_EQ(CountStartingWith(pnp, "H1 enabled"), routes) << name;
        EXPECT_EQ(written_zero, entry.registry_route) << name;
        // The restarted hub and the tablet below it keep their topology addresses, so each is
        // announced once, by the first pass.
        EXPECT_EQ(CountStartingWith(msg, "WM_NEW_VEXAHUB_ARRIVE"), 1u) << name;
        EXPECT_EQ(CountStartingWith(msg, "WM_NEW_SGTAB_ARRIVE"), 1u) << name;
        EXPECT_EQ(CountContaining(run.Lines("proc"), "POWERCFG") != 0, entry.power_plan) << name;
    }
}

}  // namespace
