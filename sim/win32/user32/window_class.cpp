// RegisterClassA and RegisterClassExA.
#include <windows.h>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// WNDCLASSEXA as a 32-bit program passes it.
constexpr UINT kWndClassExSize32 = 48;

ATOM Register(const WNDCLASSEXA& wc) {
    if (wc.lpszClassName == NULL || wc.lpfnWndProc == NULL || wc.cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (FindClass(wc.lpszClassName) != nullptr) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    WindowClass window_class;
    window_class.name = wc.lpszClassName;
    window_class.proc = wc.lpfnWndProc;
    window_class.window_extra = wc.cbWndExtra;
    window_class.icon = wc.hIcon;
    return AddClass(std::move(window_class))->atom;
}

}  // namespace

// Registers a class of the program by name and returns its atom. A name taken already
// (the system's classes included) fails with ERROR_CLASS_ALREADY_EXISTS. Class styles,
// class extra bytes, menus and cursors are kept nowhere; classes are the machine's, not a
// process's, and are never unregistered.
ATOM WINAPI RegisterClassA(const WNDCLASSA* lpWndClass) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = lpWndClass->style;
    wc.lpfnWndProc = lpWndClass->lpfnWndProc;
    wc.cbClsExtra = lpWndClass->cbClsExtra;
    wc.cbWndExtra = lpWndClass->cbWndExtra;
    wc.hInstance = lpWndClass->hInstance;
    wc.hIcon = lpWndClass->hIcon;
    wc.lpszClassName = lpWndClass->lpszClassName;
    return Register(wc);
}

// As RegisterClassA; cbSize must be the 32-bit program's 48 or the host's own size.
ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpWndClass) {
    if (lpWndClass->cbSize != kWndClassExSize32 && lpWndClass->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Register(*lpWndClass);
}
