// Seeded soak of Ampwise beside the driver: hubs and tablets come and go, the system sleeps
// and wakes, the user opens and answers the tray menu, on each Windows version, while the
// monitoring thread polls; then Exit. Every run must end with the program gone through its
// exit sequence, no deadlock, and nothing of the driver or the program left. A failure names
// its seed and reproduces from it (the scenario is made from the seed too).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ampsim/report.h"
#include "ampsim/runner.h"
#include "pc/machine.h"
#include "support/soak_seeds.h"

namespace {

const char* const kHardware =
    "controller C1 ports=3\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4 serial=VX0001\n"
    "hub H2 vid=2E7B pid=0610 bcdusb=0210 ports=4 serial=VX0002\n"
    "device TAB1 vid=04E8 pid=6860\n"
    "device TAB2 vid=04E8 pid=6860 latency=3ms\n"
    "device PAD vid=05AC pid=12AB\n";

// Where each hub or device goes when it is plugged: a home port of its own, so that no two
// ever meet on one port. Anything on a hub comes and goes with it.
struct Home {
    const char* name;
    const char* parent;
    const char* port;
};
const Home kHomes[] = {{"H1", "C1", "1"},
                       {"H2", "C1", "2"},
                       {"TAB1", "H1", "1"},
                       {"TAB2", "H2", "3"},
                       {"PAD", "H1", "2"}};

// The scenario of one seed: a random walk over what is plugged, with the user's clicks.
std::string SoakScenario(uint64_t seed) {
    std::mt19937_64 random(seed);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    const char* const versions[] = {"6.1", "6.2", "10.0"};
    std::string text = std::string("kernel version=") + versions[pick(3)] + "\n" + kHardware;
    text += "load\nplug H1 C1:1\nplug TAB1 H1:1\napp start" +
            std::string(pick(2) == 0 ? " str1008=No" : "") + "\n";
    std::set<std::string> plugged = {"H1", "TAB1"};
    auto reachable = [&](const Home& home) {
        return std::string(home.parent) == "C1" || plugged.count(home.parent) != 0;
    };
    for (int step = 0; step < 30; ++step) {
        const Home& home = kHomes[pick(std::size(kHomes))];
        switch (pick(5)) {
            case 0:
            case 1:
                if (plugged.count(home.name) == 0 && reachable(home)) {
                    text += std::string("plug ") + home.name + " " + home.parent + ":" + home.port +
                            "\n";
                    plugged.insert(home.name);
                } else if (plugged.count(home.name) != 0 && reachable(home)) {
                    text += std::string("unplug ") + home.name + "\n";
                    plugged.erase(home.name);
                }
                break;
            case 2:
                text += "suspend\nwait 500ms\nresume\n";
                break;
            case 3:
                text += std::string("rightclick tray\nmenu ") +
                        (pick(2) == 0 ? "none" : "\"Hub 01\"") + "\n";
                break;
            default:
                break;
        }
        text += "wait " + std::to_string(100 + pick(2900)) + "ms\n";
    }
    // Exit may wait for a power-plan restore, a pass framed by two more, and a whole cycle.
    return text + "rightclick tray\nmenu Exit\nwait 15s\nunload\n";
}

TEST(AppSoak, AmpwiseAndTheDriverEndCleanOverManySeeds) {
    ampsim::SeedRange seeds = support::SoakSeeds({0, 19});
    for (uint64_t seed = seeds.first; seed >= seeds.first && seed <= seeds.last; ++seed) {
        std::string scenario = SoakScenario(seed);
        ampsim::ScenarioRunner runner(scenario);
        ampsim::RunResult result = runner.Run(seed, nullptr);
        sim::Machine& machine = *runner.machine();
        ASSERT_TRUE(result.ok()) << "seed " << seed << ": " << result.outcome.report << "\n"
                                 << machine.log.Tail(30) << "\n"
                                 << scenario;
        std::vector<std::string> app = machine.log.Texts("app");
        ASSERT_NE(std::find(app.begin(), app.end(), "dbg after wait thread end"), app.end())
            << "seed " << seed << ": the program did not finish its exit\n"
            << machine.log.Tail(30) << "\n"
            << scenario;
        EXPECT_EQ(result.pool_outstanding, 0u) << "seed " << seed;
        EXPECT_EQ(result.handles_open, 0u) << "seed " << seed;
        EXPECT_EQ(machine.user_io.open_count(), 0u) << "seed " << seed;
        EXPECT_TRUE(machine.kernel.live_irps.empty()) << "seed " << seed;
        // The program ended on its own, so whatever it made and did not free is its leak.
        EXPECT_EQ(result.user_windows_outstanding.value_or(1), 0u) << "seed " << seed;
        EXPECT_EQ(result.gdi_objects_outstanding.value_or(1), 0u) << "seed " << seed;
        EXPECT_EQ(result.user_menus_outstanding.value_or(1), 0u) << "seed " << seed;
        EXPECT_EQ(result.program_handles_left.value_or(1), 0u) << "seed " << seed;
    }
}

// The built-in scenario names each of its devices in a comment, every request it makes
// (Ampwise's among them) is answered, and it ends in a good state.
TEST(AppSoak, BuiltInScenarioExplainsItselfAndEndsWell) {
    std::istringstream lines(ampsim::kDefaultScenario);
    std::string line;
    std::vector<std::string> names;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, std::regex("^(controller|hub|device) (\\S+)"))) {
            names.push_back(match[2]);
        }
    }
    ASSERT_EQ(names.size(), 5u);
    for (const std::string& name : names) {
        EXPECT_NE(std::string(ampsim::kDefaultScenario).find("#   " + name + " "),
                  std::string::npos)
            << name << " is not explained";
    }
    ampsim::ScenarioRunner runner(ampsim::kDefaultScenario);
    ampsim::RunResult result = runner.Run(0, nullptr);
    sim::Machine& machine = *runner.machine();
    ASSERT_TRUE(result.ok()) << result.outcome.report;
    EXPECT_EQ(ampsim::LeftOutstanding(result), "");
    std::vector<std::string> pnp = machine.log.Texts("pnp");
    ASSERT_GE(pnp.size(), 2u);
    EXPECT_EQ(pnp[pnp.size() - 2], "driver unloaded");
    EXPECT_EQ(pnp.back(), "H1 unplugged");
    std::vector<std::string> replies = machine.log.Texts("ioctl");
    for (const std::string& reply : replies) {
        EXPECT_EQ(reply.find("open-failed"), std::string::npos) << reply;
        EXPECT_EQ(reply.find("status=0xc"), std::string::npos) << reply;
    }
    // The port command shows in the list after it.
    EXPECT_NE(std::find_if(replies.begin(), replies.end(),
                           [](const std::string& reply) {
                               return reply.find("ports=charging,normal,normal,normal") !=
                                      std::string::npos;
                           }),
              replies.end());
}

}  // namespace
