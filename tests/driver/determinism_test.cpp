// A run is reproduced by its seed: programs whose requests race each other and devices that
// come and go give, for each seed, exactly the event log recorded for it. The recordings
// were made on the first scheduler, so they also show that another scheduler keeps every
// seed's interleaving.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/sim_test.h"

namespace {

using support::Ioctl;

const char kHardware[] =
    "controller C1 ports=4\n"
    "hub H1 vid=2E7B pid=0610 bcdusb=0210 ports=4 serial=VX0001\n"
    "device PAD vid=05AC pid=12AB serial=DMPX1234ABCD latency=3ms\n"
    "device TAB vid=04E8 pid=6860 serial=R52N40ABCDE\n"
    "load\nplug H1 C1:1\nplug PAD H1:1\nplug TAB H1:2\n";

// Each program sends a seeded mix of requests with seeded pauses between them.
void Program(sim::Machine& machine) {
    for (int request = 0; request < 12; ++request) {
        uint64_t pick = machine.scheduler.Random();
        if (pick % 3 == 0) {
            Ioctl(VEXA_IOCTL_ENUM_DEVICES, {}, 8 + 15 * 4);
        } else if (pick % 3 == 1) {
            Ioctl(VEXA_IOCTL_ENABLE_TAB_CHARGING, {0}, 0);
        } else {
            Ioctl(VEXA_IOCTL_GET_DEVICE_NUM, {}, 23);
        }
        machine.scheduler.SleepFor(static_cast<sim::Ticks>(pick >> 8) % 4 * sim::kTicksPerMs,
                                   "the program's next request");
    }
}

std::vector<std::string> LogOfRun(uint64_t seed) {
    auto run = support::RunScenario(kHardware, seed, [](sim::Machine& machine) {
        for (const char* name : {"first program", "second program", "third program"}) {
            machine.scheduler.Spawn(name, [&machine] { Program(machine); });
        }
        for (int round = 0; round < 3; ++round) {
            machine.pnp->Unplug(machine.usb->Find("PAD"));
            machine.scheduler.SleepFor(2 * sim::kTicksPerMs, "the next plug");
            machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->HubOf("H1"), 3);
            machine.scheduler.SleepFor(5 * sim::kTicksPerMs, "the next unplug");
        }
        machine.scheduler.SleepFor(sim::kTicksPerSecond, "the programs");
    });
    EXPECT_RUN_OK(run);
    // The driver traces its build date and time at load; a rebuild is not a change of output.
    const std::regex build_time(
        R"("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}" "[0-9]{2}:[0-9]{2}:[0-9]{2}")");
    std::vector<std::string> log;
    for (const sim::Event& event : run.machine().log.events()) {
        log.push_back(std::regex_replace(sim::FormatEvent(event), build_time,
                                         "\"<build date>\" \"<build time>\""));
    }
    return log;
}

// The first line where two logs part, with the lines before it.
::testing::AssertionResult SameLog(const std::vector<std::string>& actual,
                                   const std::vector<std::string>& recorded) {
    if (actual == recorded) {
        return ::testing::AssertionSuccess();
    }
    size_t first = 0;
    while (first < actual.size() && first < recorded.size() && actual[first] == recorded[first]) {
        ++first;
    }
    ::testing::AssertionResult failure = ::testing::AssertionFailure();
    failure << "the logs part at line " << first + 1 << " (recorded | actual):\n";
    for (size_t i = first < 3 ? 0 : first - 3; i <= first + 3; ++i) {
        failure << (i < recorded.size() ? recorded[i] : "<none>") << " | "
                << (i < actual.size() ? actual[i] : "<none>") << "\n";
    }
    return failure;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string RecordingPath(uint64_t seed) {
    return std::string(TABVOLT_RECORDINGS) + "/programs.seed" + std::to_string(seed) + ".log";
}

// TABVOLT_RECORD=1 records the logs again, after a change that legitimately alters them.
TEST(Determinism, EachSeedGivesItsRecordedLog) {
    bool record = std::getenv("TABVOLT_RECORD") != nullptr;
    std::set<std::vector<std::string>> distinct;
    for (uint64_t seed : {0, 1, 2, 3, 4}) {
        std::vector<std::string> log = LogOfRun(seed);
        EXPECT_TRUE(SameLog(LogOfRun(seed), log)) << "two runs with seed " << seed;
        distinct.insert(log);
        if (record) {
            std::ofstream file(RecordingPath(seed));
            for (const std::string& line : log) {
                file << line << "\n";
            }
            continue;
        }
        std::vector<std::string> recorded = ReadLines(RecordingPath(seed));
        ASSERT_FALSE(recorded.empty()) << "no recording " << RecordingPath(seed);
        EXPECT_TRUE(SameLog(log, recorded)) << "seed " << seed << ", " << RecordingPath(seed);
    }
    EXPECT_GT(distinct.size(), 2u) << "the seed does not change how the programs interleave";
}

}  // namespace
