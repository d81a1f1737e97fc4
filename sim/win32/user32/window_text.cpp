// SetWindowTextA and GetWindowTextA, through the window's own WM_SETTEXT / WM_GETTEXT.
#include <windows.h>

#include <string>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

// Sends WM_SETTEXT (across threads too); TRUE if the window took the text. A button's
// `ui` line tells of a caption that changed.
BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
    const Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    std::string before = window->text;
    BOOL taken = SendMessageA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) != 0;
    window = FindWindowRecord(hWnd);
    if (taken && window != nullptr && window->window_class->name == "Button" &&
        window->text != before) {
        LogUi(*window, "caption \"" + window->text + "\"");
    }
    return taken;
}

// Sends WM_GETTEXT: at most nMaxCount - 1 characters and the terminator; returns the count
// copied (0, with an empty buffer, for a window that is gone). The shortcut Windows takes
// for windows of other processes is not needed: there is one process.
int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
    if (nMaxCount <= 0) {
        return 0;
    }
    lpString[0] = '\0';
    if (WindowOrError(hWnd) == nullptr) {
        return 0;
    }
    return static_cast<int>(SendMessageA(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount),
                                         reinterpret_cast<LPARAM>(lpString)));
}
