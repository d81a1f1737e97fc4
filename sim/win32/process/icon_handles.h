// Test surface: which icon resource an HICON stands for, so that logs can name what the
// tray or a window shows.
#pragma once

#include <cstdint>
#include <string>

namespace sim::win32 {

// "128", "MAINICON", or "" for a value LoadIconA never returned.
std::string IconResourceId(const void* icon);

}  // namespace sim::win32
