// Windows on their own thread: destruction order, position changes a handler may alter,
// subclassing, properties, icons and the errors of failing calls.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "message_recorder.h"
#include "win32/user32/user32_control.h"

namespace user32_test {
namespace {

// Runs the body on a thread named "ui" of a fresh machine.
void OnUiThread(uint64_t seed, const std::function<void()>& body) {
    sim::Machine machine(seed);
    sim::RunOutcome outcome = RunThreads({{"ui", body}});
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
}

TEST(User32Windows, DestroyWindowTakesOwnedWindowsFirstAndChildrenInside) {
    sim::Machine machine(1);
    RunThreads({{"ui", [] {
                     HWND owner = MakeWindow("owner");
                     MakeWindow("popup", WS_POPUP, owner);
                     HWND child = MakeWindow("child", WS_CHILD, owner);
                     MakeWindow("grandchild", WS_CHILD, child);
                     RecordOnly({WM_DESTROY, WM_NCDESTROY});
                     DestroyWindow(owner);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {
                                         {"ui", "popup WM_DESTROY"},
                                         {"ui", "popup WM_NCDESTROY"},
                                         {"ui", "owner WM_DESTROY"},
                                         {"ui", "child WM_DESTROY"},
                                         {"ui", "grandchild WM_DESTROY"},
                                         {"ui", "grandchild WM_NCDESTROY"},
                                         {"ui", "child WM_NCDESTROY"},
                                         {"ui", "owner WM_NCDESTROY"},
                                     }));
}

TEST(User32Windows, CreationAndAVisibleWindowsDestructionAsMessages) {
    sim::Machine machine(2);
    RecordOnly({WM_NCCREATE, WM_CREATE, WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED,
                WM_DESTROY, WM_NCDESTROY});
    RunThreads({{"ui", [] {
                     HWND main = MakeWindow("main", WS_OVERLAPPED | WS_VISIBLE);
                     DestroyWindow(main);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {
                                         {"ui", "main WM_NCCREATE"},
                                         {"ui", "main WM_CREATE"},
                                         {"ui", "main WM_SHOWWINDOW 1"},
                                         {"ui", "main WM_WINDOWPOSCHANGING"},
                                         {"ui", "main WM_WINDOWPOSCHANGED"},
                                         {"ui", "main WM_WINDOWPOSCHANGING"},
                                         {"ui", "main WM_WINDOWPOSCHANGED"},
                                         {"ui", "main WM_DESTROY"},
                                         {"ui", "main WM_NCDESTROY"},
                                     }));
}

// Ampwise's main dialog stays hidden by taking SWP_SHOWWINDOW out of every change.
TEST(User32Windows, WindowPosChangingHandlerDecidesWhatHappens) {
    OnUiThread(3, [] {
        HWND main = MakeWindow("main", WS_OVERLAPPED, NULL,
                               [](HWND, UINT msg, WPARAM, LPARAM lparam, LRESULT*) {
                                   if (msg == WM_WINDOWPOSCHANGING) {
                                       auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
                                       pos->flags &= ~SWP_SHOWWINDOW;
                                       pos->x = 77;
                                   }
                                   return false;
                               });
        EXPECT_FALSE(ShowWindow(main, SW_SHOWNORMAL));
        EXPECT_FALSE(IsWindowVisible(main));
        EXPECT_TRUE(SetWindowPos(main, NULL, 5, 6, 50, 60, SWP_NOZORDER));
        RECT rect;
        GetWindowRect(main, &rect);
        EXPECT_EQ(rect.left, 77);
        EXPECT_EQ(rect.top, 6);
        EXPECT_EQ(rect.right - rect.left, 50);
        EXPECT_FALSE(IsWindowVisible(main));
    });
}

TEST(User32Windows, ChildIsVisibleOnlyWithItsParentAndSitsInItsClientArea) {
    OnUiThread(4, [] {
        HWND frame = MakeWindow("frame", WS_POPUP | WS_CAPTION);
        HWND child = MakeWindow("child", WS_CHILD | WS_VISIBLE, frame);
        EXPECT_FALSE(IsWindowVisible(child));
        ShowWindow(frame, SW_SHOW);
        EXPECT_TRUE(IsWindowVisible(child));
        RECT client;
        GetClientRect(frame, &client);
        // 200 x 100 less the dialog frame (3 each side) and the caption (18).
        EXPECT_EQ(client.right, 194);
        EXPECT_EQ(client.bottom, 76);
        RECT placed;
        GetWindowRect(child, &placed);
        EXPECT_EQ(placed.left, 10 + 3 + 10);
        EXPECT_EQ(placed.top, 20 + 21 + 20);
        EXPECT_EQ(GetParent(child), frame);
        EXPECT_EQ(GetDlgItem(frame, 0), child);
    });
}

LRESULT CALLBACK Subclass(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, "previous"));
    if (msg == WM_USER + 3) {
        Note("subclass first");
    }
    return CallWindowProcA(previous, hwnd, msg, wparam, lparam);
}

TEST(User32Windows, SubclassSeesMessagesFirstAndPassesThemOn) {
    sim::Machine machine(5);
    RecordOnly({WM_USER + 3});
    RunThreads({{"ui", [] {
                     HWND main = MakeWindow("main");
                     LONG_PTR previous = SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)Subclass);
                     SetPropA(main, "previous", (HANDLE)previous);
                     EXPECT_EQ(GetWindowLongPtrA(main, GWLP_WNDPROC), (LONG_PTR)Subclass);
                     SendMessageA(main, WM_USER + 3, 9, 0);
                     EXPECT_EQ(RemovePropA(main, "previous"), (HANDLE)previous);
                     EXPECT_EQ(GetPropA(main, "previous"), (HANDLE)NULL);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "subclass first"}, {"ui", "main WM_USER+3 9"}}));
}

TEST(User32Windows, DefWindowProcKeepsTextAndIcons) {
    OnUiThread(6, [] {
        HWND main = MakeWindow("main");
        char text[8];
        EXPECT_EQ(GetWindowTextA(main, text, sizeof text), 4);
        EXPECT_STREQ(text, "main");
        SetWindowTextA(main, "a longer title");
        EXPECT_EQ(GetWindowTextA(main, text, sizeof text), 7);
        EXPECT_STREQ(text, "a longe");
        HICON big = reinterpret_cast<HICON>(0x1280);
        HICON small = reinterpret_cast<HICON>(0x1281);
        EXPECT_EQ(SendMessageA(main, WM_SETICON, ICON_BIG, (LPARAM)big), 0);
        EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_SMALL2, 0), (LRESULT)big);
        EXPECT_EQ(SendMessageA(main, WM_SETICON, ICON_SMALL, (LPARAM)small), 0);
        EXPECT_EQ(SendMessageA(main, WM_SETICON, ICON_BIG, (LPARAM)small), (LRESULT)big);
        EXPECT_EQ(SendMessageA(main, WM_GETICON, ICON_SMALL, 0), (LRESULT)small);
    });
}

