// Ampwise on the simulated PC. The CPU time of one polling pass with 8 Vexa hubs and 8
// Galaxy Tabs (the most the lists hold), taken as the difference between five minutes of the
// machine with the application and the same five minutes without it, per pass; and how many
// virtual seconds of the application running beside the driver pass per wall second.
#include <benchmark/benchmark.h>

#include <ctime>
#include <string>

#include "ampsim/runner.h"

namespace {

// Eight hubs on the root ports, a tablet on port 1 of each and an iPad beside the first.
std::string EightHubsAndTablets(bool with_app, int seconds) {
    std::string text = "controller C1 ports=9\ndevice PAD vid=05AC pid=12AB\n";
    for (int i = 1; i <= 8; ++i) {
        std::string n = std::to_string(i);
        text += "hub H" + n + " vid=2E7B pid=0610 bcdusb=0210 ports=4 serial=VX000" + n + "\n";
        text += "device TAB" + n + " vid=04E8 pid=6860 serial=TAB" + n + "\n";
    }
    text += "load\n";
    for (int i = 1; i <= 8; ++i) {
        std::string n = std::to_string(i);
        text += "plug H" + n + " C1:" + n + "\nplug TAB" + n + " H" + n + ":1\n";
    }
    text += "plug PAD C1:9\n";
    if (with_app) {
        text += "app start\n";
    }
    return text + "wait " + std::to_string(seconds) + "s\n";
}

double CpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// One machine exists at a time, and a runner keeps its last one: each run gets its own.
double CpuOfRun(const std::string& scenario) {
    ampsim::ScenarioRunner runner(scenario);
    runner.StreamOnly({});  // nobody reads the log
    double start = CpuSeconds();
    runner.Run(0, nullptr);
    return CpuSeconds() - start;
}

void BM_PollingPass8Hubs8Tablets(benchmark::State& state) {
    constexpr int kSeconds = 300;
    constexpr int kPasses = kSeconds / 5;  // at 0, 5, ... 295 s; the start and load are spread thin
    const std::string with = EightHubsAndTablets(true, kSeconds);
    const std::string without = EightHubsAndTablets(false, kSeconds);
    double app_cpu = 0;
    for (auto _ : state) {
        app_cpu += CpuOfRun(with) - CpuOfRun(without);
    }
    state.counters["cpu_us_per_pass"] =
        benchmark::Counter(app_cpu * 1e6 / kPasses / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PollingPass8Hubs8Tablets)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VirtualHourOfAmpwise(benchmark::State& state) {
    ampsim::ScenarioRunner runner(EightHubsAndTablets(true, 3600));
    runner.StreamOnly({});
    double virtual_seconds = 0;
    for (auto _ : state) {
        ampsim::RunResult result = runner.Run(0, nullptr);
        virtual_seconds += static_cast<double>(result.end_time) / sim::kTicksPerSecond;
    }
    state.counters["virtual_s_per_wall_s"] =
        benchmark::Counter(virtual_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VirtualHourOfAmpwise)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
