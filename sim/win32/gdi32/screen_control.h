// Test surface of the simulated screen, for callers that also see the kernel's headers
// (plain types only): its shape, pictures of it, and what the programs left on it.
#pragma once

#include <cstddef>
#include <string>

namespace sim::win32 {

// The screen's size and the height of the taskbar along its bottom edge.
void SetScreen(int width, int height, int taskbar);

// A PNG picture of the screen: the desktop, the taskbar with the tray's icons, and every
// visible top-level window back to front (creation order), each painted by its own
// procedure (WM_ERASEBKGND, WM_PAINT sent to it, so this runs on a simulated thread) and the
// standard controls drawn here. False (and why in *error) if it cannot be written.
bool SaveSnapshot(const std::string& path, std::string* error);

// Windows never destroyed (live, or left by an ended thread) and GDI objects never deleted.
size_t OutstandingUserWindows();
size_t OutstandingGdiObjects();
size_t OutstandingUserMenus();

}  // namespace sim::win32
