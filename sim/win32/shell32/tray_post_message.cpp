// The tray's callback messages reach the icon's window as posted messages. Built with
// USER32's stand-in, whose PostMessageA it needs.
#include <windows.h>

#include "win32/shell32/tray_control.h"

namespace {

[[maybe_unused]] const bool kInstalled =
    (sim::win32::SetDefaultTrayDelivery(&::PostMessageA), true);

}  // namespace