TEST(User32Windows, HandlesAreDistinctAndNeverReused) {
    OnUiThread(7, [] {
        std::set<HWND> seen;
        for (int i = 0; i < 5; i++) {
            HWND hwnd = MakeWindow("w" + std::to_string(i));
            EXPECT_NE(hwnd, (HWND)NULL);
            EXPECT_TRUE(seen.insert(hwnd).second);
            DestroyWindow(hwnd);
            EXPECT_FALSE(IsWindow(hwnd));
        }
    });
}

// Each failing call and the last error Windows documents for it.
struct FailureCase {
    const char* call;
    std::function<bool(HWND live, HWND gone, HWND foreign)> fails;
    DWORD error;
};

const FailureCase kFailureCases[] = {
    {"PostMessageA to a destroyed window",
     [](HWND, HWND gone, HWND) { return !PostMessageA(gone, WM_USER, 0, 0); },
     ERROR_INVALID_WINDOW_HANDLE},
    {"SendMessageA to a destroyed window",
     [](HWND, HWND gone, HWND) { return SendMessageA(gone, WM_USER, 0, 0) == 0; },
     ERROR_INVALID_WINDOW_HANDLE},
    {"GetDlgItem without such a control",
     [](HWND live, HWND, HWND) { return GetDlgItem(live, 99) == NULL; },
     ERROR_CONTROL_ID_NOT_FOUND},
    {"GetWindowLongPtrA beyond the extra bytes",
     [](HWND live, HWND, HWND) { return GetWindowLongPtrA(live, 8) == 0; }, ERROR_INVALID_INDEX},
    {"CreateWindowExA of an unknown class",
     [](HWND, HWND, HWND) {
         return CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, NULL, NULL, NULL, NULL) ==
                NULL;
     },
     ERROR_CANNOT_FIND_WND_CLASS},
    {"CreateWindowExA of a child without parent",
     [](HWND, HWND, HWND) {
         return CreateWindowExA(0, "Static", "", WS_CHILD, 0, 0, 1, 1, NULL, NULL, NULL, NULL) ==
                NULL;
     },
     ERROR_TLW_WITH_WSCHILD},
    {"DestroyWindow of another thread's window",
     [](HWND, HWND, HWND foreign) { return !DestroyWindow(foreign); }, ERROR_ACCESS_DENIED},
    {"SetTimer on a destroyed window",
     [](HWND, HWND gone, HWND) { return SetTimer(gone, 1, 10, NULL) == 0; },
     ERROR_INVALID_WINDOW_HANDLE},
    {"KillTimer of a timer that is not there",
     [](HWND live, HWND, HWND) { return !KillTimer(live, 99); }, ERROR_INVALID_PARAMETER},
    {"RegisterClassA of a system class's name",
     [](HWND, HWND, HWND) {
         WNDCLASSA wc = {};
         wc.lpfnWndProc = DefWindowProcA;
         wc.lpszClassName = "button";
         return RegisterClassA(&wc) == 0;
     },
     ERROR_CLASS_ALREADY_EXISTS},
    {"GetCursorPos without a POINT", [](HWND, HWND, HWND) { return !GetCursorPos(NULL); },
     ERROR_NOACCESS},
    {"GetMessageA filtered by a destroyed window",
     [](HWND, HWND gone, HWND) {
         MSG msg;
         return GetMessageA(&msg, gone, 0, 0) == -1;
     },
     ERROR_INVALID_WINDOW_HANDLE},
};

