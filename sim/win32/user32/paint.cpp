// BeginPaint, EndPaint, InvalidateRect and DrawIcon: the window manager's side of painting.
// A window's device context is a handle of its own that the GDI stand-in gives meaning;
// nothing is drawn here.
#include <windows.h>

#include <cstring>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// One device context per window, told apart from every other kind of handle.
constexpr uintptr_t kWindowDcBase = 0x0D000000;

HDC WindowDc(HWND hwnd) {
    return reinterpret_cast<HDC>(kWindowDcBase | reinterpret_cast<uintptr_t>(hwnd));
}

}  // namespace

// Validates the window (no WM_PAINT until it is invalidated again) and fills the record
// with its device context and the whole client area. The background erase (WM_ERASEBKGND)
// and update regions smaller than the client area are not modelled.
HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return NULL;
    }
    window->needs_paint = false;
    std::memset(lpPaint, 0, sizeof(*lpPaint));
    lpPaint->hdc = WindowDc(hWnd);
    GetClientRect(hWnd, &lpPaint->rcPaint);
    return lpPaint->hdc;
}

// Ends BeginPaint's painting; nothing is left to release.
BOOL WINAPI EndPaint(HWND, const PAINTSTRUCT*) {
    return TRUE;
}

// Marks the window as needing WM_PAINT (the whole client area, whatever the rectangle).
BOOL WINAPI InvalidateRect(HWND hWnd, const RECT*, BOOL) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    window->needs_paint = true;
    if (ThreadQueue* queue = QueueOf(window->thread)) {
        Wake(*queue, QS_PAINT);
    }
    return TRUE;
}

// Accepts the icon for drawing; the pixels are GDI's part, which the simulated PC does not
// draw yet. A missing device context or icon fails with ERROR_INVALID_PARAMETER.
BOOL WINAPI DrawIcon(HDC hDC, int, int, HICON hIcon) {
    if (hDC == NULL || hIcon == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
