// Messages between threads: where a thread runs what others send it, what a sender gets
// when the receiver cannot answer, the order GetMessageA takes messages in, and the wait
// cycle that SendMessageA closes with a thread in EnterCriticalSection.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "message_recorder.h"
#include "win32/kernel32/kernel_objects.h"
#include "win32/user32/user32_control.h"

namespace user32_test {
namespace {

constexpr UINT kAsk = WM_USER + 1;
constexpr UINT kAskBack = WM_USER + 2;

Reaction Answer(UINT message, LRESULT answer) {
    return [message, answer](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
        if (msg != message) {
            return false;
        }
        *result = answer;
        return true;
    };
}

TEST(User32Messages, CrossThreadSendWaitsForTheReceiversNextMessageCall) {
    // The order is the program's, not the seed's.
    for (uint64_t seed = 0; seed < 8; ++seed) {
        sim::Machine machine(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        HWND main = NULL;
        RecordOnly({kAsk});
        sim::RunOutcome outcome = RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main", WS_OVERLAPPED, NULL,
                                   [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
                                       if (msg != kAsk) {
                                           return false;
                                       }
                                       Note("in send " + std::to_string(InSendMessage()));
                                       *result = 42;
                                       return true;
                                   });
                 SendMessageA(main, kAsk, 1, 0);
                 Note("sleeps");
                 Sleep(20);
                 Note("peeks");
                 MSG msg;
                 PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
                 Note("peeked");
             }},
            {"worker",
             [&] {
                 Sleep(10);
                 Note("sends");
                 LRESULT answer = SendMessageA(main, kAsk, 5, 0);
                 Note("got " + std::to_string(answer) + " at " + std::to_string(NowMs()));
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"ui", "main WM_USER+1 1"},
                                             {"ui", "in send 0"},
                                             {"ui", "sleeps"},
                                             {"worker", "sends"},
                                             {"ui", "peeks"},
                                             {"ui", "main WM_USER+1 5"},
                                             {"ui", "in send 1"},
                                             {"ui", "peeked"},
                                             {"worker", "got 42 at 20"},
                                         }));
    }
}

// Where a thread waits decides whether a message sent to it meanwhile runs there.
struct WaitCase {
    const char* wait;
    std::function<void(HWND own, HWND other)> body;
    bool runs_sent_messages;
};

const WaitCase kWaitCases[] = {
    {"Sleep", [](HWND, HWND) { Sleep(30); }, false},
    {"PeekMessageA PM_NOREMOVE",
     [](HWND, HWND) {
         MSG msg;
         PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
     },
     true},
    {"PeekMessageA PM_QS_SENDMESSAGE",
     [](HWND, HWND) {
         MSG msg;
         PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
     },
     true},
    {"PeekMessageA PM_QS_POSTMESSAGE",
     [](HWND, HWND) {
         MSG msg;
         PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE);
     },
     false},
    {"GetMessageA",
     [](HWND own, HWND) {
         PostMessageA(own, WM_USER + 9, 0, 0);
         MSG msg;
         GetMessageA(&msg, NULL, 0, 0);
     },
     true},
    {"WaitMessage",
     [](HWND own, HWND) {
         PostMessageA(own, WM_USER + 9, 0, 0);
         WaitMessage();
     },
     true},
    // It only reports the sent message; the caller's PeekMessageA would run it.
    {"MsgWaitForMultipleObjects QS_SENDMESSAGE",
     [](HWND, HWND) {
         DWORD woken = MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_SENDMESSAGE);
         Note("woken " + std::to_string(woken) + " at " + std::to_string(NowMs()));
     },
     false},
    // A send to the shell's process.
    {"Shell_NotifyIconA",
     [](HWND own, HWND) {
         NOTIFYICONDATAA data = {};
         data.cbSize = 488;
         data.hWnd = own;
         Shell_NotifyIconA(NIM_ADD, &data);
     },
     true},
    {"its own SendMessageA to the sender's window",
     [](HWND, HWND other) { SendMessageA(other, kAskBack, 0, 0); }, true},
};

