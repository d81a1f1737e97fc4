#include <windows.h>

#include "sched/scheduler.h"

// Suspends the calling thread for the given milliseconds of virtual time; Sleep(0) only
// offers the processor to another ready thread. INFINITE and the timer resolution's
// rounding are not modelled: a wait ends exactly on its deadline.
void WINAPI Sleep(DWORD dwMilliseconds) {
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    if (dwMilliseconds == 0) {
        scheduler.Yield();
        return;
    }
    scheduler.SleepFor(static_cast<sim::Ticks>(dwMilliseconds) * sim::kTicksPerMs, "Sleep");
}
