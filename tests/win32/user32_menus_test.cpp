// Popup menus: building them, the modal loop that keeps messages flowing while the menu is
// open, and the answers the scenario gives.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "message_recorder.h"
#include "win32/user32/menu_control.h"
#include "win32/user32/user32_control.h"

namespace user32_test {
namespace {

HMENU HubMenu() {
    HMENU menu = CreatePopupMenu();
    InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, 11, "Hub 01");
    InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_SEPARATOR, 12, NULL);
    InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, 3, "Exit");
    return menu;
}

std::string Listed() {
    std::string text;
    for (const sim::win32::MenuEntry& entry : sim::win32::OpenMenuEntries()) {
        text += entry.separator ? " -" : " " + entry.label + "=" + std::to_string(entry.id);
    }
    return text;
}

Reaction KillTimerOnTick() {
    return [](HWND hwnd, UINT msg, WPARAM wparam, LPARAM, LRESULT*) {
        if (msg == WM_TIMER) {
            KillTimer(hwnd, wparam);
        }
        return false;
    };
}

TEST(User32Menus, MenuLoopRunsSentPostedAndTimerMessagesUntilTheScenarioChooses) {
    // The order is the program's, not the seed's.
    for (uint64_t seed = 0; seed < 8; ++seed) {
        sim::Machine machine(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        HWND main = NULL;
        RecordOnly({WM_ENTERMENULOOP, WM_INITMENUPOPUP, WM_UNINITMENUPOPUP, WM_EXITMENULOOP,
                    WM_COMMAND, WM_USER + 1, WM_USER + 2, WM_TIMER});
        sim::RunOutcome outcome = RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main", WS_OVERLAPPED, NULL, KillTimerOnTick());
                 HMENU menu = HubMenu();
                 SetTimer(main, 1, 10, NULL);
                 PostMessageA(main, WM_USER + 2, 0, 0);
                 BOOL returned = TrackPopupMenu(menu, TPM_BOTTOMALIGN, 100, 700, 0, main, NULL);
                 Note("returned " + std::to_string(returned));
                 DestroyMenu(menu);
                 MSG msg;
                 GetMessageA(&msg, NULL, 0, 0);
                 DispatchMessageA(&msg);
             }},
            {"monitor",
             [&] {
                 Sleep(5);
                 SendMessageA(main, WM_USER + 1, 0, 0);
             }},
            {"scenario",
             [&] {
                 Sleep(25);
                 Note("open:" + Listed());
                 EXPECT_TRUE(sim::win32::ChooseMenuEntry("Hub 01"));
                 EXPECT_FALSE(sim::win32::MenuIsOpen());
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"ui", "main WM_ENTERMENULOOP"},
                                             {"ui", "main WM_INITMENUPOPUP"},
                                             {"ui", "main WM_USER+2 0"},
                                             {"ui", "main WM_USER+1 0"},
                                             {"ui", "main WM_TIMER 1"},
                                             {"scenario", "open: Hub 01=11 - Exit=3"},
                                             {"ui", "main WM_UNINITMENUPOPUP"},
                                             {"ui", "main WM_EXITMENULOOP"},
                                             {"ui", "returned 1"},
                                             {"ui", "main WM_COMMAND 11"},
                                         }));
        EXPECT_EQ(machine.log.Texts("menu"),
                  (std::vector<std::string>{"open \"Hub 01\"=11 - Exit=3", "chose \"Hub 01\"=11"}));
    }
}

// How the menu ends, and what TrackPopupMenu then returns and posts.
struct AnswerCase {
    const char* what;
    UINT flags;
    std::function<void(HWND)> answer;
    BOOL returned;
    std::vector<std::string> posted;
    std::string logged;
};

const AnswerCase kAnswerCases[] = {
    {"Exit chosen, TPM_RETURNCMD",
     TPM_RETURNCMD,
     [](HWND) { sim::win32::ChooseMenuEntry("Exit"); },
     3,
     {},
     "chose Exit=3"},
    {"Exit chosen",
     0,
     [](HWND) { sim::win32::ChooseMenuEntry("Exit"); },
     TRUE,
     {"WM_COMMAND 3"},
     "chose Exit=3"},
    {"dismissed, TPM_RETURNCMD",
     TPM_RETURNCMD,
     [](HWND) { sim::win32::DismissMenu(); },
     0,
     {},
     "dismissed"},
    {"dismissed", 0, [](HWND) { sim::win32::DismissMenu(); }, TRUE, {}, "dismissed"},
    // The owner's default handling of WM_CANCELMODE ends the menu.
    {"WM_CANCELMODE sent to the owner",
     TPM_RETURNCMD,
     [](HWND main) { SendMessageA(main, WM_CANCELMODE, 0, 0); },
     0,
     {},
     "dismissed"},
    // The key's release comes after the menu has closed, for the window.
    {"Escape pressed",
     TPM_RETURNCMD,
     [](HWND main) { sim::win32::PressKey(main, VK_ESCAPE); },
     0,
     {"WM_KEYUP 27"},
     "dismissed"},
};

TEST(User32Menus, AnswersEndTheMenuAsWindowsReportsThem) {
    for (const AnswerCase& entry : kAnswerCases) {
        sim::Machine machine(2);
        HWND main = NULL;
        BOOL returned = -1;
        std::vector<std::string> posted;
        RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main");
                 SetForegroundWindow(main);
                 HMENU menu = HubMenu();
                 returned = TrackPopupMenu(menu, entry.flags, 0, 0, 0, main, NULL);
                 MSG msg;
                 while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                     posted.push_back(MessageName(msg.message) + " " + std::to_string(msg.wParam));
                 }
             }},
            {"scenario",
             [&] {
                 Sleep(10);
                 entry.answer(main);
             }},
        });
        EXPECT_EQ(returned, entry.returned) << entry.what;
        EXPECT_EQ(posted, entry.posted) << entry.what;
        std::vector<std::string> menu_lines = machine.log.Texts("menu");
        ASSERT_EQ(menu_lines.size(), 2u) << entry.what;
        EXPECT_EQ(menu_lines[1], entry.logged) << entry.what;
    }
}

