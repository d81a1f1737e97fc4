// Activation, the foreground and the keyboard focus: SetForegroundWindow and the rules that
// refuse it, AllowSetForegroundWindow, GetForegroundWindow, SetActiveWindow, GetActiveWindow,
// SetFocus and GetFocus. Each thread has its active window and its focus; the foreground
// window is the active window of the foreground thread, and keys go to that thread's focus.
#include <windows.h>

#include <algorithm>
#include <optional>

#include "pc/machine.h"
#include "win32/process/process.h"
#include "win32/user32/menu_table.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace sim::win32::user32 {
namespace {

// SPI_GETFOREGROUNDLOCKTIMEOUT's default.
constexpr UINT kDefaultForegroundLockMs = 200000;
// The shell's taskbar as the receiver of input: no program's process.
constexpr uint32_t kShellProcess = 0;

// What the foreground rules look at.
struct InputState {
    bool taskbar_in_front = false;               // the shell's taskbar has the foreground
    std::optional<uint32_t> last_input_process;  // 0: the shell's taskbar
    Ticks last_input = 0;
    // AllowSetForegroundWindow's grant, until the next input event.
    std::optional<uint32_t> allowed;
    bool allow_any = false;
    UINT lock_timeout_ms = kDefaultForegroundLockMs;
};

InputState& Input() {
    return Machine::Current().Extension<InputState>();
}

ThreadQueue* QueueOfWindow(HWND hwnd) {
    const Window* window = FindWindowRecord(hwnd);
    return window == nullptr ? nullptr : QueueOf(window->thread);
}

// The thread that had the foreground loses it and, on its own turn, its active window.
void TakeForegroundFrom(ThreadQueue* old, ThreadQueue* target, HWND top) {
    if (old == nullptr || old == target) {
        return;
    }
    old->foreground = false;
    RunOnThread(*old, nullptr, [old, top] { ActivateInThread(*old, nullptr, WA_INACTIVE, top); });
}

// Windows' test for a window activation may go to: shown, enabled, not a child.
bool CanTakeActivation(HWND hwnd) {
    const Window* window = FindWindowRecord(hwnd);
    return window != nullptr && !window->IsChildWindow() && !window->destroying &&
           (window->style & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE;
}

// The owner of a popup, else the next window in z-order below it, else one above it.
HWND NextToActivate(HWND hwnd) {
    const Window* window = FindWindowRecord(hwnd);
    if ((window->style & WS_POPUP) != 0 && CanTakeActivation(window->owner)) {
        return window->owner;
    }
    std::vector<HWND> order = ZOrder();
    auto at = std::find(order.begin(), order.end(), hwnd);
    std::vector<HWND> candidates(at == order.end() ? order.begin() : at + 1, order.end());
    candidates.insert(candidates.end(), order.begin(), at);
    for (HWND candidate : candidates) {
        if (CanTakeActivation(candidate)) {
            return candidate;
        }
    }
    return nullptr;
}

void Flash(HWND top) {
    if (const Window* window = FindWindowRecord(top)) {
        LogUi(*window, "flashed");
    }
}

}  // namespace

HWND ForegroundWindow() {
    ThreadQueue* queue = ForegroundQueue();
    return queue != nullptr && IsWindow(queue->active) ? queue->active : nullptr;
}

HWND ActivateInThread(ThreadQueue& queue, HWND top, WORD how, HWND other) {
    HWND previous = queue.active;
    if (previous == top) {
        return previous;
    }
    queue.active = top;
    const Window* window = FindWindowRecord(top);
    if (window != nullptr && queue.foreground) {
        LogUi(*window, "activated");
    }
    if (previous != nullptr && IsWindow(previous)) {
        SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE,
                     reinterpret_cast<LPARAM>(top != nullptr ? top : other));
    }
    if (top != nullptr && IsWindow(top) && queue.active == top) {
        SendMessageA(top, WM_ACTIVATE, how,
                     reinterpret_cast<LPARAM>(previous != nullptr ? previous : other));
    }
    return previous;
}

void BringToForeground(HWND top, WORD how) {
    ThreadQueue* target = QueueOfWindow(top);
    if (target == nullptr) {
        return;
    }
    Input().taskbar_in_front = false;
    ThreadQueue* old = ForegroundQueue();
    if (old == target && target->active == top) {
        return;
    }
    HWND old_window = ForegroundWindow();
    TakeForegroundFrom(old, target, top);
    target->foreground = true;
    // The thread may have the window active already (activated while in the background).
    RunOnThread(*target, top, [target, top, how, old_window] {
        if (target->active != top) {
            ActivateInThread(*target, top, how, old_window);
        } else if (target->foreground) {
            LogUi(*FindWindowRecord(top), "activated");
        }
    });
}

bool MayTakeForeground(uint32_t process_id) {
    const InputState& input = Input();
    if (OpenMenu()) {
        return false;
    }
    ThreadQueue* foreground = ForegroundQueue();
    if (foreground == nullptr && !input.taskbar_in_front) {
        return true;
    }
    if ((foreground != nullptr && foreground->process_id == process_id) ||
        input.last_input_process == process_id || input.allowed == process_id || input.allow_any) {
        return true;
    }
    // Without input since the machine started, nobody is at work to be disturbed.
    Ticks lock = static_cast<Ticks>(input.lock_timeout_ms) * kTicksPerMs;
    return !input.last_input_process || CurrentScheduler().Now() - input.last_input >= lock;
}

