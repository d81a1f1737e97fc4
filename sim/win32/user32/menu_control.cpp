#include "win32/user32/menu_control.h"

#include "win32/kernel32/machine_link.h"
#include "win32/user32/menu_table.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

namespace sim::win32 {
namespace {

using namespace user32;

Menu* OpenRecord() {
    std::optional<TrackedMenu>& open = OpenMenu();
    return open ? MenuOrError(open->menu) : nullptr;
}

// The loop may still have an answer it has not acted on: then the menu counts as closed.
bool Undecided() {
    std::optional<TrackedMenu>& open = OpenMenu();
    return open && !open->chosen && !open->dismissed;
}

}  // namespace

bool MenuIsOpen() {
    return Undecided();
}

std::vector<MenuEntry> OpenMenuEntries() {
    std::vector<MenuEntry> entries;
    Menu* menu = Undecided() ? OpenRecord() : nullptr;
    if (menu == nullptr) {
        return entries;
    }
    for (const MenuItem& item : menu->items) {
        entries.push_back({item.text, item.id, item.separator()});
    }
    return entries;
}

bool ChooseMenuEntry(const std::string& label) {
    Menu* menu = Undecided() ? OpenRecord() : nullptr;
    if (menu == nullptr) {
        return false;
    }
    for (const MenuItem& item : menu->items) {
        if (!item.separator() && (item.flags & (MF_GRAYED | MF_DISABLED)) == 0 &&
            item.text == label) {
            NoteUserInput(OpenMenu()->queue->process_id);
            OpenMenu()->chosen = item.id;
            Wake(*OpenMenu()->queue, 0);
            return true;
        }
    }
    return false;
}

bool DismissMenu() {
    if (!Undecided()) {
        return false;
    }
    // Only a menu whose owner is in front sees the click elsewhere.
    if (RootOf(OpenMenu()->owner) != ForegroundWindow()) {
        Log("menu", "stays-open");
        return true;
    }
    OpenMenu()->dismissed = true;
    Wake(*OpenMenu()->queue, 0);
    return true;
}

}  // namespace sim::win32
