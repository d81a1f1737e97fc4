// TrackPopupMenu: the popup menu's modal loop, which the scenario ends by choosing an
// entry or dismissing the menu (sim/win32/user32/menu_control.h).
#include <windows.h>

#include <string>

#include "win32/kernel32/machine_link.h"
#include "win32/user32/menu_table.h"
#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

bool IsKeyboardOrMouse(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

void LogOpen(const Menu& menu) {
    if (!sim::win32::LogWants("menu")) {
        return;
    }
    std::string line = "open";
    for (const MenuItem& item : menu.items) {
        line += " " + DescribeItem(item);
    }
    sim::win32::Log("menu", line);
}

std::string ChosenItem(HMENU handle, UINT_PTR id) {
    if (Menu* menu = MenuOrError(handle)) {
        for (const MenuItem& item : menu->items) {
            if (!item.separator() && item.id == id) {
                return DescribeItem(item);
            }
        }
    }
    return "=" + std::to_string(id);
}

// Runs until the scenario decides: sent messages run and posted ones are dispatched
// meanwhile; the menu keeps keyboard and mouse input to itself (Escape dismisses it), and
// WM_QUIT closes it and is posted again for the thread's own loop.
TrackedMenu RunMenuLoop(ThreadQueue& queue) {
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    for (;;) {
        std::optional<TrackedMenu>& open = OpenMenu();
        if (open->chosen || open->dismissed) {
            TrackedMenu ended = *open;
            open.reset();
            return ended;
        }
        MSG msg;
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                OpenMenu()->dismissed = true;
            } else if (IsKeyboardOrMouse(msg.message)) {
                if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
                    OpenMenu()->dismissed = true;
                }
            } else {
                DispatchMessageA(&msg);
            }
            continue;
        }
        // A sent message (WM_CANCELMODE) may have ended the menu meanwhile.
        if (OpenMenu()->dismissed) {
            continue;
        }
        if (scheduler.Unwinding()) {
            OpenMenu()->dismissed = true;
            continue;
        }
        scheduler.Block(queue.WakeKey(), UpdateTimers(queue), "TrackPopupMenu");
    }
}

}  // namespace

// Shows the menu for hWnd and runs its modal loop: WM_ENTERMENULOOP and WM_INITMENUPOPUP
// before, WM_UNINITMENUPOPUP and WM_EXITMENULOOP after (none of them with TPM_NONOTIFY).
// With TPM_RETURNCMD it returns the chosen identifier (0 when dismissed); otherwise it
// posts WM_COMMAND with the identifier to hWnd and returns TRUE either way. One menu is
// open at a time (ERROR_POPUP_ALREADY_ACTIVE). As Windows documents, when the owner is the
// foreground window the next menu of the thread appears and closes at once (dismissed)
// unless the thread has posted itself a message in between, as a program does with WM_NULL.
// The position and alignment only place the menu on the screen's picture; buttons do not
// matter, and submenus are not modelled.
BOOL WINAPI TrackPopupMenu(HMENU hMenu, UINT uFlags, int x, int y, int, HWND hWnd, const RECT*) {
    Menu* menu = MenuOrError(hMenu);
    if (menu == nullptr || WindowOrError(hWnd) == nullptr) {
        return FALSE;
    }
    if (OpenMenu()) {
        SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    const bool notify = (uFlags & TPM_NONOTIFY) == 0;
    if (notify) {
        SendMessageA(hWnd, WM_ENTERMENULOOP, TRUE, 0);
        SendMessageA(hWnd, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
    }
    ThreadQueue& queue = CurrentQueue();
    if (Menu* shown = MenuOrError(hMenu)) {
        LogOpen(*shown);
    }
    const bool owner_in_front = RootOf(hWnd) == ForegroundWindow();
    OpenMenu() =
        TrackedMenu{hMenu, hWnd, &queue, std::nullopt, queue.menu_needs_post, {x, y}, uFlags};
    queue.menu_needs_post = false;
    // However the loop ends (a thread unwound in it too), no menu stays open.
    struct CloseOnExit {
        ~CloseOnExit() { OpenMenu().reset(); }
    } close_on_exit;
    TrackedMenu ended = RunMenuLoop(queue);
    if (ended.chosen) {
        sim::win32::Log("menu", "chose " + ChosenItem(hMenu, *ended.chosen));
    } else {
        sim::win32::Log("menu", "dismissed");
    }
    if (notify) {
        SendMessageA(hWnd, WM_UNINITMENUPOPUP, reinterpret_cast<WPARAM>(hMenu), 0);
        SendMessageA(hWnd, WM_EXITMENULOOP, TRUE, 0);
    }
    const bool return_command = (uFlags & TPM_RETURNCMD) != 0;
    if (ended.chosen && !return_command) {
        PostMessageA(hWnd, WM_COMMAND, *ended.chosen, 0);
    }
    queue.menu_needs_post = owner_in_front;
    if (return_command) {
        return ended.chosen ? static_cast<BOOL>(*ended.chosen) : 0;
    }
    return TRUE;
}
