// IsWindow, GetWindowThreadProcessId, GetParent, GetDlgItem, GetDlgCtrlID, IsWindowVisible,
// IsIconic, IsWindowEnabled, GetClientRect, GetWindowRect, ScreenToClient, ClientToScreen and
// PtInRect: what a window is, without messages.
#include <windows.h>

#include "win32/process/process.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace sim::win32::user32 {

POINT ClientOrigin(const Window& window) {
    RECT margins = NonClientMargins(window.style, window.ex_style);
    POINT origin = {window.rect.left + margins.left, window.rect.top + margins.top};
    if (const Window* parent = FindWindowRecord(window.parent)) {
        POINT above = ClientOrigin(*parent);
        origin.x += above.x;
        origin.y += above.y;
    }
    return origin;
}

}  // namespace sim::win32::user32

// TRUE while the handle names a window not yet destroyed; sets no error.
BOOL WINAPI IsWindow(HWND hWnd) {
    return FindWindowRecord(hWnd) != nullptr;
}

// The thread that made the window, and (when asked) its process; 0 for no window.
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    Window* window = WindowOrError(hWnd);
    const ThreadQueue* queue = window == nullptr ? nullptr : QueueOf(window->thread);
    if (queue == nullptr) {
        return 0;
    }
    if (lpdwProcessId != NULL) {
        *lpdwProcessId = queue->process_id;
    }
    return static_cast<const sim::win32::Thread*>(window->thread->user_thread)->id();
}

// A child's parent, or a top-level window's owner (NULL for an unowned one).
HWND WINAPI GetParent(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return NULL;
    }
    return window->parent != nullptr ? window->parent : window->owner;
}

// The first child (in creation order) with the identifier; ERROR_CONTROL_ID_NOT_FOUND if
// none has it. Grandchildren are not searched, as on Windows.
HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    if (WindowOrError(hDlg) == nullptr) {
        return NULL;
    }
    for (HWND child : ChildrenOf(hDlg)) {
        if (FindWindowRecord(child)->id == static_cast<UINT_PTR>(nIDDlgItem)) {
            return child;
        }
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return NULL;
}

// A child's identifier (its hMenu at creation); 0 for a window that is gone.
int WINAPI GetDlgCtrlID(HWND hWnd) {
    Window* window = WindowOrError(hWnd);
    return window == nullptr ? 0 : static_cast<int>(window->id);
}

// TRUE only if the window and all its parents have WS_VISIBLE; covering windows do not count.
BOOL WINAPI IsWindowVisible(HWND hWnd) {
    return IsShown(hWnd);
}

// Whether ShowWindow minimised the window; FALSE for a window that is gone.
BOOL WINAPI IsIconic(HWND hWnd) {
    Window* window = FindWindowRecord(hWnd);
    return window != nullptr && window->iconic;
}

// Whether the window lacks WS_DISABLED; the parents' state does not count, as on Windows.
BOOL WINAPI IsWindowEnabled(HWND hWnd) {
    Window* window = FindWindowRecord(hWnd);
    return window != nullptr && (window->style & WS_DISABLED) == 0;
}

// The client area in its own coordinates: the window less its frame and caption.
BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    RECT margins = NonClientMargins(window->style, window->ex_style);
    LONG width = window->rect.right - window->rect.left - margins.left - margins.right;
    LONG height = window->rect.bottom - window->rect.top - margins.top - margins.bottom;
    *lpRect = RECT{0, 0, width > 0 ? width : 0, height > 0 ? height : 0};
    return TRUE;
}

// The whole window in screen coordinates.
BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    *lpRect = window->rect;
    if (const Window* parent = FindWindowRecord(window->parent)) {
        POINT origin = ClientOrigin(*parent);
        lpRect->left += origin.x;
        lpRect->right += origin.x;
        lpRect->top += origin.y;
        lpRect->bottom += origin.y;
    }
    return TRUE;
}

namespace {

// Moves the point by the client area's origin on the screen, `sign` times.
BOOL ShiftByClientOrigin(HWND hwnd, LPPOINT point, int sign) {
    Window* window = WindowOrError(hwnd);
    if (window == nullptr) {
        return FALSE;
    }
    POINT origin = ClientOrigin(*window);
    point->x += sign * origin.x;
    point->y += sign * origin.y;
    return TRUE;
}

}  // namespace

// Screen to client coordinates and back, through the client area's origin on the screen.
BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
    return ShiftByClientOrigin(hWnd, lpPoint, -1);
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
    return ShiftByClientOrigin(hWnd, lpPoint, 1);
}

// Left and top edges inside, right and bottom outside, as everywhere in Windows.
BOOL WINAPI PtInRect(const RECT* lprc, POINT pt) {
    return lprc != NULL && pt.x >= lprc->left && pt.x < lprc->right && pt.y >= lprc->top &&
           pt.y < lprc->bottom;
}
