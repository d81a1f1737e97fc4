// DefDlgProcA, which is also the window procedure of the dialog class "#32770".
#include <windows.h>

#include "win32/user32/controls.h"
#include "win32/user32/dialog_manager.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

// Messages whose dialog-procedure result is the answer itself, not DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
    return message == WM_INITDIALOG || message == WM_QUERYDRAGICON;
}

LRESULT DefaultId(HWND dialog) {
    for (HWND child : ChildrenOf(dialog)) {
        const Window* control = FindWindowRecord(child);
        if (control->window_class == FindClass("Button") &&
            (control->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
            return MAKELONG(static_cast<WORD>(control->id), DC_HASDEFID);
        }
    }
    return 0;
}

// Deactivated, the dialog remembers its focus control; activated, it gives the focus back to
// it, or to the first tab stop.
void OnActivate(HWND dialog, WORD state) {
    Window* window = FindWindowRecord(dialog);
    if (state == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && focus != dialog && IsSelfOrDescendant(dialog, focus)) {
            window->saved_focus = focus;
        }
        return;
    }
    HWND target = window->saved_focus;
    if (target == nullptr || !IsWindow(target) || !IsSelfOrDescendant(dialog, target)) {
        target = FirstTabStop(dialog);
    }
    SetFocus(target != nullptr ? target : dialog);
}

}  // namespace

// Calls the dialog procedure (DWLP_DLGPROC) with DWLP_MSGRESULT cleared; a TRUE from it
// answers with DWLP_MSGRESULT (or, for WM_INITDIALOG and WM_QUERYDRAGICON, with what it
// returned). Otherwise the dialog manager's default: DM_GETDEFID finds the
// BS_DEFPUSHBUTTON, WM_CLOSE posts IDCANCEL's BN_CLICKED, WM_SETFONT / WM_GETFONT keep the
// dialog's font, WM_ACTIVATE keeps the focus control across activations, and the rest is
// DefWindowProcA's. Keyboard navigation between controls
// and WM_CTLCOLOR* are not modelled.
LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* window = WindowOrError(hDlg);
    if (window == nullptr) {
        return 0;
    }
    auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(hDlg, DWLP_DLGPROC));
    if (proc != NULL && !sim::CurrentScheduler().Unwinding()) {
        SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, 0);
        INT_PTR handled = proc(hDlg, Msg, wParam, lParam);
        if (!IsWindow(hDlg)) {
            return 0;
        }
        if (handled != 0) {
            return AnswersDirectly(Msg) ? handled : GetWindowLongPtrA(hDlg, DWLP_MSGRESULT);
        }
        if (Msg == WM_INITDIALOG) {
            return FALSE;
        }
    }
    window = FindWindowRecord(hDlg);
    switch (Msg) {
        case DM_GETDEFID:
            return DefaultId(hDlg);
        case WM_CLOSE:
            PostMessageA(hDlg, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(hDlg, IDCANCEL)));
            return 0;
        case WM_SETFONT:
            window->font = reinterpret_cast<HFONT>(wParam);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(window->font);
        case WM_INITDIALOG:
            return FALSE;
        case WM_ACTIVATE:
            OnActivate(hDlg, LOWORD(wParam));
            return 0;
    }
    return DefWindowProcA(hDlg, Msg, wParam, lParam);
}

namespace sim::win32::user32 {

LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefDlgProcA(hwnd, msg, wparam, lparam);
}

}  // namespace sim::win32::user32