TEST(User32Messages, SentMessagesRunOnlyWhereTheReceiverLetsThemThrough) {
    for (const WaitCase& entry : kWaitCases) {
        sim::Machine machine(3);
        HWND main = NULL;
        HWND side = NULL;
        RecordOnly({kAsk, kAskBack});
        sim::RunOutcome outcome = RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main");
                 Sleep(20);
                 Note("waits");
                 entry.body(main, side);
                 Note("done");
             }},
            {"worker",
             [&] {
                 side = MakeWindow("side");
                 Sleep(10);
                 SendMessageA(main, kAsk, 1, 0);
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << entry.wait << outcome.report;
        const std::vector<std::string>& lines = Recorded();
        auto waits = std::find(lines.begin(), lines.end(), "ui: waits");
        auto done = std::find(lines.begin(), lines.end(), "ui: done");
        bool ran = std::find(waits, done, "ui: main WM_USER+1 1") != done;
        EXPECT_EQ(ran, entry.runs_sent_messages) << entry.wait;
        if (std::string(entry.wait).starts_with("MsgWait")) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), "ui: woken 0 at 20"), lines.end());
        }
    }
}

TEST(User32Messages, SenderRunsWhatIsSentToItWhileItWaits) {
    // The order is the program's, not the seed's.
    for (uint64_t seed = 0; seed < 8; ++seed) {
        sim::Machine machine(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        HWND a_window = NULL;
        HWND b_window = NULL;
        RecordOnly({kAsk, kAskBack});
        sim::RunOutcome outcome = RunThreads({
            {"a",
             [&] {
                 a_window = MakeWindow("awin", WS_OVERLAPPED, NULL, Answer(kAskBack, 2));
                 Sleep(10);
                 LRESULT answer = SendMessageA(b_window, kAsk, 0, 0);
                 Note("got " + std::to_string(answer));
             }},
            {"b",
             [&] {
                 b_window = MakeWindow("bwin", WS_OVERLAPPED, NULL,
                                       [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
                                           if (msg != kAsk) {
                                               return false;
                                           }
                                           LRESULT back = SendMessageA(a_window, kAskBack, 0, 0);
                                           Note("got back " + std::to_string(back));
                                           *result = 1;
                                           return true;
                                       });
                 Sleep(20);
                 MSG msg;
                 PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"b", "bwin WM_USER+1 0"},
                                             {"a", "awin WM_USER+2 0"},
                                             {"b", "got back 2"},
                                             {"a", "got 1"},
                                         }));
    }
}

// What a sender gets when its message cannot be answered.
struct UnansweredCase {
    const char* what;
    std::function<void(HWND main)> receiver_after_20ms;
};

const UnansweredCase kUnansweredCases[] = {
    {"the window is destroyed", [](HWND main) { DestroyWindow(main); }},
    {"the receiving thread ends", [](HWND) {}},
};

TEST(User32Messages, SenderGetsZeroWhenTheReceiverCannotAnswer) {
    for (const UnansweredCase& entry : kUnansweredCases) {
        sim::Machine machine(4);
        HWND main = NULL;
        RecordOnly({kAsk});
        sim::RunOutcome outcome = RunThreads({
            {"ui",
             [&] {
                 main = MakeWindow("main", WS_OVERLAPPED, NULL, Answer(kAsk, 42));
                 Sleep(20);
                 entry.receiver_after_20ms(main);
                 Sleep(50);
             }},
            {"worker",
             [&] {
                 Sleep(10);
                 LRESULT answer = SendMessageA(main, kAsk, 0, 0);
                 Note("got " + std::to_string(answer) + " at " + std::to_string(NowMs()));
             }},
        });
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << entry.what << outcome.report;
        long when = std::string(entry.what) == "the window is destroyed" ? 20 : 70;
        EXPECT_TRUE(SameRows(Recorded(), {{"worker", "got 0 at " + std::to_string(when)}}))
            << entry.what;
    }
}

TEST(User32Messages, ReceiverTerminatedInTheMiddleOfASentMessageStillFreesTheSender) {
    sim::Machine machine(11);
    HWND main = NULL;
    sim::SimThread* ui = machine.scheduler.Spawn("ui", [&] {
        main = MakeWindow("main", WS_OVERLAPPED, NULL,
                          [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
                              if (msg != kAsk) {
                                  return false;
                              }
                              Sleep(50);
                              *result = 42;
                              return true;
                          });
        Sleep(10);
        MSG msg;
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
    });
    sim::RunOutcome outcome = RunThreads({
        {"worker",
         [&] {
             Sleep(5);
             LRESULT answer = SendMessageA(main, kAsk, 0, 0);
             Note("got " + std::to_string(answer) + " at " + std::to_string(NowMs()));
         }},
        {"killer",
         [&] {
             Sleep(20);
             sim::CurrentScheduler().Terminate(ui);
         }},
    });
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(SameRows(Recorded(), {{"worker", "got 0 at 20"}}));
}

TEST(User32Messages, DestroyedWindowAnswersSendsAtOnceAndRefusesPosts) {
    sim::Machine machine(5);
    RunThreads({{"ui", [&] {
                     HWND main = MakeWindow("main");
                     DestroyWindow(main);
                     SetLastError(0);
                     EXPECT_EQ(SendMessageA(main, kAsk, 0, 0), 0);
                     EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
                     SetLastError(0);
                     EXPECT_FALSE(PostMessageA(main, kAsk, 0, 0));
                     EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
                     EXPECT_EQ(NowMs(), 0);
                 }}});
}

TEST(User32Messages, TerminatedSenderLeavesNothingForTheReceiverToRun) {
    sim::Machine machine(6);
    HWND main = NULL;
    sim::SimThread* worker = nullptr;
    RecordOnly({kAsk});
    worker = machine.scheduler.Spawn("worker", [&] {
        Sleep(10);
        SendMessageA(main, kAsk, 0, 0);
        Note("never");
    });
    sim::RunOutcome outcome = RunThreads({
        {"ui",
         [&] {
             main = MakeWindow("main");
             Sleep(20);
             MSG msg;
             PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
             Note("peeked");
         }},
        {"killer",
         [&] {
             Sleep(15);
             sim::CurrentScheduler().Terminate(worker);
         }},
    });
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(SameRows(Recorded(), {{"ui", "peeked"}}));
}

TEST(User32Messages, SendToAThreadWaitingInEnterCriticalSectionIsADeadlock) {
    sim::Machine machine(7);
    CRITICAL_SECTION lock;
    InitializeCriticalSection(&lock);
    HWND main = NULL;
    sim::RunOutcome outcome = RunThreads({
        {"ui",
         [&] {
             main = MakeWindow("main");
             Sleep(5);
             EnterCriticalSection(&lock);
         }},
        {"monitor",
         [&] {
             EnterCriticalSection(&lock);
             Sleep(10);
             SendMessageA(main, kAsk, 0, 0);
         }},
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_EQ(outcome.report,
              "deadlock at t=0.010: threads wait for each other\n"
              "  thread 'monitor' waits for SendMessageA 0x0401 to 'ui'\n"
              "  thread 'ui' waits for EnterCriticalSection (owned by 'monitor')");
}

// A thread's end, as a test can signal it.
class TestEvent : public sim::win32::Waitable {
  public:
    explicit TestEvent(const sim::SimThread* by) : by_(by) {}
    std::string Describe() const override { return "test event"; }
    const sim::SimThread* SignaledBy() const override { return by_; }

  private:
    const sim::SimThread* by_;
};

// The stop of Ampwise's monitoring thread: the window's thread waits for it with sent
// messages let through, so the thread's last sends are answered.
TEST(User32Messages, WaitLettingSentMessagesThroughEndsWhileTheOtherThreadSends) {
    // The order is the program's, not the seed's.
    for (uint64_t seed = 0; seed < 8; ++seed) {
        sim::Machine machine(seed);
        SCOPED_TRACE("seed " + std::to_string(seed));
        HWND main = NULL;
        std::shared_ptr<TestEvent> ended;
        HANDLE handle = NULL;
        RecordOnly({kAsk});
        sim::SimThread* monitor = machine.scheduler.Spawn("monitor", [&] {
            Sleep(1);
            for (WPARAM i = 0; i < 3; i++) {
                SendMessageA(main, kAsk, i, 0);
                Sleep(10);
            }
            ended->SetSignaled();
        });
        ended = std::make_shared<TestEvent>(monitor);
        handle = reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(ended));
        sim::RunOutcome outcome = RunThreads(
            {{"ui", [&] {
                  main = MakeWindow("main");
                  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE) ==
                         WAIT_OBJECT_0 + 1) {
                      MSG msg;
                      PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                  }
                  Note("monitor ended at " + std::to_string(NowMs()));
              }}});
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"ui", "main WM_USER+1 0"},
                                             {"ui", "main WM_USER+1 1"},
                                             {"ui", "main WM_USER+1 2"},
                                             {"ui", "monitor ended at 31"},
                                         }));
    }
}

