// Wall-clock cost of the I/O-control interface as a program sees it: requests through the
// user-mode channel (system buffer, IRP, the framework's queue, the driver's handler and
// back). Only the requests are timed; building the simulated PC is not.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "filter.h"

namespace {

using Clock = std::chrono::steady_clock;

// A Vexa hub per seven ports' worth of devices, `devices` iPads spread below them.
std::string HubsWithTablets(int devices) {
    std::string text = "controller C1 ports=10\n";
    int hubs = (devices + 6) / 7;
    for (int hub = 0; hub < hubs; ++hub) {
        text += "hub H" + std::to_string(hub) + " vid=2E7B pid=0610 bcdusb=0210 ports=7\n";
    }
    for (int device = 0; device < devices; ++device) {
        text += "device D" + std::to_string(device) + " vid=05AC pid=12AB\n";
    }
    text += "load\n";
    for (int hub = 0; hub < hubs; ++hub) {
        text += "plug H" + std::to_string(hub) + " C1:" + std::to_string(hub + 1) + "\n";
    }
    for (int device = 0; device < devices; ++device) {
        text += "plug D" + std::to_string(device) + " H" + std::to_string(device / 7) + ":" +
                std::to_string(device % 7 + 1) + "\n";
    }
    return text;
}

constexpr int kRoundTrips = 2000;

// Round trips on one open handle; each benchmark iteration is one simulated run.
void RoundTrips(benchmark::State& state, const std::string& scenario, uint32_t code,
                size_t output_length) {
    ampsim::ScenarioRunner runner(scenario);
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        double seconds = 0;
        runner.Run(0, nullptr, [&](sim::Machine& machine) {
            sim::UserHandle handle = 0;
            machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle);
            std::vector<uint8_t> output(output_length);
            Clock::time_point start = Clock::now();
            for (int i = 0; i < kRoundTrips; ++i) {
                machine.user_io.DeviceControl(handle, code, nullptr, 0, output.data(),
                                              output.size());
            }
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            machine.user_io.Close(handle);
        });
        state.SetIterationTime(seconds);
    }
    state.counters["round_trips_per_s"] =
        benchmark::Counter(kRoundTrips, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_GetDeviceNum(benchmark::State& state) {
    RoundTrips(state, HubsWithTablets(1), VEXA_IOCTL_GET_DEVICE_NUM, sizeof(VEXA_DEVICE_LIST));
}
BENCHMARK(BM_GetDeviceNum)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_EnumDevices64(benchmark::State& state) {
    // 64 devices in all: the hubs count too.
    RoundTrips(state, HubsWithTablets(54), VEXA_IOCTL_ENUM_DEVICES,
               VEXA_DEVICE_LIST_HEADER_SIZE + sizeof(VEXA_DEVICE_ENTRY) * 64);
}
BENCHMARK(BM_EnumDevices64)->Unit(benchmark::kMillisecond)->UseManualTime();

// Enough calls per machine that building it is a small part of each iteration's wall time.
constexpr int kChargeCalls = 2000;

// One charge request that finds 8 tablets not yet served and sends each its request.
void BM_EnableTabCharging8(benchmark::State& state) {
    ampsim::ScenarioRunner runner(HubsWithTablets(8));
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        double seconds = 0;
        runner.Run(0, nullptr, [&](sim::Machine& machine) {
            sim::UserHandle handle = 0;
            machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle);
            const uint8_t flag = 0;
            for (int i = 0; i < kChargeCalls; ++i) {
                // As after a resume: every tablet must be asked again.
                for (ULONG index = 0; index < WdfCollectionGetCount(FilterDevices); ++index) {
                    FilterGetData(WdfCollectionGetItem(FilterDevices, index))->ChargeSent = 0;
                }
                Clock::time_point start = Clock::now();
                machine.user_io.DeviceControl(handle, VEXA_IOCTL_ENABLE_TAB_CHARGING, &flag, 1,
                                              nullptr, 0);
                seconds += std::chrono::duration<double>(Clock::now() - start).count();
            }
            machine.user_io.Close(handle);
        });
        state.SetIterationTime(seconds);
    }
    state.counters["per_call"] = benchmark::Counter(
        kChargeCalls, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_EnableTabCharging8)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
