// SetWindowPos, ShowWindow and EnableWindow.
#include <windows.h>

#include <cstring>

#include "win32/user32/message_queue.h"
#include "win32/user32/mouse.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

// Sends WM_WINDOWPOSCHANGING with a WINDOWPOS whose position and size are the window's own
// where SWP_NOMOVE / SWP_NOSIZE keep them; the handler may change any field, and what it
// leaves is applied: position, size, SWP_SHOWWINDOW / SWP_HIDEWINDOW. Then
// WM_WINDOWPOSCHANGED with the same record. Showing a visible window is no change, and a
// shown window needs painting. A top-level window takes its place in the z-order (unless
// SWP_NOZORDER) and, hidden or not, is activated (unless SWP_NOACTIVATE): brought to the
// foreground when the calling process may set it, else flashed (see ActivateShown). Hidden
// while its thread's active window, it hands activation on. WM_NCCALCSIZE is not modelled.
BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy,
                         UINT uFlags) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    WINDOWPOS pos = {hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags};
    if ((uFlags & SWP_NOMOVE) != 0) {
        pos.x = window->rect.left;
        pos.y = window->rect.top;
    }
    if ((uFlags & SWP_NOSIZE) != 0) {
        pos.cx = window->rect.right - window->rect.left;
        pos.cy = window->rect.bottom - window->rect.top;
    }
    if ((window->style & WS_VISIBLE) != 0) {
        pos.flags &= ~SWP_SHOWWINDOW;
    } else {
        pos.flags &= ~SWP_HIDEWINDOW;
    }
    if ((pos.flags & SWP_NOSENDCHANGING) == 0) {
        SendMessageA(hWnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
        window = FindWindowRecord(hWnd);
        if (window == nullptr) {
            return FALSE;
        }
    }
    bool top_level = !window->IsChildWindow();
    bool moved = false;
    if ((pos.flags & SWP_NOMOVE) == 0 || (pos.flags & SWP_NOSIZE) == 0) {
        RECT rect = RECT{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
        moved = std::memcmp(&rect, &window->rect, sizeof rect) != 0;
        window->rect = rect;
    }
    if (top_level && (pos.flags & SWP_SHOWWINDOW) != 0) {
        LogUiPlace(*window, "shown");
    } else if (top_level && (pos.flags & SWP_HIDEWINDOW) != 0) {
        LogUi(*window, "hidden");
    } else if (top_level && moved && (window->style & WS_VISIBLE) != 0) {
        LogUiPlace(*window, "moved");
    }
    if ((pos.flags & SWP_SHOWWINDOW) != 0) {
        window->style |= WS_VISIBLE;
        window->needs_paint = true;
        if (ThreadQueue* queue = QueueOf(window->thread)) {
            Wake(*queue, QS_PAINT);
        }
    } else if ((pos.flags & SWP_HIDEWINDOW) != 0) {
        window->style &= ~WS_VISIBLE;
    }
    if (top_level && (pos.flags & SWP_NOZORDER) == 0) {
        PlaceInZOrder(hWnd, pos.hwndInsertAfter);
    }
    if (top_level && (pos.flags & SWP_NOACTIVATE) == 0 && !window->destroying) {
        ActivateShown(hWnd);
        if (!IsWindow(hWnd)) {
            return FALSE;
        }
    }
    if (top_level && (moved || (pos.flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) != 0)) {
        WindowsChangedUnderCursor();
    }
    SendMessageA(hWnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    if (top_level && (pos.flags & SWP_HIDEWINDOW) != 0) {
        HandOnActivation(hWnd);
    }
    return TRUE;
}

// Shows, hides, minimises or restores: WM_SHOWWINDOW, then SetWindowPos with
// SWP_SHOWWINDOW or SWP_HIDEWINDOW, so a WM_WINDOWPOSCHANGING handler can keep the window
// hidden. Returns whether it was visible before. A minimised window keeps its size here
// (only IsIconic changes); maximising is showing.
BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    bool was_visible = (window->style & WS_VISIBLE) != 0;
    bool show = nCmdShow != SW_HIDE;
    bool iconic = window->iconic;
    switch (nCmdShow) {
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            iconic = true;
            break;
        case SW_SHOWNORMAL:
        case SW_SHOWMAXIMIZED:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            iconic = false;
            break;
    }
    if (show == was_visible && iconic == window->iconic) {
        return was_visible;
    }
    window->iconic = iconic;
    if (show != was_visible) {
        SendMessageA(hWnd, WM_SHOWWINDOW, show, 0);
    }
    UINT flags = (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW) | SWP_NOMOVE | SWP_NOSIZE;
    if (!show || nCmdShow == SW_SHOWNA || nCmdShow == SW_SHOWNOACTIVATE ||
        nCmdShow == SW_SHOWMINNOACTIVE) {
        flags |= SWP_NOACTIVATE | SWP_NOZORDER;
    }
    SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, flags);
    return was_visible;
}

// Sets or clears WS_DISABLED and sends WM_ENABLE when that changes; returns whether the
// window was disabled before.
BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    bool was_disabled = (window->style & WS_DISABLED) != 0;
    if (was_disabled == !bEnable) {
        return was_disabled;
    }
    if (bEnable) {
        window->style &= ~WS_DISABLED;
    } else {
        window->style |= WS_DISABLED;
    }
    if (window->window_class->name == "Button") {
        LogUi(*window, bEnable ? "enabled=1" : "enabled=0");
    }
    SendMessageA(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    return was_disabled;
}
