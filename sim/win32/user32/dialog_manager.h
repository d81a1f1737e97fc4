// The dialog manager's shared steps: making a dialog from a template, for the modeless and
// the modal calls, by pointer or by resource.
#pragma once

#include <windows.h>

#include <cstddef>

namespace sim::win32::user32 {

// A template of unknown length (the Indirect calls): read up to its own end.
constexpr size_t kTemplateOfUnknownSize = static_cast<size_t>(-1);

// `template_id`: the resource the template came from, 0 for one in memory.
// The first control that takes the focus: a visible, enabled one with WS_TABSTOP; NULL if
// there is none.
HWND FirstTabStop(HWND dialog);

HWND CreateDialogFromTemplate(HINSTANCE instance, const void* dialog_template, size_t size,
                              HWND owner, DLGPROC proc, LPARAM param, bool modal, int template_id);
// Creates the dialog and runs its modal loop; -1 if it could not be created.
INT_PTR RunModalDialog(HINSTANCE instance, const void* dialog_template, size_t size, HWND owner,
                       DLGPROC proc, LPARAM param, int template_id);

}  // namespace sim::win32::user32
