// CreateDialogIndirectParamA and MapDialogRect.
#include <windows.h>

#include <string>

#include "win32/kernel32/machine_link.h"
#include "win32/user32/controls.h"
#include "win32/user32/dialog_manager.h"
#include "win32/user32/dialog_template.h"
#include "win32/user32/window_table.h"

namespace sim::win32::user32 {
namespace {

RECT PixelsOf(const DialogTemplate& dialog, const BaseUnits& base) {
    RECT rect = {HorizontalPixels(dialog.x, base), VerticalPixels(dialog.y, base), 0, 0};
    rect.right = rect.left + HorizontalPixels(dialog.cx, base);
    rect.bottom = rect.top + VerticalPixels(dialog.cy, base);
    return rect;
}

// The template's size is the client area's; the window adds its frame. The position is
// the owner's client area's (the screen's with DS_ABSALIGN or without owner), and
// DS_CENTER centres the dialog on the work area.
RECT DialogWindowRect(const DialogTemplate& dialog, const BaseUnits& base, HWND owner) {
    RECT client = PixelsOf(dialog, base);
    RECT margins = NonClientMargins(dialog.style, dialog.ex_style);
    LONG width = client.right - client.left + margins.left + margins.right;
    LONG height = client.bottom - client.top + margins.top + margins.bottom;
    POINT origin = {client.left, client.top};
    if ((dialog.style & DS_CENTER) != 0) {
        RECT work = TheScreen().WorkArea();
        origin = {work.left + (work.right - work.left - width) / 2,
                  work.top + (work.bottom - work.top - height) / 2};
    } else if (owner != NULL && (dialog.style & DS_ABSALIGN) == 0) {
        RECT owner_rect;
        GetWindowRect(owner, &owner_rect);
        Window* owner_window = FindWindowRecord(owner);
        RECT owner_margins = NonClientMargins(owner_window->style, owner_window->ex_style);
        origin.x += owner_rect.left + owner_margins.left;
        origin.y += owner_rect.top + owner_margins.top;
    }
    return RECT{origin.x, origin.y, origin.x + width, origin.y + height};
}

bool CreateControls(HWND dialog, const DialogTemplate& parsed, const BaseUnits& base,
                    HINSTANCE instance, HFONT font) {
    for (const DialogItem& item : parsed.items) {
        HWND control = CreateWindowExA(
            item.ex_style | WS_EX_NOPARENTNOTIFY, item.window_class.c_str(),
            item.title.name.c_str(), item.style | WS_CHILD, HorizontalPixels(item.x, base),
            VerticalPixels(item.y, base), HorizontalPixels(item.cx, base),
            VerticalPixels(item.cy, base), dialog,
            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.id)), instance, NULL);
        if (control == NULL) {
            return false;
        }
        if (font != NULL) {
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        }
    }
    return true;
}

}  // namespace

HWND FirstTabStop(HWND dialog) {
    for (HWND child : ChildrenOf(dialog)) {
        const Window* control = FindWindowRecord(child);
        if ((control->style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) ==
            (WS_TABSTOP | WS_VISIBLE)) {
            return child;
        }
    }
    return NULL;
}

// Windows' order: the dialog window (hidden), its DWLP_DLGPROC, WM_SETFONT to it, the
// controls (each with WM_SETFONT), WM_INITDIALOG with the first tab stop, which gets the
// focus if the answer is TRUE; then a modeless template with WS_VISIBLE is shown. A class
// the template names by string replaces "#32770" (it must reserve DLGWINDOWEXTRA bytes and
// call DefDlgProcA, as on Windows); a failed control fails the whole dialog. The template's
// menu is not loaded; a malformed template fails with ERROR_INVALID_PARAMETER.
HWND CreateDialogFromTemplate(HINSTANCE instance, const void* dialog_template, size_t size,
                              HWND owner, DLGPROC proc, LPARAM param, bool modal, int template_id) {
    if (template_id != 0 && sim::win32::FaultHits("dialog-create", std::to_string(template_id))) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    std::optional<DialogTemplate> parsed = ParseDialogTemplate(dialog_template, size);
    if (!parsed) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    if (owner != NULL && WindowOrError(owner) == nullptr) {
        return NULL;
    }
    BaseUnits base = DialogBaseUnits(parsed->font);
    RECT rect = DialogWindowRect(*parsed, base, owner);
    DWORD style = parsed->style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD);
    const std::string& named_class = parsed->window_class.name;
    HWND dialog =
        CreateWindowExA(parsed->ex_style, named_class.empty() ? kDialogClass : named_class.c_str(),
                        parsed->title.c_str(), style, rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, owner, NULL, instance, NULL);
    if (dialog == NULL) {
        return NULL;
    }
    auto state = std::make_unique<DialogState>();
    state->modal = modal;
    state->template_id = template_id;
    state->base_x = base.x;
    state->base_y = base.y;
    FindWindowRecord(dialog)->dialog = std::move(state);
    SetWindowLongPtrA(dialog, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(proc));
    HFONT font = parsed->font ? FontHandle(*parsed->font) : NULL;
    if (font != NULL) {
        SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    if (!IsWindow(dialog) || !CreateControls(dialog, *parsed, base, instance, font)) {
        DestroyWindow(dialog);
        return NULL;
    }
    HWND focus = FirstTabStop(dialog);
    LRESULT set_focus = SendMessageA(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
    if (!IsWindow(dialog)) {
        return NULL;
    }
    if (set_focus && focus != NULL && IsWindow(focus)) {
        SetFocus(focus);
    }
    if (!modal && (parsed->style & WS_VISIBLE) != 0) {
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    return dialog;
}

}  // namespace sim::win32::user32

using namespace sim::win32::user32;

// A modeless dialog from a template in memory; NULL if it could not be made.
HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate,
                                       HWND hWndParent, DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    return CreateDialogFromTemplate(hInstance, lpTemplate, kTemplateOfUnknownSize, hWndParent,
                                    lpDialogFunc, dwInitParam, false, 0);
}

// Converts dialog units to pixels with the dialog's own base units; a window that is not a
// dialog fails with ERROR_INVALID_WINDOW_HANDLE.
BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    Window* window = WindowOrError(hDlg);
    if (window == nullptr || window->dialog == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    BaseUnits base{window->dialog->base_x, window->dialog->base_y};
    *lpRect = RECT{HorizontalPixels(lpRect->left, base), VerticalPixels(lpRect->top, base),
                   HorizontalPixels(lpRect->right, base), VerticalPixels(lpRect->bottom, base)};
    return TRUE;
}
