// A text editor as a built-in program: the program the user types in beside Ampwise. One
// top-level window titled "Editor" holding an edit control (identifier 1) with the focus.
#pragma once

#include <cstdint>

namespace sim::win32 {

// The body of an editor process; returns its exit code when its window is closed.
uint32_t RunEditor();

}  // namespace sim::win32
