// The scheduler alone: the wall cost of handing the processor from one simulated thread to
// another (a signal and a block, ping-pong), a batch of handoffs per scheduler.
#include <benchmark/benchmark.h>

#include "sched/scheduler.h"

namespace {

constexpr int kHandoffs = 20000;

void BM_Handoff(benchmark::State& state) {
    for (auto _ : state) {
        sim::Scheduler scheduler(0);
        int turn = 0;  // whose turn it is: 0 ping, 1 pong
        // Each round hands the processor over twice.
        scheduler.Spawn("ping", [&] {
            for (int round = 0; round < kHandoffs / 2; ++round) {
                turn = 1;
                scheduler.Signal(&turn, false);
                while (turn != 0) {
                    scheduler.Block(&turn, std::nullopt, "pong");
                }
            }
        });
        scheduler.Spawn("pong", [&] {
            for (int round = 0; round < kHandoffs / 2; ++round) {
                while (turn != 1) {
                    scheduler.Block(&turn, std::nullopt, "ping");
                }
                turn = 0;
                scheduler.Signal(&turn, false);
            }
        });
        scheduler.Run();
    }
    state.counters["per_handoff"] = benchmark::Counter(
        kHandoffs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Handoff)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
