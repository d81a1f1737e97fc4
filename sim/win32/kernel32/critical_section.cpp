// Critical sections on the simulated scheduler. A thread that finds the section owned
// blocks until it is left, in a wait the deadlock report names by the section's owner; it
// handles nothing meanwhile (no sent messages, no APCs). Spinning and the debug list
// (DebugInfo) are not modelled; leaving a section one does not own stops the run, as
// Application Verifier would stop the program.
#include <windows.h>

#include <string>

#include "sched/scheduler.h"
#include "win32/kernel32/machine_link.h"

namespace {

sim::SimThread* Owner(const CRITICAL_SECTION* section) {
    return static_cast<sim::SimThread*>(section->OwningThread);
}

std::string WaitName(const CRITICAL_SECTION* section) {
    return "EnterCriticalSection (owned by '" + Owner(section)->name() + "')";
}

}  // namespace

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->DebugInfo = NULL;
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->RecursionCount = 0;
    lpCriticalSection->OwningThread = NULL;
    lpCriticalSection->LockSemaphore = NULL;
    lpCriticalSection->SpinCount = 0;
}

// Enters the section, again and again by its owner (each entry needs its own leave).
void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    sim::win32::PreemptionPoint();
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    sim::SimThread* self = scheduler.Current();
    if (lpCriticalSection->OwningThread != NULL && Owner(lpCriticalSection) == self) {
        lpCriticalSection->RecursionCount++;
        return;
    }
    lpCriticalSection->LockCount++;
    while (lpCriticalSection->OwningThread != NULL) {
        scheduler.Block(lpCriticalSection, std::nullopt, WaitName(lpCriticalSection),
                        Owner(lpCriticalSection));
    }
    lpCriticalSection->OwningThread = self;
    lpCriticalSection->RecursionCount = 1;
    sim::race::Acquire(lpCriticalSection);
}

// Leaves one entry; the last one frees the section and wakes the first waiting thread.
void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    sim::SimThread* self = sim::CurrentScheduler().Current();
    if (lpCriticalSection->OwningThread == NULL || Owner(lpCriticalSection) != self) {
        sim::win32::StopRun("LeaveCriticalSection by a thread that does not own the section");
    }
    if (--lpCriticalSection->RecursionCount > 0) {
        return;
    }
    lpCriticalSection->OwningThread = NULL;
    lpCriticalSection->LockCount--;
    sim::CurrentScheduler().Signal(lpCriticalSection, false);
}

// Frees what the section holds; nothing, on the simulated PC. Deleting a section still
// owned or waited for is undefined on Windows and not checked here.
void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
    lpCriticalSection->LockCount = -1;
    lpCriticalSection->OwningThread = NULL;
}
