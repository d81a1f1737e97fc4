// Menus by handle, and the one popup menu that may be open on the machine at a time.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace sim::win32::user32 {

struct ThreadQueue;

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::string text;
    bool separator() const { return (flags & MF_SEPARATOR) != 0; }
};

struct Menu {
    HMENU handle = nullptr;
    uint32_t process_id = 0;  // the process that made it
    std::vector<MenuItem> items;
};

// The menu's record, or null (ERROR_INVALID_MENU_HANDLE set) if the handle is not a menu.
Menu* MenuOrError(HMENU menu);
Menu& AddMenu();
void RemoveMenu(HMENU menu);
// Menus not destroyed, of every process.
size_t MenuCount();

// TrackPopupMenu's modal loop and the scenario meet here.
struct TrackedMenu {
    HMENU menu = nullptr;
    HWND owner = nullptr;
    ThreadQueue* queue = nullptr;  // the thread running the menu's loop
    std::optional<UINT_PTR> chosen;
    bool dismissed = false;
    POINT at = {0, 0};  // where TrackPopupMenu was asked to show it, with its flags
    UINT flags = 0;
};
std::optional<TrackedMenu>& OpenMenu();

// "LABEL=ID" ("-" for a separator; a label with spaces in double quotes).
std::string DescribeItem(const MenuItem& item);

}  // namespace sim::win32::user32
