// The mouse, activation, z-order and AnimateWindow as message sequences: hover and leave
// from TrackMouseEvent, a child's WM_SETCURSOR reaching its parent, a click's activation,
// the topmost band, AnimateWindow keeping its thread busy on the virtual clock, and the
// rules of activation and the foreground between threads and processes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "message_recorder.h"
#include "win32/process/process.h"
#include "win32/user32/user32_control.h"
#include "win32/user32/window_table.h"

namespace user32_test {
namespace {

constexpr UINT kStop = WM_USER + 9;

// Takes messages until kStop, noting the mouse's with their time.
void PumpNotingMouse() {
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) && msg.message != kStop) {
        if (msg.message == WM_MOUSEMOVE || msg.message == WM_MOUSEHOVER ||
            msg.message == WM_MOUSELEAVE) {
            Note(MessageName(msg.message) + " at " + std::to_string(NowMs()));
        }
        DispatchMessageA(&msg);
    }
}

void Track(HWND hwnd) {
    TRACKMOUSEEVENT track = {sizeof(track), TME_HOVER | TME_LEAVE, hwnd, HOVER_DEFAULT};
    TrackMouseEvent(&track);
}

// Tracks hover and leave at its first move, as the notify dialog does.
Reaction TrackOnFirstMove() {
    auto tracking = std::make_shared<bool>(false);
    return [tracking](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_MOUSEMOVE && !*tracking) {
            *tracking = true;
            Track(hwnd);
        }
        return false;
    };
}

TEST(User32Mouse, HoverAfterTheCursorRestsAndLeaveWhenItGoesOntoAChild) {
    sim::Machine machine(3);
    HWND main = NULL;
    RunThreads({{"ui",
                 [&] {
                     main = MakeWindow("main", WS_POPUP | WS_VISIBLE, NULL, TrackOnFirstMove());
                     HWND child = MakeWindow("child", WS_CHILD | WS_VISIBLE, main);
                     SetWindowPos(child, NULL, 0, 0, 20, 20, SWP_NOZORDER | SWP_NOACTIVATE);
                     RecordOnly({WM_SETCURSOR});
                     PumpNotingMouse();
                 }},
                {"user", [&] {
                     Sleep(5);
                     sim::win32::MoveCursor(150, 80);  // on main, off its child
                     Sleep(200);
                     sim::win32::MoveCursor(151, 81);  // within the hover square: no restart
                     Sleep(500);
                     sim::win32::MoveCursor(20, 30);  // onto the child
                     Sleep(10);
                     PostMessageA(main, kStop, 0, 0);
                 }}});
    // Sent before posted, posted before input: the child's WM_SETCURSOR (which reaches main
    // through the child's DefWindowProc), main's leave, the child's move.
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "main WM_SETCURSOR"},
                                      {"ui", "WM_MOUSEMOVE at 5"},
                                      {"ui", "main WM_SETCURSOR"},
                                      {"ui", "WM_MOUSEMOVE at 205"},
                                      {"ui", "WM_MOUSEHOVER at 405"},
                                      {"ui", "child WM_SETCURSOR"},
                                      {"ui", "main WM_SETCURSOR"},
                                      {"ui", "WM_MOUSELEAVE at 705"},
                                      {"ui", "WM_MOUSEMOVE at 705"}}));
}

