// Activation and the keyboard focus: SetForegroundWindow, GetForegroundWindow,
// SetActiveWindow, GetActiveWindow, SetFocus and GetFocus. The desktop has one active window,
// which is also the foreground one.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace sim::win32::user32 {

HWND Activate(HWND hwnd, WORD how) {
    HWND top = RootOf(hwnd);
    HWND previous = ForegroundWindow();
    if (top == nullptr || top == previous) {
        return previous;
    }
    ForegroundWindow() = top;
    if (const Window* record = FindWindowRecord(top)) {
        LogUi(*record, "activated");
    }
    if (previous != nullptr && IsWindow(previous)) {
        SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(top));
    }
    if (IsWindow(top) && ForegroundWindow() == top) {
        SendMessageA(top, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(previous));
    }
    return previous;
}

}  // namespace sim::win32::user32

// Activates the window's top-level window; always allowed (the foreground lock of Windows,
// which refuses background processes, is not modelled).
BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    if (WindowOrError(hWnd) == nullptr) {
        return FALSE;
    }
    Activate(hWnd, WA_ACTIVE);
    return TRUE;
}

// Activates a top-level window of the calling thread and returns the one active before;
// NULL (and no change) for a window of another thread.
HWND WINAPI SetActiveWindow(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr || window->thread != CurrentQueue().thread) {
        return NULL;
    }
    return Activate(hWnd, WA_ACTIVE);
}

HWND WINAPI GetActiveWindow(void) {
    return ForegroundWindow();
}

// The window SetForegroundWindow made the foreground one, NULL once it is gone.
HWND WINAPI GetForegroundWindow(void) {
    return ForegroundWindow();
}

// Gives the keyboard focus to a window of the calling thread: WM_KILLFOCUS to the one that
// had it, then WM_SETFOCUS to the new one. Returns the previous focus; NULL (and no change)
// for a window of another thread. Activating the window's top-level window is not modelled.
HWND WINAPI SetFocus(HWND hWnd) {
    ThreadQueue& queue = CurrentQueue();
    if (hWnd != NULL) {
        Window* window = WindowOrError(hWnd);
        if (window == nullptr) {
            return NULL;
        }
        if (window->thread != queue.thread) {
            return NULL;
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