TEST(User32Windows, FailingCallsSetTheLastErrorWindowsDocuments) {
    sim::Machine machine(8);
    HWND foreign = NULL;
    RunThreads({
        {"other",
         [&] {
             foreign = MakeWindow("foreign");
             Sleep(100);
         }},
        {"ui",
         [&] {
             Sleep(1);
             HWND live = MakeWindow("live");
             HWND gone = MakeWindow("gone");
             DestroyWindow(gone);
             for (const FailureCase& entry : kFailureCases) {
                 SetLastError(0);
                 EXPECT_TRUE(entry.fails(live, gone, foreign)) << entry.call;
                 EXPECT_EQ(GetLastError(), entry.error) << entry.call;
             }
         }},
    });
}

// Each row: the event, how long the broadcaster waits for the answers, and the sequence.
struct BroadcastCase {
    WPARAM event;
    sim::Ticks patience;
    std::vector<Row> rows;
};
const BroadcastCase kBroadcastCases[] = {
    // The resume is queued and nobody waits for it.
    {PBT_APMRESUMEAUTOMATIC,
     0,
     {{"system", "broadcast done at 5"},
      {"ui", "main WM_POWERBROADCAST 18"},
      {"ui", "second WM_POWERBROADCAST 18"}}},
    // Before it sleeps, Windows waits for the programs to answer the suspend.
    {PBT_APMSUSPEND,
     2 * sim::kTicksPerSecond,
     {{"ui", "main WM_POWERBROADCAST 4"},
      {"ui", "second WM_POWERBROADCAST 4"},
      {"system", "broadcast done at 10"}}},
    // ... but not for ever.
    {PBT_APMSUSPEND,
     3 * sim::kTicksPerMs,
     {{"system", "broadcast done at 8"},
      {"ui", "main WM_POWERBROADCAST 4"},
      {"ui", "second WM_POWERBROADCAST 4"}}},
};