TEST(User32Mouse, AClickActivatesItsWindowAndADisabledButtonLetsItThrough) {
    sim::Machine machine(3);
    HWND main = NULL, button = NULL;
    bool disabled_clicked = false;
    RunThreads({{"ui",
                 [&] {
                     main = MakeWindow("main", WS_POPUP | WS_VISIBLE);
                     button = CreateWindowExA(0, "Button", "go", WS_CHILD | WS_VISIBLE, 10, 10, 50,
                                              20, main, reinterpret_cast<HMENU>(7), NULL, NULL);
                     HWND other = MakeWindow("other", WS_POPUP | WS_VISIBLE);
                     SetWindowPos(other, NULL, 400, 400, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
                     RecordOnly({WM_MOUSEACTIVATE, WM_ACTIVATE, WM_COMMAND});
                     PumpNotingMouse();
                 }},
                {"user", [&] {
                     Sleep(5);
                     sim::win32::ClickWindow(button);
                     Sleep(5);
                     EnableWindow(button, FALSE);
                     disabled_clicked = sim::win32::ClickWindow(button);
                     Sleep(5);
                     PostMessageA(main, kStop, 0, 0);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "WM_MOUSEMOVE at 5"},
                                      {"ui", "main WM_MOUSEACTIVATE"},
                                      {"ui", "other WM_ACTIVATE 0"},
                                      {"ui", "main WM_ACTIVATE 2"},
                                      {"ui", "main WM_COMMAND 7"},
                                      {"ui", "WM_MOUSEMOVE at 10"}}));
    EXPECT_TRUE(disabled_clicked);  // the click happened, on main, which ignores it
}

TEST(User32Mouse, TopmostWindowsStayInFrontAndNoActivateKeepsTheActiveWindow) {
    sim::Machine machine(3);
    std::vector<HWND> order;
    HWND a = NULL, b = NULL, c = NULL, under = NULL, active_after_topmost = NULL;
    RunThreads({{"ui", [&] {
                     a = MakeWindow("a", WS_POPUP | WS_VISIBLE);
                     b = MakeWindow("b", WS_POPUP | WS_VISIBLE);
                     c = MakeWindow("c", WS_POPUP);
                     SetWindowPos(c, HWND_TOPMOST, 0, 0, 0, 0,
                                  SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
                     active_after_topmost = GetActiveWindow();
                     RecordOnly({WM_ACTIVATE});
                     SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
                     order = sim::win32::user32::ZOrder();
                     under = WindowFromPoint(POINT{50, 50});
                 }}});
    EXPECT_EQ(active_after_topmost, b);
    EXPECT_EQ(order, (std::vector<HWND>{c, a, b}));
    EXPECT_EQ(under, c);
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "b WM_ACTIVATE 0"}, {"ui", "a WM_ACTIVATE 1"}}));
}

