// Long runs: 8 Vexa hubs with a tablet each, polled through the user-mode channel once a
// virtual second with VEXA_IOCTL_ENUM_DEVICES, as the application polls. Reports the wall
// time of the run and the process's peak memory, so that an hour and a week side by side
// show whether memory stays flat as a run ages. Each length is measured once (the hour runs
// first, so a peak that grows with the run shows in the longer ones).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "filter.h"

namespace {

std::string EightHubsEightTablets() {
    std::string text = "controller C1 ports=8\n";
    for (int i = 0; i < 8; ++i) {
        std::string n = std::to_string(i);
        text += "hub H" + n + " vid=2E7B pid=0610 bcdusb=0210 ports=4\n";
        text += "device D" + n + " vid=05AC pid=12AB serial=PAD" + n + "\n";
    }
    text += "load\n";
    for (int i = 0; i < 8; ++i) {
        std::string n = std::to_string(i);
        text += "plug H" + n + " C1:" + std::to_string(i + 1) + "\nplug D" + n + " H" + n + ":1\n";
    }
    return text;
}

double PeakMiB() {
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_PollingRun(benchmark::State& state) {
    const int64_t polls = state.range(0) * 3600;
    ampsim::ScenarioRunner runner(EightHubsEightTablets());
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        runner.Run(0, nullptr, [polls](sim::Machine& machine) {
            sim::UserHandle handle = 0;
            machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle);
            std::vector<uint8_t> list(VEXA_DEVICE_LIST_HEADER_SIZE +
                                      sizeof(VEXA_DEVICE_ENTRY) * 16);
            for (int64_t poll = 0; poll < polls; ++poll) {
                machine.user_io.DeviceControl(handle, VEXA_IOCTL_ENUM_DEVICES, nullptr, 0,
                                              list.data(), list.size());
                machine.scheduler.SleepFor(sim::kTicksPerSecond, "the next poll");
            }
            machine.user_io.Close(handle);
        });
    }
    state.counters["virtual_hours"] = static_cast<double>(state.range(0));
    state.counters["peak_MiB"] = PeakMiB();
}
BENCHMARK(BM_PollingRun)
    ->ArgName("hours")
    ->Arg(1)
    ->Arg(24)
    ->Arg(168)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
