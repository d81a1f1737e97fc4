// BeginPaint, EndPaint, InvalidateRect and ValidateRect: the window manager's side of painting; the
// window's device context and what is drawn through it are GDI's.
#include <windows.h>

#include <cstring>

#include "win32/gdi32/gdi.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

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
    lpPaint->hdc = sim::win32::gdi32::WindowDc(hWnd);
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

// Takes the window's need of WM_PAINT away (the whole client area, whatever the rectangle).
BOOL WINAPI ValidateRect(HWND hWnd, const RECT*) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    window->needs_paint = false;
    return TRUE;
}