TEST(User32Mouse, AnimateWindowShowsWithoutActivationAndKeepsItsThreadBusy) {
    sim::Machine machine(3);
    HWND main = NULL, active = NULL;
    BOOL again = TRUE;
    DWORD again_error = 0;
    RunThreads({{"ui",
                 [&] {
                     HWND before = MakeWindow("before", WS_POPUP | WS_VISIBLE);
                     main = MakeWindow("main", WS_POPUP);
                     RecordOnly({WM_USER + 1, WM_ACTIVATE});
                     Note("animate at " + std::to_string(NowMs()));
                     AnimateWindow(main, 300, AW_SLIDE | AW_VER_NEGATIVE);
                     Note("animated at " + std::to_string(NowMs()));
                     active = GetActiveWindow() == before ? before : NULL;
                     again = AnimateWindow(main, 300, AW_SLIDE | AW_VER_NEGATIVE);
                     again_error = GetLastError();
                     MSG msg;
                     PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
                 }},
                {"other", [&] {
                     Sleep(100);
                     SendMessageA(main, WM_USER + 1, 0, 0);
                     Note("answered at " + std::to_string(NowMs()));
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "animate at 0"},
                                      {"ui", "animated at 300"},
                                      {"ui", "main WM_USER+1 0"},
                                      {"other", "answered at 300"}}));
    EXPECT_NE(active, nullptr) << "AnimateWindow activated the window it showed";
    EXPECT_FALSE(again);
    EXPECT_EQ(again_error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// Each row: what the "ui" thread does once "other", a thread of another process, has shown
// its window "front" (which so has the foreground) and, with `typed`, got a key from the
// user; then the sequence of activation messages and notes.
struct ActivationCase {
    const char* what;
    bool typed;
    std::function<void(HWND front)> ui;
    std::vector<Row> rows;
};

void NoteForeground(HWND front, BOOL returned) {
    Note(std::string(returned ? "TRUE" : "FALSE") + " at " + std::to_string(NowMs()) + ", " +
         (GetForegroundWindow() == front ? "front" : "mine") + " in front");
}

const ActivationCase kActivationCases[] = {
    {"SetFocus activates the top-level window within the thread only",
     false,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         HWND child = MakeWindow("child", WS_CHILD | WS_VISIBLE, a);
         NoteForeground(front, SetFocus(child) == a);
     },
     {{"ui", "a WM_ACTIVATE 1"},
      {"ui", "a WM_SETFOCUS"},
      {"ui", "a WM_KILLFOCUS"},
      {"ui", "child WM_SETFOCUS"},
      {"ui", "TRUE at 10, front in front"}}},
    // Within the lock time-out after the user's key to another process: refused, and flashed.
    {"SetForegroundWindow refused",
     true,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         NoteForeground(front, SetForegroundWindow(a));
     },
     {{"ui", "FALSE at 10, front in front"}}},
    // Without input there is nobody to disturb; WM_ACTIVATE to the other thread is queued and
    // the caller goes on.
    {"SetForegroundWindow without input",
     false,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         NoteForeground(front, SetForegroundWindow(a));
     },
     {{"ui", "a WM_ACTIVATE 1"},
      {"ui", "a WM_SETFOCUS"},
      {"ui", "TRUE at 10, mine in front"},
      {"other main", "front WM_ACTIVATE 0"}}},
    {"SetForegroundWindow after the lock time-out",
     true,
     [](HWND front) {
         SystemParametersInfoA(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<PVOID>(20), 0);
         HWND a = MakeWindow("a", WS_POPUP);
         Sleep(15);
         NoteForeground(front, SetForegroundWindow(a));
     },
     {{"ui", "a WM_ACTIVATE 1"},
      {"ui", "a WM_SETFOCUS"},
      {"ui", "TRUE at 25, mine in front"},
      {"other main", "front WM_ACTIVATE 0"}}},
    // The shell lets the program whose tray icon was clicked come forward.
    {"SetForegroundWindow after a click on the tray",
     true,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         DWORD process = 0;
         GetWindowThreadProcessId(a, &process);
         sim::win32::TaskbarClicked(process);
         NoteForeground(front, SetForegroundWindow(a));
     },
     {{"ui", "a WM_ACTIVATE 1"},
      {"ui", "a WM_SETFOCUS"},
      {"ui", "TRUE at 10, mine in front"},
      {"other main", "front WM_ACTIVATE 0"}}},
    // Shown without activation, or shown while the lock holds: in the thread at most.
    {"SW_SHOWNA and a refused SW_SHOW",
     true,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         ShowWindow(a, SW_SHOWNA);
         HWND b = MakeWindow("b", WS_POPUP);
         ShowWindow(b, SW_SHOW);
         NoteForeground(front, GetActiveWindow() == b);
     },
     {{"ui", "b WM_ACTIVATE 1"}, {"ui", "b WM_SETFOCUS"}, {"ui", "TRUE at 10, front in front"}}},
    // SetWindowPos activates a window it leaves hidden, as Ampwise's main dialog is.
    {"SetWindowPos without SWP_NOACTIVATE on a hidden window",
     false,
     [](HWND front) {
         HWND a = MakeWindow("a", WS_POPUP);
         NoteForeground(front,
                        SetWindowPos(a, NULL, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER));
     },
     {{"ui", "a WM_ACTIVATE 1"},
      {"ui", "a WM_SETFOCUS"},
      {"ui", "TRUE at 10, mine in front"},
      {"other main", "front WM_ACTIVATE 0"}}},
    // Hiding, then destroying, the active window hands activation on: to the owner of a
    // popup, then to the next window in z-order, another process's, which had the foreground
    // and gets it back (its focus stayed where it was).
    {"hidden and destroyed active windows",
     false,
     [](HWND front) {
         HWND owner = MakeWindow("owner", WS_POPUP | WS_VISIBLE);
         HWND popup = MakeWindow("popup", WS_POPUP | WS_VISIBLE, owner);
         ShowWindow(popup, SW_HIDE);
         DestroyWindow(owner);
         NoteForeground(front, GetActiveWindow() == NULL);
     },
     {{"ui", "owner WM_ACTIVATE 1"},
      {"ui", "owner WM_SETFOCUS"},
      {"ui", "owner WM_ACTIVATE 0"},
      {"ui", "popup WM_ACTIVATE 1"},
      {"ui", "owner WM_KILLFOCUS"},
      {"ui", "popup WM_SETFOCUS"},
      {"ui", "popup WM_ACTIVATE 0"},
      {"ui", "owner WM_ACTIVATE 1"},
      {"ui", "popup WM_KILLFOCUS"},
      {"ui", "owner WM_SETFOCUS"},
      {"ui", "owner WM_ACTIVATE 0"},
      {"ui", "TRUE at 10, front in front"},
      {"other main", "front WM_ACTIVATE 0"},
      {"other main", "front WM_ACTIVATE 1"}}},
};

TEST(User32Mouse, ActivationAndTheForegroundFollowWindowsRules) {
    for (const ActivationCase& entry : kActivationCases) {
        sim::Machine machine(4);
        HWND front = NULL;
        RecordOnly({WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS});
        RunThreads({{"ui", [&] {
                         sim::win32::StartBuiltinProcess("other", "other", [&] {
                             front = MakeWindow("front", WS_POPUP | WS_VISIBLE);
                             Recorded().clear();
                             Sleep(30);
                             MSG msg;
                             PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
                             return 0u;
                         });
                         Sleep(5);
                         if (entry.typed) {
                             sim::win32::PressKey(front, 'A');
                         }
                         Sleep(5);
                         entry.ui(front);
                     }}});
        EXPECT_TRUE(SameRows(Recorded(), entry.rows)) << entry.what;
    }
}

}  // namespace
}  // namespace user32_test
