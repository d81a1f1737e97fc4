// GetMessageA, PeekMessageA and WaitMessage: the places where a thread runs the messages
// other threads send it, and takes its own in Windows' order (sent ones first, then posted,
// WM_QUIT, input, WM_PAINT and last WM_TIMER, which is made only when nothing else waits).
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

namespace {

using namespace sim::win32::user32;

// The PM_QS_ flags name the kinds a PeekMessageA looks at; without them it looks at all.
DWORD KindsOf(UINT remove) {
    DWORD kinds = remove >> 16;
    return kinds == 0 ? QS_ALLINPUT : kinds;
}

// One look at the queue. Looking makes everything in it old news for the waits that count
// only new arrivals (WaitMessage, MsgWaitForMultipleObjects).
bool Look(ThreadQueue& queue, HWND filter, UINT min, UINT max, UINT remove, MSG* msg) {
    DWORD kinds = KindsOf(remove);
    queue.changed = 0;
    if ((kinds & QS_SENDMESSAGE) != 0) {
        ReceiveSentMessages(queue);
    }
    UpdateTimers(queue);
    return TakeMessage(queue, filter, min, max, remove, kinds, msg);
}

bool ValidFilter(HWND filter) {
    return filter == NULL || filter == reinterpret_cast<HWND>(-1) || WindowOrError(filter);
}

}  // namespace

// Waits until a message of the filter is there and removes it: FALSE for WM_QUIT, -1 for a
// window filter that is not a window (ERROR_INVALID_WINDOW_HANDLE). The filter also takes
// the window's children; WM_QUIT passes any filter. A thread being terminated gets WM_QUIT
// at once rather than blocking.
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    ThreadQueue& queue = CurrentQueue();
    if (!ValidFilter(hWnd)) {
        return -1;
    }
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    for (;;) {
        if (Look(queue, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE, lpMsg)) {
            return lpMsg->message != WM_QUIT;
        }
        if (scheduler.Unwinding()) {
            *lpMsg = MakeMessage(NULL, WM_QUIT, 0, 0);
            return FALSE;
        }
        scheduler.Block(queue.WakeKey(), UpdateTimers(queue), "GetMessageA");
    }
}

// Runs the sent messages (unless PM_QS_ flags leave QS_SENDMESSAGE out), then takes or
// copies the first message of the filter; FALSE if there is none. PM_NOYIELD is accepted:
// the simulated PC never yields here.
BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    ThreadQueue& queue = CurrentQueue();
    if (!ValidFilter(hWnd)) {
        return FALSE;
    }
    return Look(queue, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg, lpMsg);
}

// Blocks until a message arrives that the thread has not yet looked at, running the sent
// ones meanwhile (they alone do not end the wait).
BOOL WINAPI WaitMessage(void) {
    ThreadQueue& queue = CurrentQueue();
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    for (;;) {
        ReceiveSentMessages(queue);
        std::optional<sim::Ticks> next_timer = UpdateTimers(queue);
        if ((queue.changed & QS_ALLINPUT & ~QS_SENDMESSAGE) != 0) {
            queue.changed = 0;
            return TRUE;
        }
        if (scheduler.Unwinding()) {
            return FALSE;
        }
        scheduler.Block(queue.WakeKey(), next_timer, "WaitMessage");
    }
}
