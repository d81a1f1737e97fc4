// IsDialogMessageA.
#include <windows.h>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

void SendCommand(HWND dialog, WORD id) {
    HWND control = GetDlgItem(dialog, id);
    SendMessageA(dialog, WM_COMMAND, MAKELONG(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

}  // namespace

// Takes the messages of the dialog and its controls: Enter becomes WM_COMMAND of the push
// button that has the focus, else of the default button (DM_GETDEFID, IDOK when there is none) and
// Escape WM_COMMAND IDCANCEL, both sent to the dialog with BN_CLICKED and the control; every other
// message of the dialog is translated and dispatched here. FALSE for messages of other windows. Tab
// and arrow navigation, mnemonics and WM_GETDLGCODE are not modelled.
BOOL WINAPI IsDialogMessageA(HWND hDlg, LPMSG lpMsg) {
    if (!IsWindow(hDlg) || lpMsg->hwnd == NULL || !IsSelfOrDescendant(hDlg, lpMsg->hwnd)) {
        return FALSE;
    }
    if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_ESCAPE) {
        SendCommand(hDlg, IDCANCEL);
        return TRUE;
    }
    if (lpMsg->message == WM_KEYDOWN && lpMsg->wParam == VK_RETURN) {
        if (const Window* focus = FindWindowRecord(GetFocus());
            focus != nullptr && focus->parent == hDlg &&
            focus->window_class == FindClass("Button") &&
            (focus->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON) {
            if ((focus->style & WS_DISABLED) == 0) {
                SendCommand(hDlg, static_cast<WORD>(focus->id));
            }
            return TRUE;
        }
        LRESULT default_id = SendMessageA(hDlg, DM_GETDEFID, 0, 0);
        SendCommand(hDlg, HIWORD(default_id) == DC_HASDEFID ? LOWORD(default_id) : IDOK);
        return TRUE;
    }
    TranslateMessage(lpMsg);
    DispatchMessageA(lpMsg);
    return TRUE;
}
