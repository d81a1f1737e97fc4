// Test surface of the notification area (the tray): the icons it shows and a click on one,
// which the shell delivers to the icon's window as its callback message.
// Plain types only, so that callers that also see the kernel's headers can include it; they
// are windows.h's HWND, UINT, WPARAM, LPARAM and BOOL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HWND__;

namespace sim::win32 {

struct TrayIcon {
    HWND__* window = nullptr;
    uint32_t id = 0;
    uint32_t callback_message = 0;  // 0 without NIF_MESSAGE
    std::string icon;               // the icon's resource ("133"), "none" or "?" (not a loaded one)
    std::string tip;
    std::string balloon_title;
    std::string balloon_text;  // "" while no balloon is up
};

// The icons in the order they were added.
std::vector<TrayIcon> TrayIcons();

// Hands a callback message to the icon's window. The default posts it (PostMessageA, see
// tray_post_message.cpp); tests may deliver it themselves.
using TrayDelivery = std::function<int(HWND__*, uint32_t, uintptr_t, intptr_t)>;
void SetTrayDelivery(TrayDelivery deliver);
// Installed once by the part of the stand-in that posts messages.
void SetDefaultTrayDelivery(TrayDelivery deliver);

// A press of the right (WM_RBUTTONDOWN) or left (WM_LBUTTONDOWN) button on icon `index`:
// its callback message with wParam = uID and lParam = the mouse message, as an icon that was
// never switched to a newer version receives it. False if there is no such icon, it has no
// callback message, or nothing can deliver it.
bool ClickTray(bool right, size_t index = 0);

}  // namespace sim::win32
