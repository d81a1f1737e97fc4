// The system's window classes: the controls a dialog template names and the dialog class
// itself, registered with every machine's window manager.
#pragma once

#include <windows.h>

namespace sim::win32::user32 {

LRESULT CALLBACK ButtonWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK EditWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// "#32770": DefDlgProcA as a class procedure.
LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

constexpr char kDialogClass[] = "#32770";

}  // namespace sim::win32::user32
