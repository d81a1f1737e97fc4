// The tray's callback messages reach the icon's window as posted messages, after the click
// went to the taskbar and the shell let the icon's program set the foreground window. Built
// with USER32's stand-in, whose PostMessageA it needs.
#include <windows.h>

#include "win32/shell32/tray_control.h"
#include "win32/user32/user32_control.h"

namespace {

[[maybe_unused]] const bool kInstalled =
    (sim::win32::SetDefaultTrayDelivery([](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
         DWORD process = 0;
         GetWindowThreadProcessId(hwnd, &process);
         sim::win32::TaskbarClicked(process);
         return ::PostMessageA(hwnd, message, wparam, lparam);
     }),
     true);

}  // namespace
