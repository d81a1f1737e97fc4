// SetForegroundWindow, GetForegroundWindow, SetFocus and GetFocus.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

// Makes the window's top-level window the foreground one; always allowed (the foreground
// lock of Windows, which refuses background processes, is not modelled), and without
// activation messages.
BOOL WINAPI SetForegroundWindow(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    while (window->parent != nullptr) {
        window = FindWindowRecord(window->parent);
    }
    ForegroundWindow() = window->handle;
    return TRUE;
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
