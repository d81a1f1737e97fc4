// Timers on the virtual clock: WM_TIMER only when nothing else waits, at most one pending
// per timer, KillTimer taking a pending one away, SetTimer replacing a timer.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "message_recorder.h"

namespace user32_test {
namespace {

// Takes messages until the virtual clock reaches `until_ms` (at least 10 ms on), noting
// each with its time.
void PumpUntil(long until_ms) {
    HWND stop = MakeWindow("stop");
    SetTimer(stop, 999, static_cast<UINT>(until_ms - NowMs()), NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0)) {
        if (msg.hwnd == stop) {
            DestroyWindow(stop);
            return;
        }
        Note(MessageName(msg.message) + " " + std::to_string(msg.wParam) + " at " +
             std::to_string(NowMs()));
        DispatchMessageA(&msg);
    }
}

struct TimerCase {
    const char* what;
    std::function<void(HWND)> body;
    std::vector<Row> expected;
};

const TimerCase kTimerCases[] = {
    {"a period of 10 ms",
     [](HWND main) {
         SetTimer(main, 1, 10, NULL);
         PumpUntil(35);
     },
     {{"ui", "WM_TIMER 1 at 10"}, {"ui", "WM_TIMER 1 at 20"}, {"ui", "WM_TIMER 1 at 30"}}},
    {"elapsed five times unseen: one WM_TIMER",
     [](HWND main) {
         SetTimer(main, 1, 10, NULL);
         Sleep(55);
         PumpUntil(65);
     },
     {{"ui", "WM_TIMER 1 at 55"}, {"ui", "WM_TIMER 1 at 60"}}},
    {"KillTimer takes the pending one away",
     [](HWND main) {
         SetTimer(main, 1, 10, NULL);
         Sleep(15);
         KillTimer(main, 1);
         PumpUntil(40);
     },
     {}},
    {"SetTimer with the same identifier starts it again",
     [](HWND main) {
         SetTimer(main, 1, 10, NULL);
         Sleep(5);
         SetTimer(main, 1, 30, NULL);
         PumpUntil(40);
     },
     {{"ui", "WM_TIMER 1 at 35"}}},
    {"posted messages come first",
     [](HWND main) {
         SetTimer(main, 1, 10, NULL);
         Sleep(10);
         PostMessageA(main, WM_USER + 4, 0, 0);
         PumpUntil(25);
     },
     {{"ui", "WM_USER+4 0 at 10"}, {"ui", "WM_TIMER 1 at 10"}, {"ui", "WM_TIMER 1 at 20"}}},
    {"two timers, in the order they were set",
     [](HWND main) {
         SetTimer(main, 2, 20, NULL);
         SetTimer(main, 1, 10, NULL);
         PumpUntil(25);
     },
     {{"ui", "WM_TIMER 1 at 10"}, {"ui", "WM_TIMER 2 at 20"}, {"ui", "WM_TIMER 1 at 20"}}},
};

TEST(User32Timers, TimerMessagesFollowTheVirtualClock) {
    for (const TimerCase& entry : kTimerCases) {
        sim::Machine machine(1);
        RunThreads({{"ui", [&] { entry.body(MakeWindow("main")); }}});
        EXPECT_TRUE(SameRows(Recorded(), entry.expected)) << entry.what;
    }
}

// Another thread's timer on the window wakes the window's thread, which waits without
// deadline until then.
TEST(User32Timers, TimerSetByAnotherThreadRunsOnTheWindowsThread) {
    sim::Machine machine(3);
    HWND main = NULL;
    RecordOnly({WM_TIMER});
    RunThreads({{"ui",
                 [&] {
                     main = MakeWindow("main");
                     MSG msg;
                     GetMessageA(&msg, NULL, 0, 0);
                     DispatchMessageA(&msg);
                     Note("at " + std::to_string(NowMs()));
                 }},
                {"other", [&] {
                     Sleep(5);
                     SetTimer(main, 4, 10, NULL);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "main WM_TIMER 4"}, {"ui", "at 15"}}));
}

void CALLBACK Elapsed(HWND, UINT, UINT_PTR id, DWORD time) {
    Note("timer proc " + std::to_string(id) + " time " + std::to_string(time));
}

TEST(User32Timers, DispatchCallsTheTimerProcedureOfALiveTimer) {
    sim::Machine machine(2);
    RecordOnly({WM_TIMER});
    RunThreads({{"ui", [] {
                     HWND main = MakeWindow("main");
                     SetTimer(main, 5, 10, Elapsed);
                     MSG msg;
                     GetMessageA(&msg, NULL, 0, 0);
                     DispatchMessageA(&msg);
                     KillTimer(main, 5);
                     DispatchMessageA(&msg);
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "timer proc 5 time 10"}, {"ui", "main WM_TIMER 5"}}));
}

}  // namespace
}  // namespace user32_test
