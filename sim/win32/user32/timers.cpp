// SetTimer and KillTimer, on the virtual clock.
#include <windows.h>

#include <algorithm>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// Windows' bounds of a timer's period.
constexpr UINT kMinimumPeriodMs = 10;
constexpr UINT kMaximumPeriodMs = 0x7FFFFFFF;
// Identifiers of timers without a window, as SetTimer picks them.
constexpr UINT_PTR kFirstThreadTimerId = 0x7FFE;

std::vector<Timer>::iterator FindTimer(ThreadQueue& queue, HWND hwnd, UINT_PTR id) {
    return std::find_if(queue.timers.begin(), queue.timers.end(),
                        [hwnd, id](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
}

// A window's timers belong to the window's thread, whichever thread of the process sets
// them (Windows refuses only windows of other processes, and there is one process here);
// a timer without window belongs to the caller.
ThreadQueue* QueueFor(HWND hwnd) {
    if (hwnd == NULL) {
        return &CurrentQueue();
    }
    Window* window = WindowOrError(hwnd);
    return window == nullptr ? nullptr : QueueOf(window->thread);
}

}  // namespace

// Starts a timer of the window (or, with NULL, of the thread, under a new identifier unless
// nIDEvent names one it has) that elapses every uElapse ms, within 10 ms and 0x7FFFFFFF
// ms. An existing timer of the same window and identifier is replaced and starts counting
// again, its pending WM_TIMER dropped. The thread gets WM_TIMER only when nothing else
// waits (GetMessageA), and at most one per timer however often it elapsed meanwhile.
// A window that is gone fails with ERROR_INVALID_WINDOW_HANDLE. Coalescing tolerances are
// not modelled.
UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    ThreadQueue* queue = QueueFor(hWnd);
    if (queue == nullptr) {
        return 0;
    }
    uElapse = std::clamp(uElapse, kMinimumPeriodMs, kMaximumPeriodMs);
    if (hWnd == NULL && FindTimer(*queue, NULL, nIDEvent) == queue->timers.end()) {
        nIDEvent = kFirstThreadTimerId;
        while (FindTimer(*queue, NULL, nIDEvent) != queue->timers.end()) {
            nIDEvent--;
        }
    }
    auto found = FindTimer(*queue, hWnd, nIDEvent);
    if (found == queue->timers.end()) {
        queue->timers.push_back(Timer{hWnd, nIDEvent, 0, 0, nullptr, false});
        found = queue->timers.end() - 1;
    }
    found->period = static_cast<sim::Ticks>(uElapse) * sim::kTicksPerMs;
    found->due = sim::CurrentScheduler().Now() + found->period;
    found->proc = lpTimerFunc;
    found->pending = false;
    // A thread already waiting learns of its new deadline.
    Wake(*queue, 0);
    return nIDEvent != 0 ? nIDEvent : 1;
}

// Stops the timer and takes its pending WM_TIMER away; one the thread does not have fails
// with ERROR_INVALID_PARAMETER.
BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    ThreadQueue* queue = QueueFor(hWnd);
    if (queue == nullptr) {
        return FALSE;
    }
    auto found = FindTimer(*queue, hWnd, uIDEvent);
    if (found == queue->timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    queue->timers.erase(found);
    return TRUE;
}
