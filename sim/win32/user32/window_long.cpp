// GetWindowLongPtrA, SetWindowLongPtrA and CallWindowProcA.
#include <windows.h>

#include <cstring>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// A non-negative index is a byte offset into the window's extra bytes (cbWndExtra; for a
// dialog, DWLP_MSGRESULT, DWLP_DLGPROC and DWLP_USER).
struct Field {
    bool valid = false;
    LONG_PTR value = 0;
};

Field Read(const Window& window, int index) {
    switch (index) {
        case GWLP_WNDPROC:
            return {true, reinterpret_cast<LONG_PTR>(window.proc)};
        case GWLP_HINSTANCE:
            return {true, reinterpret_cast<LONG_PTR>(window.instance)};
        case GWLP_HWNDPARENT:
            return {true, reinterpret_cast<LONG_PTR>(window.parent != nullptr ? window.parent
                                                                              : window.owner)};
        case GWLP_ID:
            return {true, static_cast<LONG_PTR>(window.id)};
        case GWL_STYLE:
            return {true, static_cast<LONG_PTR>(static_cast<LONG>(window.style))};
        case GWL_EXSTYLE:
            return {true, static_cast<LONG_PTR>(static_cast<LONG>(window.ex_style))};
        case GWLP_USERDATA:
            return {true, window.user_data};
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extra.size()) {
        LONG_PTR value = 0;
        std::memcpy(&value, window.extra.data() + index, sizeof(value));
        return {true, value};
    }
    return {};
}

bool Write(Window& window, int index, LONG_PTR value) {
    switch (index) {
        case GWLP_WNDPROC:
            window.proc = reinterpret_cast<WNDPROC>(value);
            return true;
        case GWLP_HINSTANCE:
            window.instance = reinterpret_cast<HINSTANCE>(value);
            return true;
        case GWLP_ID:
            window.id = static_cast<UINT_PTR>(value);
            return true;
        case GWL_STYLE:
            window.style = static_cast<DWORD>(value);
            return true;
        case GWL_EXSTYLE:
            window.ex_style = static_cast<DWORD>(value);
            return true;
        case GWLP_USERDATA:
            window.user_data = value;
            return true;
    }
    if (index >= 0 && static_cast<size_t>(index) + sizeof(LONG_PTR) <= window.extra.size()) {
        std::memcpy(window.extra.data() + index, &value, sizeof(value));
        return true;
    }
    return false;
}

}  // namespace

// Reads a field of the window or of its extra bytes; an index beyond them fails with
// ERROR_INVALID_INDEX. Success leaves the last error as it was.
LONG_PTR WINAPI GetWindowLongPtrA(HWND hWnd, int nIndex) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return 0;
    }
    Field field = Read(*window, nIndex);
    if (!field.valid) {
        SetLastError(ERROR_INVALID_INDEX);
    }
    return field.value;
}

// Replaces a field and returns its previous value. A new window procedure (subclassing)
// takes effect with the next message. Changing GWLP_HWNDPARENT and the WM_STYLECHANGING /
// WM_STYLECHANGED pair that style changes send are not modelled.
LONG_PTR WINAPI SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return 0;
    }
    Field previous = Read(*window, nIndex);
    if (!previous.valid || !Write(*window, nIndex, dwNewLong)) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return previous.value;
}

// Calls a window procedure a subclass kept; nothing for NULL or while the thread unwinds.
// There are no ANSI/Unicode thunks to resolve: every procedure here is an ANSI one.
LRESULT WINAPI CallWindowProcA(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam,
                               LPARAM lParam) {
    if (lpPrevWndFunc == NULL || sim::CurrentScheduler().Unwinding()) {
        return 0;
    }
    return lpPrevWndFunc(hWnd, Msg, wParam, lParam);
}
