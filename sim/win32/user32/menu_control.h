// The test surface of popup menus, for ampsim and tests (never for the program): whether a
// menu is open, what it lists, and the user's answer to it. The open menu and the answer
// are also logged in the machine log's "menu" category as "open ENTRY=ID ...",
// "chose ENTRY=ID" and "dismissed" (a label with spaces in double quotes, "-" for a
// separator).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::win32 {

struct MenuEntry {
    std::string label;  // empty for a separator
    uintptr_t id;
    bool separator;
};

bool MenuIsOpen();
// The open menu's entries, top to bottom; none while no menu is open.
std::vector<MenuEntry> OpenMenuEntries();
// Chooses the first entry with the label, as a click would; false if no menu is open or
// it has no such (enabled, non-separator) entry. The menu closes on its thread's next turn.
bool ChooseMenuEntry(const std::string& label);
// Closes the open menu without a choice, as a click elsewhere would; false if none is open.
// A menu whose owner is not the foreground window does not see the click and stays open
// (logged "stays-open"), as on Windows.
bool DismissMenu();

}  // namespace sim::win32
