// CreateWindowExA.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

// Creates the window on the calling thread, which owns it from then on, and sends
// WM_NCCREATE (FALSE fails the creation, with WM_NCDESTROY) and WM_CREATE (-1 destroys the
// window again); WS_VISIBLE then shows it through ShowWindow. A child needs a parent
// (ERROR_TLW_WITH_WSCHILD) and takes hMenu as its identifier; an unknown class fails with
// ERROR_CANNOT_FIND_WND_CLASS. WM_GETMINMAXINFO, WM_NCCALCSIZE, WM_SIZE, WM_MOVE and
// WM_PARENTNOTIFY are not sent, and class menus are not loaded.
HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle,
                            int X, int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu,
                            HINSTANCE hInstance, LPVOID lpParam) {
    const WindowClass* window_class = FindClass(lpClassName);
    if (window_class == nullptr) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return NULL;
    }
    // WS_CHILD with WS_POPUP makes an owned popup, as on Windows.
    bool child = (dwStyle & (WS_CHILD | WS_POPUP)) == WS_CHILD;
    if (child && hWndParent == NULL) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return NULL;
    }
    if (hWndParent != NULL && WindowOrError(hWndParent) == nullptr) {
        return NULL;
    }
    if (X == CW_USEDEFAULT) {
        X = 0;
        Y = 0;
    }
    if (nWidth == CW_USEDEFAULT) {
        // Half the screen in size, as CW_USEDEFAULT leaves an overlapped window.
        nWidth = TheScreen().width / 2;
        nHeight = TheScreen().height / 2;
    }
    auto made = std::make_unique<Window>();
    made->window_class = window_class;
    made->style = dwStyle & ~WS_VISIBLE;
    made->ex_style = dwExStyle;
    made->parent = child ? hWndParent : nullptr;
    // An owner is always a top-level window: a child passed as owner stands for its root.
    made->owner = child ? nullptr : RootOf(hWndParent);
    made->id = child ? reinterpret_cast<UINT_PTR>(hMenu) : 0;
    made->instance = hInstance;
    made->thread = CurrentQueue().thread;
    made->proc = window_class->proc;
    made->extra.resize(static_cast<size_t>(window_class->window_extra));
    made->rect = RECT{X, Y, X + nWidth, Y + nHeight};
    HWND hwnd = AddWindow(std::move(made)).handle;

    CREATESTRUCTA create = {lpParam,
                            hInstance,
                            hMenu,
                            hWndParent,
                            nHeight,
                            nWidth,
                            Y,
                            X,
                            static_cast<LONG>(dwStyle),
                            lpWindowName,
                            lpClassName,
                            dwExStyle};
    if (!SendMessageA(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        SendMessageA(hwnd, WM_NCDESTROY, 0, 0);
        RemoveWindow(hwnd);
        return NULL;
    }
    if (SendMessageA(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(hwnd);
        return NULL;
    }
    if ((dwStyle & WS_VISIBLE) != 0 && IsWindow(hwnd)) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return IsWindow(hwnd) ? hwnd : NULL;
}
