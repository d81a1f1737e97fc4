// DestroyWindow.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// WM_DESTROY goes to a window before its children.
void SendDestroyMessages(HWND hwnd) {
    if (Window* window = FindWindowRecord(hwnd)) {
        window->destroying = true;
    }
    SendMessageA(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : ChildrenOf(hwnd)) {
        SendDestroyMessages(child);
    }
}

// WM_NCDESTROY goes to the children first; then the window is gone, with its timers and
// posted messages, and whoever still waits on a message sent to it gets 0.
void FreeWindow(HWND hwnd) {
    for (HWND child : ChildrenOf(hwnd)) {
        FreeWindow(child);
    }
    SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
    Window* window = FindWindowRecord(hwnd);
    if (window == nullptr) {
        return;
    }
    if (ThreadQueue* queue = QueueOf(window->thread)) {
        if (queue->focus == hwnd) {
            queue->focus = nullptr;
        }
        if (queue->active == hwnd) {
            queue->active = nullptr;
        }
    }
    FailSendsTo(hwnd);
    ForgetWindowMessages(hwnd);
    RemoveWindow(hwnd);
}

}  // namespace

// Destroys the window and all below it: first the windows it owns (each its own
// WM_DESTROY and WM_NCDESTROY), then it hides the window if visible, sends WM_DESTROY to
// it and then to its children, and WM_NCDESTROY to the children and last to it. Only the
// creating thread may destroy a window (ERROR_ACCESS_DENIED). Destroying a window again
// from inside its own destruction does nothing more. The active window of its thread hands
// activation on (as hiding it does) before its WM_DESTROY.
BOOL WINAPI DestroyWindow(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->thread != sim::CurrentScheduler().Current()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (window->destroying) {
        return TRUE;
    }
    window->destroying = true;
    const sim::SimThread* thread = window->thread;
    for (HWND owned : OwnedBy(hWnd)) {
        Window* owned_window = FindWindowRecord(owned);
        if (owned_window != nullptr && owned_window->thread == thread) {
            DestroyWindow(owned);
        }
    }
    if (IsWindowVisible(hWnd)) {
        SetWindowPos(hWnd, NULL, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE);
    }
    if (FindWindowRecord(hWnd) == nullptr) {
        return TRUE;
    }
    if (Window* gone = FindWindowRecord(hWnd); gone != nullptr && !gone->IsChildWindow()) {
        LogUi(*gone, "destroyed");
        HandOnActivation(hWnd);
    }
    SendDestroyMessages(hWnd);
    if (FindWindowRecord(hWnd) != nullptr) {
        FreeWindow(hWnd);
    }
    return TRUE;
}
