// Wall-clock figures (the simulated threads run outside the benchmark thread, so real time
// is the measure). Speed of the simulated PC with the driver: how many virtual seconds a
// plug/unplug churn of 100 devices covers per wall second, and the wall cost of one device add with
// its hardware preparation (and its removal).
#include <benchmark/benchmark.h>

#include <string>

#include "ampsim/runner.h"
#include "filter.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace {

// Ten hubs of ten ports under one controller, one hundred iPads, and `rounds` rounds in
// which every device is unplugged and plugged again, 100 ms apart.
std::string ChurnScenario(int rounds) {
    std::string text = "controller C1 ports=10\n";
    for (int hub = 0; hub < 10; ++hub) {
        text += "hub H" + std::to_string(hub) + " vid=2E7B pid=0610 bcdusb=0210 ports=10\n";
    }
    for (int device = 0; device < 100; ++device) {
        text += "device D" + std::to_string(device) + " vid=05AC pid=12AB\n";
    }
    text += "load\n";
    for (int hub = 0; hub < 10; ++hub) {
        text += "plug H" + std::to_string(hub) + " C1:" + std::to_string(hub + 1) + "\n";
    }
    for (int device = 0; device < 100; ++device) {
        text += "plug D" + std::to_string(device) + " H" + std::to_string(device / 10) + ":" +
                std::to_string(device % 10 + 1) + "\n";
    }
    for (int round = 0; round < rounds; ++round) {
        for (int device = 0; device < 100; ++device) {
            std::string name = "D" + std::to_string(device);
            text += "unplug " + name + "\nwait 100ms\nplug " + name + " H" +
                    std::to_string(device / 10) + ":" + std::to_string(device % 10 + 1) +
                    "\nwait 100ms\n";
        }
    }
    return text + "unload\n";
}

void BM_Churn100Devices(benchmark::State& state) {
    ampsim::ScenarioRunner runner(ChurnScenario(3));
    runner.StreamOnly({});  // nobody reads the log
    double virtual_seconds = 0;
    for (auto _ : state) {
        ampsim::RunResult result = runner.Run(0, nullptr);
        virtual_seconds += static_cast<double>(result.end_time) / sim::kTicksPerSecond;
    }
    state.counters["virtual_s_per_wall_s"] =
        benchmark::Counter(virtual_seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Churn100Devices)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int kCycles = 200;

void BM_DeviceAddAndRemove(benchmark::State& state) {
    std::string text =
        "controller C1\nhub H1 vid=2E7B pid=0610 bcdusb=0210\n"
        "device PAD vid=05AC pid=12AB serial=ABC\nload\nplug H1 C1:1\n";
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        text += "plug PAD H1:1\nunplug PAD\n";
    }
    ampsim::ScenarioRunner runner(text);
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        runner.Run(0, nullptr);
    }
    state.counters["per_add_and_remove"] = benchmark::Counter(
        static_cast<double>(kCycles),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeviceAddAndRemove)->Unit(benchmark::kMillisecond)->UseRealTime();

constexpr int kRoundTrips = 1000;

// A string-descriptor read on the IRP path: IRP and URB built, queued to the device's
// thread, completed at DISPATCH_LEVEL, waited for.
void BM_BoundedInternalRequest(benchmark::State& state) {
    ampsim::ScenarioRunner runner(
        "controller C1\ndevice PAD vid=05AC pid=12AB serial=AB "
        "notarget\nload\nplug PAD C1:1\n");
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        runner.Run(0, nullptr, [](sim::Machine&) {
            WDFDEVICE device = (WDFDEVICE)WdfCollectionGetItem(FilterDevices, 0);
            PFILTER_EXTENSION extension = FilterGetData(device);
            UCHAR text[64];
            for (int i = 0; i < kRoundTrips; ++i) {
                FilterGetStringDescriptor_wdm(extension->Pdo, 3, text, sizeof text);
            }
        });
    }
    state.counters["per_request"] = benchmark::Counter(
        static_cast<double>(kRoundTrips),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_BoundedInternalRequest)->Unit(benchmark::kMillisecond)->UseRealTime();

// Hardware preparation with every read, on the framework path and on the IRP path.
void BM_PrepareHardware(benchmark::State& state) {
    const char* device = state.range(0) == 0 ? "device PAD vid=05AC pid=12AB bcdusb=0210 serial=AB"
                                             : "device PAD vid=05AC pid=12AB serial=AB notarget";
    ampsim::ScenarioRunner runner(std::string("controller C1\n") + device + "\nload\n");
    runner.StreamOnly({});  // nobody reads the log
    for (auto _ : state) {
        runner.Run(0, nullptr, [](sim::Machine& machine) {
            for (int i = 0; i < kCycles; ++i) {
                machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->HubOf("C1"), 1);
                machine.pnp->Unplug(machine.usb->Find("PAD"));
            }
        });
    }
    state.counters["per_start_and_removal"] = benchmark::Counter(
        static_cast<double>(kCycles),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PrepareHardware)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