TEST(User32Messages, GetMessageTakesPostedThenQuitThenInputThenPaintThenTimers) {
    sim::Machine machine(9);
    RunThreads({{"ui", [&] {
                     HWND main = MakeWindow("main", WS_OVERLAPPED | WS_VISIBLE);
                     SetTimer(main, 7, 10, NULL);
                     InvalidateRect(main, NULL, TRUE);
                     PostMessageA(main, WM_USER + 1, 0, 0);
                     sim::win32::PressKey(main, VK_ESCAPE);
                     PostMessageA(main, WM_USER + 2, 0, 0);
                     PostQuitMessage(3);
                     Sleep(20);
                     MSG msg;
                     while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                         Note(MessageName(msg.message) + " " + std::to_string(msg.wParam));
                         DispatchMessageA(&msg);
                     }
                 }}});
    EXPECT_TRUE(SameRows(Recorded(), {
                                         {"ui", "WM_USER+1 0"},
                                         {"ui", "WM_USER+2 0"},
                                         {"ui", "WM_QUIT 3"},
                                         {"ui", "WM_KEYDOWN 27"},
                                         {"ui", "WM_KEYUP 27"},
                                         {"ui", "WM_PAINT 0"},
                                         {"ui", "WM_TIMER 7"},
                                     }));
}