TEST(User32Windows, PowerBroadcastReachesEveryTopLevelWindow) {
    for (const BroadcastCase& entry : kBroadcastCases) {
        sim::Machine machine(9);
        RecordOnly({WM_POWERBROADCAST});
        RunThreads({{"ui",
                     [] {
                         HWND main = MakeWindow("main");
                         MakeWindow("child", WS_CHILD, main);
                         MakeWindow("second");
                         Sleep(10);
                         MSG msg;
                         PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
                     }},
                    {"system", [&entry] {
                         Sleep(5);
                         sim::win32::BroadcastPowerEvent(entry.event, entry.patience);
                         Note("broadcast done at " + std::to_string(NowMs()));
                     }}});
        EXPECT_TRUE(SameRows(Recorded(), entry.rows)) << entry.event << " " << entry.patience;
    }
}

std::vector<std::string> Listing() {
    std::vector<std::string> lines;
    for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
        lines.push_back(window.window_class + " '" + window.title + "' " + window.thread +
                        (window.thread_ended ? " (thread ended)" : ""));
    }
    return lines;
}

TEST(User32Windows, LiveWindowsListsWhatTheProgramDidNotDestroy) {
    sim::Machine machine(10);
    std::vector<std::string> during;
    RunThreads({{"ui",
                 [&] {
                     HWND main = MakeWindow("main");
                     HWND gone = MakeWindow("gone");
                     MakeWindow("label", WS_CHILD, main);
                     DestroyWindow(gone);
                     during = Listing();
                     Sleep(10);
                 }},
                {"worker", [] {
                     Sleep(5);
                     MakeWindow("helper");
                 }}});
    EXPECT_EQ(during, (std::vector<std::string>{"Recorder 'main' ui", "Recorder 'label' ui"}));
    EXPECT_EQ(Listing(), (std::vector<std::string>{"Recorder 'main' ui (thread ended)",
                                                   "Recorder 'label' ui (thread ended)",
                                                   "Recorder 'helper' worker (thread ended)"}));
}

TEST(User32Windows, SendObserverSeesEverySendWithItsSender) {
    sim::Machine machine(11);
    std::vector<std::string> seen;
    sim::win32::SetSendObserver(
        [&](const sim::SimThread* sender, HWND, UINT message, WPARAM, LPARAM) {
            if (message >= WM_USER) {
                seen.push_back(sender->name() + " " + MessageName(message));
            }
        });
    HWND main = NULL;
    POINT cursor = {0, 0};
    RunThreads({{"ui",
                 [&] {
                     main = MakeWindow("main");
                     SendMessageA(main, WM_USER + 1, 0, 0);
                     Sleep(10);
                     MSG msg;
                     PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
                 }},
                {"monitor", [&] {
                     Sleep(5);
                     SendMessageA(main, WM_USER + 6, 0, 0);
                     sim::win32::MoveCursor(300, 700);
                     GetCursorPos(&cursor);
                 }}});
    EXPECT_EQ(seen, (std::vector<std::string>{"ui WM_USER+1", "monitor WM_USER+6"}));
    EXPECT_EQ(cursor.x, 300);
    EXPECT_EQ(cursor.y, 700);
}

}  // namespace
}  // namespace user32_test
