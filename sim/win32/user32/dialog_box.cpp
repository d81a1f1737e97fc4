// DialogBoxIndirectParamA and EndDialog: the modal dialog's loop.
#include <windows.h>

#include "win32/user32/dialog_manager.h"
#include "win32/user32/window_table.h"

namespace sim::win32::user32 {
namespace {

// MSGF_DIALOGBOX: WM_ENTERIDLE's word for "a dialog box is idle".
constexpr WPARAM kIdleInDialog = 0;

bool Ended(HWND dialog) {
    Window* window = FindWindowRecord(dialog);
    return window == nullptr || window->dialog == nullptr || window->dialog->ended;
}

}  // namespace

// Disables the owner, then takes messages as Windows' dialog loop does: each through
// IsDialogMessageA (which dispatches what it does not turn into commands), sent messages
// run on the way (PeekMessageA, GetMessageA). The first time the queue is empty the dialog
// is shown (ShowWindow, which a WM_WINDOWPOSCHANGING handler can keep from showing it),
// and whenever it is empty the owner gets WM_ENTERIDLE (unless DS_NOIDLEMSG). The loop
// ends after the message in which EndDialog was called, or at WM_QUIT, which it posts
// again for the thread's own loop; then the owner is enabled and the dialog destroyed.
INT_PTR RunModalDialog(HINSTANCE instance, const void* dialog_template, size_t size, HWND owner,
                       DLGPROC proc, LPARAM param, int template_id) {
    HWND dialog = CreateDialogFromTemplate(instance, dialog_template, size, owner, proc, param,
                                           true, template_id);
    if (dialog == NULL) {
        return -1;
    }
    HWND root_owner = GetParent(dialog);
    bool disabled_owner = root_owner != NULL && IsWindowEnabled(root_owner);
    if (disabled_owner) {
        EnableWindow(root_owner, FALSE);
    }
    bool shown = false;
    while (!Ended(dialog)) {
        MSG msg;
        if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (!shown) {
                shown = true;
                ShowWindow(dialog, SW_SHOWNORMAL);
                continue;
            }
            if (root_owner != NULL && (GetWindowLongPtrA(dialog, GWL_STYLE) & DS_NOIDLEMSG) == 0) {
                SendMessageA(root_owner, WM_ENTERIDLE, kIdleInDialog,
                             reinterpret_cast<LPARAM>(dialog));
            }
            if (Ended(dialog)) {
                break;
            }
            GetMessageA(&msg, NULL, 0, 0);
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (Ended(dialog)) {
            break;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    Window* window = FindWindowRecord(dialog);
    INT_PTR result = window != nullptr && window->dialog != nullptr ? window->dialog->result : 0;
    if (disabled_owner && IsWindow(root_owner)) {
        EnableWindow(root_owner, TRUE);
    }
    if (IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    return result;
}

}  // namespace sim::win32::user32

using namespace sim::win32::user32;

// A modal dialog from a template in memory: EndDialog's result, -1 if it could not be made.
INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA hDialogTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return RunModalDialog(hInstance, hDialogTemplate, kTemplateOfUnknownSize, hWndParent,
                          lpDialogFunc, dwInitParam, 0);
}

// Marks the dialog as ended with the result; a modal dialog's loop then stops after the
// message being handled (a WM_NULL is posted so that a loop waiting in GetMessageA looks
// again), enables the owner and hides the dialog. The window itself is destroyed by the
// loop, not here. A window that is not a dialog fails with ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    Window* window = WindowOrError(hDlg);
    if (window == nullptr || window->dialog == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->dialog->ended = true;
    window->dialog->result = nResult;
    bool modal = window->dialog->modal;
    HWND owner = window->owner;
    if (modal && owner != NULL) {
        EnableWindow(owner, TRUE);
    }
    if (IsWindowVisible(hDlg)) {
        SetWindowPos(hDlg, NULL, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (modal) {
        PostMessageA(hDlg, WM_NULL, 0, 0);
    }
    return TRUE;
}
