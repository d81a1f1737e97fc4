// CreatePopupMenu, InsertMenuA, AppendMenuA, DestroyMenu and GetMenuItemCount: popup menus
// of text items and separators.
#include <windows.h>

#include <map>
#include <memory>

#include "pc/machine.h"
#include "win32/process/process.h"
#include "win32/user32/menu_table.h"

namespace sim::win32::user32 {
namespace {

// Menu handles never meet window handles, and are never reused within a run.
constexpr uintptr_t kFirstMenuHandle = 0x00090010;

// A menu belongs to the process that made it: Windows frees a terminated process's menus,
// while what a program that ended on its own did not destroy stays counted, as its leak.
struct Menus {
    Menus();
    std::map<uintptr_t, std::unique_ptr<Menu>> by_handle;
    uintptr_t next = kFirstMenuHandle;
    std::optional<TrackedMenu> open;
};

Menus& AllMenus() {
    return Machine::Current().Extension<Menus>();
}

Menus::Menus() {
    AddProcessEndHook([](uint32_t process_id, bool terminated) {
        if (terminated) {
            std::erase_if(AllMenus().by_handle, [process_id](const auto& entry) {
                return entry.second->process_id == process_id;
            });
        }
    });
}

}  // namespace

Menu* MenuOrError(HMENU menu) {
    Menus& menus = AllMenus();
    auto found = menus.by_handle.find(reinterpret_cast<uintptr_t>(menu));
    if (found == menus.by_handle.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return found->second.get();
}

Menu& AddMenu() {
    Menus& menus = AllMenus();
    auto menu = std::make_unique<Menu>();
    menu->handle = reinterpret_cast<HMENU>(menus.next);
    menu->process_id = CurrentProcess().id();
    menus.next += 2;
    Menu& added = *menu;
    menus.by_handle.emplace(reinterpret_cast<uintptr_t>(added.handle), std::move(menu));
    return added;
}

void RemoveMenu(HMENU menu) {
    AllMenus().by_handle.erase(reinterpret_cast<uintptr_t>(menu));
}

size_t MenuCount() {
    return AllMenus().by_handle.size();
}

std::optional<TrackedMenu>& OpenMenu() {
    return AllMenus().open;
}

std::string DescribeItem(const MenuItem& item) {
    if (item.separator()) {
        return "-";
    }
    std::string label =
        item.text.find(' ') == std::string::npos ? item.text : "\"" + item.text + "\"";
    return label + "=" + std::to_string(item.id);
}

}  // namespace sim::win32::user32

using namespace sim::win32::user32;

namespace {

// Text items and separators only; bitmaps, owner-drawn items and submenus are refused.
constexpr UINT kUnsupportedKinds = MF_BITMAP | MF_OWNERDRAW | MF_POPUP;

}  // namespace

// An empty popup menu; handles are never reused within a run.
HMENU WINAPI CreatePopupMenu(void) {
    return AddMenu().handle;
}

// Inserts before the item at uPosition (MF_BYPOSITION) or before the item whose identifier
// it is; a position past the end, -1, or an identifier no item has, appends. A string item
// needs its text (ERROR_INVALID_PARAMETER otherwise).
BOOL WINAPI InsertMenuA(HMENU hMenu, UINT uPosition, UINT uFlags, UINT_PTR uIDNewItem,
                        LPCSTR lpNewItem) {
    Menu* menu = MenuOrError(hMenu);
    if (menu == nullptr) {
        return FALSE;
    }
    bool separator = (uFlags & MF_SEPARATOR) != 0;
    if ((uFlags & kUnsupportedKinds) != 0 || (!separator && lpNewItem == NULL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MenuItem item{uFlags & ~static_cast<UINT>(MF_BYPOSITION), uIDNewItem,
                  separator ? "" : lpNewItem};
    size_t at = menu->items.size();
    if ((uFlags & MF_BYPOSITION) != 0) {
        at = uPosition < menu->items.size() ? uPosition : menu->items.size();
    } else {
        for (size_t i = 0; i < menu->items.size(); i++) {
            if (menu->items[i].id == uPosition) {
                at = i;
                break;
            }
        }
    }
    menu->items.insert(menu->items.begin() + static_cast<std::ptrdiff_t>(at), item);
    return TRUE;
}

// InsertMenuA at the end.
BOOL WINAPI AppendMenuA(HMENU hMenu, UINT uFlags, UINT_PTR uIDNewItem, LPCSTR lpNewItem) {
    return InsertMenuA(hMenu, static_cast<UINT>(-1), uFlags | MF_BYPOSITION, uIDNewItem, lpNewItem);
}

// Frees the menu; its handle is invalid from then on.
BOOL WINAPI DestroyMenu(HMENU hMenu) {
    if (MenuOrError(hMenu) == nullptr) {
        return FALSE;
    }
    RemoveMenu(hMenu);
    return TRUE;
}

// Items, separators included; -1 with ERROR_INVALID_MENU_HANDLE for a handle that is not a menu.
int WINAPI GetMenuItemCount(HMENU hMenu) {
    Menu* menu = MenuOrError(hMenu);
    return menu == nullptr ? -1 : static_cast<int>(menu->items.size());
}
