#include "win32/shell32/editor.h"

#include <windows.h>

namespace sim::win32 {
namespace {

constexpr int kEditId = 1;

// The edit control fills the client area and keeps the focus while the window is active.
LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_ACTIVATE:
            if (LOWORD(wparam) != WA_INACTIVE) {
                SetFocus(GetDlgItem(hwnd, kEditId));
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

}  // namespace

uint32_t RunEditor() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = EditorProc;
    window_class.lpszClassName = "Editor";
    RegisterClassA(&window_class);
    HWND frame = CreateWindowExA(0, "Editor", "Editor", WS_OVERLAPPEDWINDOW, 60, 60, 640, 400, NULL,
                                 NULL, NULL, NULL);
    if (frame == NULL) {
        return 1;
    }
    // Ended with the run, the editor still closes its window, as a program closed by the
    // user does.
    struct CloseOnEnd {
        HWND frame;
        ~CloseOnEnd() { DestroyWindow(frame); }
    } close_on_end{frame};
    RECT client;
    GetClientRect(frame, &client);
    CreateWindowExA(0, "Edit", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, client.right,
                    client.bottom, frame, reinterpret_cast<HMENU>(kEditId), NULL, NULL);
    ShowWindow(frame, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<uint32_t>(msg.wParam);
}

}  // namespace sim::win32
