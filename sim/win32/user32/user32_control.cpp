#include "win32/user32/user32_control.h"

#include <windows.h>

#include <algorithm>

#include "pc/machine.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/mouse.h"
#include "win32/user32/window_table.h"

namespace sim::win32 {
namespace {

using namespace user32;

struct ObserverHolder {
    SendObserver observer;
};

// Per machine, as everything the run observes.
SendObserver& Observer() {
    return Machine::Current().Extension<ObserverHolder>().observer;
}

// Key-up messages carry the previous-state and transition bits.
constexpr LPARAM kKeyDownBits = 1;
constexpr LPARAM kKeyUpBits = 1 | 0xC0000000L;

}  // namespace

// A window of the calling thread runs the message at once, as SendNotifyMessage does.
void BroadcastPowerEvent(uintptr_t event, int64_t patience) {
    Scheduler& scheduler = CurrentScheduler();
    SimThread* self = scheduler.Current();
    ThreadQueue* waiting = patience > 0 && self != nullptr ? &CurrentQueue() : nullptr;
    std::vector<std::shared_ptr<SentMessage>> sent;
    for (HWND hwnd : AllWindows()) {
        Window* window = FindWindowRecord(hwnd);
        if (window == nullptr || window->IsChildWindow()) {
            continue;
        }
        if (window->thread == self) {
            CallWindowProcedure(hwnd, WM_POWERBROADCAST, event, 0);
        } else if (ThreadQueue* queue = QueueOf(window->thread)) {
            sent.push_back(QueueSentMessage(*queue, hwnd, WM_POWERBROADCAST, event, 0, waiting));
        }
    }
    if (waiting == nullptr) {
        return;
    }
    Ticks until = scheduler.Now() + patience;
    auto unanswered = [&sent] {
        return std::any_of(sent.begin(), sent.end(),
                           [](const std::shared_ptr<SentMessage>& one) { return !one->done; });
    };
    while (unanswered() && scheduler.Now() < until && !scheduler.Unwinding()) {
        scheduler.Block(waiting->WakeKey(), until, "programs to answer WM_POWERBROADCAST");
    }
    // Those that answer later tell nobody.
    for (const std::shared_ptr<SentMessage>& one : sent) {
        one->sender = nullptr;
    }
}

void PressKey(WindowHandle hwnd, uint32_t virtual_key) {
    Window* window = FindWindowRecord(hwnd);
    ThreadQueue* queue = window == nullptr ? nullptr : QueueOf(window->thread);
    if (queue == nullptr) {
        return;
    }
    NoteUserInput(queue->process_id);
    queue->input.push_back(MakeMessage(hwnd, WM_KEYDOWN, virtual_key, kKeyDownBits));
    queue->input.push_back(MakeMessage(hwnd, WM_KEYUP, virtual_key, kKeyUpBits));
    Wake(*queue, QS_KEY);
}

void MoveCursor(int x, int y) {
    SetCursorPos(x, y);
}

bool ClickWindow(WindowHandle hwnd) {
    RECT rect;
    if (!IsShown(hwnd) || !GetWindowRect(hwnd, &rect)) {
        return false;
    }
    MoveCursor((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return ClickAtCursor();
}

WindowHandle FindShownWindow(const std::string& ui_name, int control_id,
                             const std::vector<const SimThread*>& threads) {
    for (HWND hwnd : ZOrder()) {
        const Window* window = FindWindowRecord(hwnd);
        if (!IsShown(hwnd) || UiName(*window) != ui_name ||
            (!threads.empty() &&
             std::find(threads.begin(), threads.end(), window->thread) == threads.end())) {
            continue;
        }
        return control_id < 0 ? hwnd : GetDlgItem(hwnd, control_id);
    }
    return nullptr;
}

WindowHandle FocusWindow() {
    HWND active = ForegroundWindow();
    const Window* window = FindWindowRecord(active);
    ThreadQueue* queue = window == nullptr ? nullptr : QueueOf(window->thread);
    if (queue == nullptr) {
        return nullptr;
    }
    return queue->focus != nullptr && IsWindow(queue->focus) ? queue->focus : active;
}

void SetUiNamer(UiNamer namer) {
    user32::TheUiNamer() = std::move(namer);
}

void SetSendObserver(SendObserver observer) {
    Observer() = std::move(observer);
}

std::vector<LiveWindow> LiveWindows() {
    std::vector<LiveWindow> live;
    for (const LeftWindow& left : WindowsLeftByEndedThreads()) {
        live.push_back({left.handle, left.window_class, left.title, left.thread, true});
    }
    for (HWND hwnd : AllWindows()) {
        const Window* window = FindWindowRecord(hwnd);
        live.push_back({hwnd, window->window_class->name, window->text,
                        window->thread != nullptr ? window->thread->name() : "", false});
    }
    // Handles grow with every window made: their order is the order of creation.
    std::sort(live.begin(), live.end(), [](const LiveWindow& a, const LiveWindow& b) {
        return reinterpret_cast<uintptr_t>(a.hwnd) < reinterpret_cast<uintptr_t>(b.hwnd);
    });
    return live;
}

}  // namespace sim::win32

namespace sim::win32::user32 {

void NotifySendObserver(const SimThread* sender, HWND hwnd, UINT message, WPARAM wparam,
                        LPARAM lparam) {
    SendObserver& observer = Observer();
    if (observer) {
        observer(sender, hwnd, message, wparam, lparam);
    }
}

}  // namespace sim::win32::user32