// Windows documents that a menu whose owner is the foreground window makes the thread's next
// menu close as soon as it appears, unless the thread posts itself a message in between; a
// menu whose owner is behind does not see a click elsewhere at all.
struct SecondMenuCase {
    const char* what;
    bool owner_in_front;
    bool post_between;
    std::vector<std::string> answers;  // to a click elsewhere, then to two choices of Exit
};

const SecondMenuCase kSecondMenuCases[] = {
    {"owner in front, nothing posted", true, false, {"dismissed", "dismissed"}},
    {"owner in front, WM_NULL posted", true, true, {"dismissed", "chose Exit=3"}},
    {"owner behind", false, false, {"stays-open", "chose Exit=3", "chose Exit=3"}},
};

TEST(User32Menus, TheNextMenuClosesAtOnceUnlessTheThreadPostedItselfAMessage) {
    for (const SecondMenuCase& entry : kSecondMenuCases) {
        sim::Machine machine(2);
        HWND main = NULL;
        RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main");
                 if (entry.owner_in_front) {
                     SetForegroundWindow(main);
                 }
                 TrackPopupMenu(HubMenu(), TPM_RETURNCMD, 0, 0, 0, main, NULL);
                 if (entry.post_between) {
                     PostMessageA(main, WM_NULL, 0, 0);
                 }
                 TrackPopupMenu(HubMenu(), TPM_RETURNCMD, 0, 0, 0, main, NULL);
             }},
            {"scenario",
             [&] {
                 Sleep(10);
                 sim::win32::DismissMenu();
                 Sleep(10);
                 sim::win32::ChooseMenuEntry("Exit");
                 Sleep(10);
                 sim::win32::ChooseMenuEntry("Exit");
             }},
        });
        std::vector<std::string> answers;
        for (const std::string& line : machine.log.Texts("menu")) {
            if (line.rfind("open", 0) != 0) {
                answers.push_back(line);
            }
        }
        EXPECT_EQ(answers, entry.answers) << entry.what;
    }
}

TEST(User32Menus, OnlyOneMenuIsOpenAtATime) {
    sim::Machine machine(3);
    HWND main = NULL;
    RunThreads({
        {"ui",
         [&] {
             main = MakeWindow("main");
             TrackPopupMenu(HubMenu(), TPM_RETURNCMD, 0, 0, 0, main, NULL);
         }},
        {"other",
         [&] {
             Sleep(5);
             HWND second = MakeWindow("second");
             SetLastError(0);
             EXPECT_FALSE(TrackPopupMenu(HubMenu(), 0, 0, 0, 0, second, NULL));
             EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_POPUP_ALREADY_ACTIVE));
             EXPECT_FALSE(sim::win32::ChooseMenuEntry("Hub 02"));
             EXPECT_TRUE(sim::win32::DismissMenu());
         }},
    });
}

TEST(User32Menus, MenuOfATerminatedThreadCloses) {
    sim::Machine machine(5);
    sim::SimThread* ui = machine.scheduler.Spawn("ui", [] {
        TrackPopupMenu(HubMenu(), TPM_RETURNCMD, 0, 0, 0, MakeWindow("main"), NULL);
        Note("never");
    });
    sim::RunOutcome outcome = RunThreads({{"scenario", [&] {
                                               Sleep(5);
                                               EXPECT_TRUE(sim::win32::MenuIsOpen());
                                               sim::CurrentScheduler().Terminate(ui);
                                               Sleep(5);
                                               EXPECT_FALSE(sim::win32::MenuIsOpen());
                                           }}});
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(Recorded().empty());
}

struct InsertCase {
    const char* what;
    UINT position;
    UINT flags;
    std::string listed;
};

const InsertCase kInsertCases[] = {
    {"at the end by position -1", (UINT)-1, MF_BYPOSITION, " a=1 b=2 new=9"},
    {"past the end by position", 7, MF_BYPOSITION, " a=1 b=2 new=9"},
    {"first by position", 0, MF_BYPOSITION, " new=9 a=1 b=2"},
    {"before the item with identifier 2", 2, MF_BYCOMMAND, " a=1 new=9 b=2"},
    {"at the end for an identifier no item has", 5, MF_BYCOMMAND, " a=1 b=2 new=9"},
};

TEST(User32Menus, InsertMenuPlacesItemsAsWindowsDoes) {
    for (const InsertCase& entry : kInsertCases) {
        sim::Machine machine(4);
        std::string listed;
        RunThreads({
            {"ui",
             [&] {
                 HWND main = MakeWindow("main");
                 HMENU menu = CreatePopupMenu();
                 AppendMenuA(menu, MF_STRING, 1, "a");
                 AppendMenuA(menu, MF_STRING, 2, "b");
                 InsertMenuA(menu, entry.position, entry.flags | MF_STRING, 9, "new");
                 EXPECT_EQ(GetMenuItemCount(menu), 3);
                 TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, main, NULL);
                 DestroyMenu(menu);
                 SetLastError(0);
                 EXPECT_EQ(GetMenuItemCount(menu), -1);
                 EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_MENU_HANDLE));
             }},
            {"scenario",
             [&] {
                 Sleep(1);
                 listed = Listed();
                 sim::win32::DismissMenu();
             }},
        });
        EXPECT_EQ(listed, entry.listed) << entry.what;
    }
}

}  // namespace
}  // namespace user32_test