void ActivateShown(HWND top) {
    if (top == ForegroundWindow()) {
        return;
    }
    if (MayTakeForeground(sim::win32::CurrentProcess().id())) {
        BringToForeground(top, WA_ACTIVE);
        return;
    }
    Flash(top);
    ThreadQueue* queue = QueueOfWindow(top);
    if (queue != nullptr && queue->thread == CurrentScheduler().Current()) {
        ActivateInThread(*queue, top, WA_ACTIVE);
    }
}

void HandOnActivation(HWND hwnd) {
    ThreadQueue* queue = QueueOfWindow(hwnd);
    if (queue == nullptr || queue->active != hwnd) {
        return;
    }
    HWND next = NextToActivate(hwnd);
    RunOnThread(*queue, nullptr, [queue, hwnd, next] {
        if (queue->active != hwnd) {
            return;
        }
        if (queue->foreground || ForegroundQueue() == nullptr) {
            if (next != nullptr && IsWindow(next)) {
                BringToForeground(next, WA_ACTIVE);
                return;
            }
            queue->foreground = false;
        }
        ThreadQueue* owner = QueueOfWindow(next);
        ActivateInThread(*queue, owner == queue ? next : nullptr, WA_ACTIVE, next);
    });
}

void NoteUserInput(uint32_t process_id) {
    InputState& input = Input();
    input.last_input_process = process_id;
    input.last_input = CurrentScheduler().Now();
    input.allowed.reset();
    input.allow_any = false;
}

UINT& ForegroundLockTimeoutMs() {
    return Input().lock_timeout_ms;
}

}  // namespace sim::win32::user32

namespace sim::win32 {

void TaskbarClicked(uint32_t allowed_process) {
    NoteUserInput(kShellProcess);
    TakeForegroundFrom(ForegroundQueue(), nullptr, nullptr);
    InputState& input = Input();
    input.taskbar_in_front = true;
    if (allowed_process != 0) {
        input.allowed = allowed_process;
    }
}

}  // namespace sim::win32

// Brings the window's top-level window to the foreground if the calling process may (see
// MayTakeForeground); otherwise fails, and the window's taskbar button flashes.
BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    if (WindowOrError(hWnd) == nullptr) {
        return FALSE;
    }
    HWND top = RootOf(hWnd);
    if (top == ForegroundWindow()) {
        return TRUE;
    }
    if (!MayTakeForeground(sim::win32::CurrentProcess().id())) {
        Flash(top);
        return FALSE;
    }
    BringToForeground(top, WA_ACTIVE);
    return TRUE;
}

// Lets the process (every process with ASFW_ANY) set the foreground window until the next
// input event; only a process that may set it itself can grant it (ERROR_ACCESS_DENIED).
BOOL WINAPI AllowSetForegroundWindow(DWORD dwProcessId) {
    if (!MayTakeForeground(sim::win32::CurrentProcess().id())) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    InputState& input = Input();
    if (dwProcessId == ASFW_ANY) {
        input.allow_any = true;
    } else {
        input.allowed = dwProcessId;
    }
    return TRUE;
}

// Activates a top-level window of the calling thread and returns the one active before;
// NULL (and no change) for a window of another thread. The window comes to the foreground
// only if its thread has the foreground already.
HWND WINAPI SetActiveWindow(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    ThreadQueue& queue = CurrentQueue();
    if (window == nullptr || window->thread != queue.thread) {
        return NULL;
    }
    if (window->IsChildWindow()) {
        return queue.active;
    }
    return ActivateInThread(queue, hWnd, WA_ACTIVE);
}

// The calling thread's active window, NULL if it has none.
HWND WINAPI GetActiveWindow(void) {
    HWND active = CurrentQueue().active;
    return IsWindow(active) ? active : NULL;
}

// The active window of the foreground thread; NULL while no thread has the foreground.
HWND WINAPI GetForegroundWindow(void) {
    return ForegroundWindow();
}

// Gives the keyboard focus to a window of the calling thread, activating its top-level window
// first as SetActiveWindow does: WM_KILLFOCUS to the one that had it, then WM_SETFOCUS to the
// new one. Returns the previous focus; NULL (and no change) for a window of another thread.
HWND WINAPI SetFocus(HWND hWnd) {
    ThreadQueue& queue = CurrentQueue();
    if (hWnd != NULL) {
        Window* window = WindowOrError(hWnd);
        if (window == nullptr || window->thread != queue.thread) {
            return NULL;
        }
        HWND top = RootOf(hWnd);
        if (top != queue.active) {
            ActivateInThread(queue, top, WA_ACTIVE);
            if (!IsWindow(hWnd) || queue.active != top) {
                return NULL;
            }
        }
    }
    HWND previous = queue.focus;
    if (previous == hWnd) {
        return previous;
    }
    queue.focus = hWnd;
    if (previous != NULL && IsWindow(previous)) {
        SendMessageA(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    }
    if (hWnd != NULL) {
        SendMessageA(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
    }
    return previous;
}

// The calling thread's focus window, NULL if it has none.
HWND WINAPI GetFocus(void) {
    return CurrentQueue().focus;
}