// What a filtered PeekMessageA takes from a queue holding, in order: WM_USER+1 for
// "parent", WM_USER+2 for its child, WM_USER+3 for "other", WM_USER+4 without window, and
// WM_QUIT.
struct FilterCase {
    const char* filter;
    int window;  // 0: none, 1: parent, 2: other, -1: (HWND)-1
    UINT min;
    UINT max;
    std::vector<std::string> taken;
};

const FilterCase kFilterCases[] = {
    {"everything", 0, 0, 0, {"WM_USER+1", "WM_USER+2", "WM_USER+3", "WM_USER+4", "WM_QUIT"}},
    {"the parent and its child", 1, 0, 0, {"WM_USER+1", "WM_USER+2", "WM_QUIT"}},
    {"the other window", 2, 0, 0, {"WM_USER+3", "WM_QUIT"}},
    {"messages without window", -1, 0, 0, {"WM_USER+4", "WM_QUIT"}},
    {"a range", 0, WM_USER + 2, WM_USER + 3, {"WM_USER+2", "WM_USER+3", "WM_QUIT"}},
};

TEST(User32Messages, FiltersTakeTheirWindowsChildrenAndRangeAndAlwaysWmQuit) {
    for (const FilterCase& entry : kFilterCases) {
        sim::Machine machine(12);
        std::vector<std::string> taken;
        RunThreads({{"ui", [&] {
                         HWND parent = MakeWindow("parent");
                         HWND child = MakeWindow("child", WS_CHILD, parent);
                         HWND other = MakeWindow("other");
                         PostMessageA(parent, WM_USER + 1, 0, 0);
                         PostMessageA(child, WM_USER + 2, 0, 0);
                         PostMessageA(other, WM_USER + 3, 0, 0);
                         PostMessageA(NULL, WM_USER + 4, 0, 0);
                         PostQuitMessage(0);
                         HWND filter = entry.window == 1    ? parent
                                       : entry.window == 2  ? other
                                       : entry.window == -1 ? reinterpret_cast<HWND>(-1)
                                                            : NULL;
                         MSG msg;
                         while (PeekMessageA(&msg, filter, entry.min, entry.max, PM_REMOVE)) {
                             taken.push_back(MessageName(msg.message));
                             if (msg.message == WM_QUIT) {
                                 break;
                             }
                         }
                     }}});
        EXPECT_EQ(taken, entry.taken) << entry.filter;
    }
}

// MsgWaitForMultipleObjects counts only what arrived since the thread last looked at its
// queue; MWMO_INPUTAVAILABLE counts whatever waits.
TEST(User32Messages, MsgWaitWakesForNewInputOnly) {
    sim::Machine machine(10);
    HWND main = NULL;
    RunThreads({
        {"ui",
         [&] {
             main = MakeWindow("main");
             PostMessageA(main, WM_USER + 3, 0, 0);
             MSG msg;
             PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE);
             DWORD woken = MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_POSTMESSAGE);
             Note("old message: " + std::to_string(woken) + " at " + std::to_string(NowMs()));
             woken = MsgWaitForMultipleObjectsEx(0, NULL, 50, QS_POSTMESSAGE, MWMO_INPUTAVAILABLE);
             Note("available: " + std::to_string(woken) + " at " + std::to_string(NowMs()));
             woken = MsgWaitForMultipleObjects(0, NULL, FALSE, INFINITE, QS_ALLPOSTMESSAGE);
             Note("new message: " + std::to_string(woken) + " at " + std::to_string(NowMs()));
         }},
        {"poster",
         [&] {
             Sleep(60);
             PostMessageA(main, WM_USER + 4, 0, 0);
         }},
    });
    EXPECT_TRUE(SameRows(Recorded(), {
                                         {"ui", "old message: 258 at 50"},
                                         {"ui", "available: 0 at 50"},
                                         {"ui", "new message: 0 at 60"},
                                     }));
}

}  // namespace
}  // namespace user32_test
