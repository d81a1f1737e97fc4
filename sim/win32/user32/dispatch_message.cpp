// DispatchMessageA and TranslateMessage.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// Only a timer the thread still has may have its procedure called from a WM_TIMER.
TIMERPROC LiveTimerProc(const MSG& msg) {
    ThreadQueue& queue = CurrentQueue();
    for (const Timer& timer : queue.timers) {
        if (timer.hwnd == msg.hwnd && timer.id == msg.wParam &&
            reinterpret_cast<LPARAM>(timer.proc) == msg.lParam) {
            return timer.proc;
        }
    }
    return nullptr;
}

// The character a key makes without shift: digits, letters in lower case, and the few
// control keys that have one.
char CharacterOf(WPARAM key) {
    if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE ||
        key == VK_BACK || key == VK_TAB) {
        return static_cast<char>(key);
    }
    if (key >= 'A' && key <= 'Z') {
        return static_cast<char>(key - 'A' + 'a');
    }
    return 0;
}

}  // namespace

// Calls the procedure of the message's window and returns its result; a WM_TIMER whose
// lParam is the procedure of one of the thread's live timers calls that instead, with the
// message time. A message without window, or for a window that is gone, returns 0 (the
// latter with ERROR_INVALID_WINDOW_HANDLE). Windows of other threads are not refused.
LRESULT WINAPI DispatchMessageA(const MSG* lpMsg) {
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        if (TIMERPROC proc = LiveTimerProc(*lpMsg)) {
            if (!sim::CurrentScheduler().Unwinding()) {
                proc(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, MessageTime());
            }
            return 0;
        }
    }
    if (lpMsg->hwnd == NULL || WindowOrError(lpMsg->hwnd) == nullptr) {
        return 0;
    }
    return CallWindowProcedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// Posts WM_CHAR for a WM_KEYDOWN of a key that makes a character (the keyboard layout is
// US, with neither shift nor caps lock); TRUE if it did. Dead keys and WM_SYSKEYDOWN are
// not modelled.
BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg->message != WM_KEYDOWN) {
        return FALSE;
    }
    char character = CharacterOf(lpMsg->wParam);
    if (character == 0) {
        return FALSE;
    }
    PostToQueue(CurrentQueue(),
                MakeMessage(lpMsg->hwnd, WM_CHAR, static_cast<WPARAM>(character), lpMsg->lParam));
    return TRUE;
}
