// The controls a dialog template creates, as plain child windows with text, style,
// identifier and font. They draw nothing and know only the messages below; everything else is
// DefWindowProcA's.
#include "win32/user32/controls.h"

#include "win32/user32/window_table.h"

namespace sim::win32::user32 {
namespace {

// Every control keeps the font WM_SETFONT gives it (the dialog's) and answers WM_GETFONT.
bool FontMessage(Window& control, UINT msg, WPARAM wparam, LRESULT* result) {
    if (msg == WM_SETFONT) {
        control.font = reinterpret_cast<HFONT>(wparam);
        *result = 0;
        return true;
    }
    if (msg == WM_GETFONT) {
        *result = reinterpret_cast<LRESULT>(control.font);
        return true;
    }
    return false;
}

}  // namespace

// BM_GETCHECK / BM_SETCHECK keep the check state; BM_CLICK sends the parent WM_COMMAND
// with BN_CLICKED, and so does a click: the left button goes down on the button (which takes
// the focus) and comes up with the cursor still on it.
LRESULT CALLBACK ButtonWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Window* window = FindWindowRecord(hwnd);
    LRESULT result = 0;
    if (FontMessage(*window, msg, wparam, &result)) {
        return result;
    }
    switch (msg) {
        case BM_GETCHECK:
            return static_cast<LRESULT>(window->check);
        case BM_SETCHECK:
            window->check = wparam;
            return 0;
        case BM_CLICK:
            if (window->parent != nullptr && (window->style & WS_DISABLED) == 0) {
                SendMessageA(window->parent, WM_COMMAND,
                             MAKELONG(static_cast<WORD>(window->id), BN_CLICKED),
                             reinterpret_cast<LPARAM>(hwnd));
            }
            return 0;
        case WM_LBUTTONDOWN:
            window->pressed = true;
            SetFocus(hwnd);
            return 0;
        case WM_LBUTTONUP: {
            // Where the button was released, not where the cursor is by now.
            bool released_on_button = window->pressed;
            window->pressed = false;
            POINT at = {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
            RECT client;
            GetClientRect(hwnd, &client);
            if (released_on_button && PtInRect(&client, at)) {
                SendMessageA(hwnd, BM_CLICK, 0, 0);
            }
            return 0;
        }
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// A static with SS_ICON keeps the icon of STM_SETICON and returns the previous one; other
// statics have no icon.
LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Window* window = FindWindowRecord(hwnd);
    LRESULT result = 0;
    if (FontMessage(*window, msg, wparam, &result)) {
        return result;
    }
    bool icon_static = (window->style & SS_TYPEMASK) == SS_ICON;
    switch (msg) {
        case STM_SETICON: {
            if (!icon_static) {
                return 0;
            }
            HICON previous = window->static_icon;
            window->static_icon = reinterpret_cast<HICON>(wparam);
            return reinterpret_cast<LRESULT>(previous);
        }
        case STM_GETICON:
            return icon_static ? reinterpret_cast<LRESULT>(window->static_icon) : 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// An edit control holds its text; editing by keys is not modelled.
// A typed character (WM_CHAR, from TranslateMessage) goes at the end of the text, which the
// user then sees (a `ui` text line); control characters do nothing. A click takes the focus.
// No caret, selection or editing keys.
LRESULT CALLBACK EditWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Window* window = FindWindowRecord(hwnd);
    LRESULT result = 0;
    if (FontMessage(*window, msg, wparam, &result)) {
        return result;
    }
    if (msg == WM_CHAR && wparam >= ' ') {
        window->text += static_cast<char>(wparam);
        LogUi(*window, "text \"" + window->text + "\"");
        return 0;
    }
    if (msg == WM_LBUTTONDOWN) {
        SetFocus(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace sim::win32::user32
