// DefWindowProcA.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "win32/user32/menu_table.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// An ordinal title (0xFF, then the number) names a resource, not a text.
bool IsText(LPCSTR name) {
    return name != NULL && static_cast<unsigned char>(name[0]) != 0xFF;
}

HICON SwapIcon(HICON* slot, HICON icon) {
    HICON previous = *slot;
    *slot = icon;
    return previous;
}

}  // namespace

// The default handling of the messages Ampwise's windows leave to it: the window text
// (taken from WM_NCCREATE's CREATESTRUCT, WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH), the
// icons of WM_SETICON and WM_GETICON (ICON_SMALL2 falls back to the big one), WM_CLOSE
// destroying the window, WM_PAINT validating it, erasing reported as done, and
// WM_QUERYDRAGICON answering the class icon, WM_CANCELMODE ending the thread's popup menu
// (as EndMenu does); an activated window takes the focus, and a
// child hands WM_MOUSEACTIVATE and WM_SETCURSOR to its parent first (a top-level window
// asks to be activated; cursor shapes are not modelled). Everything else answers 0; non-client
// messages, WM_WINDOWPOSCHANGED's WM_SIZE and WM_MOVE and the system menu are not modelled.
LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return 0;
    }
    switch (Msg) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            if (create != NULL && IsText(create->lpszName)) {
                window->text = create->lpszName;
            }
            return TRUE;
        }
        case WM_SETTEXT:
            window->text = lParam != 0 ? reinterpret_cast<LPCSTR>(lParam) : "";
            return TRUE;
        case WM_GETTEXT: {
            if (wParam == 0) {
                return 0;
            }
            size_t copied = std::min(window->text.size(), static_cast<size_t>(wParam) - 1);
            auto* buffer = reinterpret_cast<LPSTR>(lParam);
            std::memcpy(buffer, window->text.data(), copied);
            buffer[copied] = '\0';
            return static_cast<LRESULT>(copied);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->text.size());
        case WM_SETICON:
            return reinterpret_cast<LRESULT>(
                SwapIcon(wParam == ICON_BIG ? &window->icon_big : &window->icon_small,
                         reinterpret_cast<HICON>(lParam)));
        case WM_GETICON:
            if (wParam == ICON_BIG) {
                return reinterpret_cast<LRESULT>(window->icon_big);
            }
            if (wParam == ICON_SMALL2 && window->icon_small == nullptr) {
                return reinterpret_cast<LRESULT>(window->icon_big);
            }
            return reinterpret_cast<LRESULT>(window->icon_small);
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_CANCELMODE:
            if (std::optional<TrackedMenu>& open = OpenMenu();
                open && open->queue == &CurrentQueue()) {
                open->dismissed = true;
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(hWnd, &paint);
            EndPaint(hWnd, &paint);
            return 0;
        }
        case WM_ERASEBKGND:
        case WM_ICONERASEBKGND:
            return 1;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !window->iconic) {
                SetFocus(hWnd);
            }
            return 0;
        case WM_MOUSEACTIVATE:
            if (window->IsChildWindow()) {
                LRESULT parent = SendMessageA(window->parent, Msg, wParam, lParam);
                if (parent != 0) {
                    return parent;
                }
            }
            return MA_ACTIVATE;
        case WM_SETCURSOR:
            if (window->IsChildWindow()) {
                return SendMessageA(window->parent, Msg, wParam, lParam);
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<LRESULT>(window->window_class->icon);
    }
    return 0;
}
