#include <windows.h>

#include "sched/scheduler.h"

namespace {

// The host thread (a test driving the machine from outside) keeps a value of its own, as
// every Windows thread does.
DWORD host_last_error = 0;

DWORD* LastErrorSlot() {
    sim::SimThread* thread = sim::CurrentScheduler().Current();
    return thread != nullptr ? &thread->last_error : &host_last_error;
}

}  // namespace

// Reads the calling thread's last-error value; no other thread's calls change it.
DWORD WINAPI GetLastError(void) {
    return *LastErrorSlot();
}

// Sets the calling thread's last-error value. Windows' debug-only error reporting levels
// (SetLastErrorEx) are not modelled.
void WINAPI SetLastError(DWORD dwErrCode) {
    *LastErrorSlot() = dwErrCode;
}
