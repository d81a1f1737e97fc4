// Ampwise's use of the window manager from start to exit, written with USER32 calls alone:
// the hidden modal main dialog of its resources, a monitoring thread that sends while it
// holds a lock, the tray's callback opening the popup menu, "Exit" ending the dialog, and
// the stop that waits for the monitoring thread with sent messages let through.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "compiled_resources.h"
#include "message_recorder.h"
#include "win32/kernel32/kernel_objects.h"
#include "win32/user32/menu_control.h"
#include "win32/user32/user32_control.h"

namespace user32_test {
namespace {

constexpr UINT kTrayNotify = WM_USER + 1;
constexpr UINT kStateUpdate = WM_USER + 6;
constexpr UINT kExit = 3;

class ThreadEnd : public sim::win32::Waitable {
  public:
    std::string Describe() const override { return "thread 'monitor'"; }
};

// What the main dialog and its monitoring thread share.
struct App {
    HWND dialog = NULL;
    CRITICAL_SECTION hub_lock;
    volatile LONG stop = 0;
    std::shared_ptr<ThreadEnd> monitor_end = std::make_shared<ThreadEnd>();
    HANDLE monitor_handle = NULL;
    WNDPROC dialog_class_proc = NULL;
    // How WM_DESTROY waits for the monitoring thread: letting sent messages through, or,
    // wrongly, by taking the hub lock the sender holds.
    bool stop_lets_messages_through = true;
};
App* g_app = nullptr;

void Monitor() {
    for (int cycle = 0; g_app->stop == 0; cycle++) {
        // The state update is sent with the hub lock held; its handler takes no lock.
        EnterCriticalSection(&g_app->hub_lock);
        if (g_app->stop == 0) {
            SendMessageA(g_app->dialog, kStateUpdate, cycle, 0);
        }
        LeaveCriticalSection(&g_app->hub_lock);
        Sleep(20);
    }
    Note("monitor ends");
    g_app->monitor_end->SetSignaled();
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_WINDOWPOSCHANGING:
            // Never shown.
            reinterpret_cast<WINDOWPOS*>(lparam)->flags &= ~SWP_SHOWWINDOW;
            break;
        case kStateUpdate:
            Note("state update " + std::to_string(wparam));
            return 0;
        case kTrayNotify:
            if (lparam == WM_RBUTTONDOWN) {
                HMENU menu = CreatePopupMenu();
                InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, 11, "Hub 01");
                InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_SEPARATOR, 12, NULL);
                InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, kExit, "Exit");
                SetForegroundWindow(hwnd);
                Note("menu");
                TrackPopupMenu(menu, TPM_BOTTOMALIGN, 0, 0, 0, hwnd, NULL);
                DestroyMenu(menu);
            }
            return 0;
        case WM_COMMAND:
            if ((wparam & 0xFF) == kExit) {
                Note("exit");
                // Busy for a while: the monitoring thread's next send waits meanwhile.
                Sleep(15);
                EndDialog(hwnd, IDOK);
            }
            break;
        case WM_DESTROY: {
            g_app->stop = 1;
            if (!g_app->stop_lets_messages_through) {
                EnterCriticalSection(&g_app->hub_lock);
                LeaveCriticalSection(&g_app->hub_lock);
            }
            // The monitoring thread may be sending right now: let its message through.
            while (MsgWaitForMultipleObjects(1, &g_app->monitor_handle, FALSE, INFINITE,
                                             QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
                MSG msg;
                PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
            Note("stopped, visible " + std::to_string(IsWindowVisible(hwnd)));
            break;
        }
    }
    return CallWindowProcA(g_app->dialog_class_proc, hwnd, message, wparam, lparam);
}

INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT message, WPARAM, LPARAM) {
    if (g_app->dialog == NULL) {
        g_app->dialog = hwnd;
        g_app->dialog_class_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainWindowProc)));
    }
    if (message == WM_INITDIALOG) {
        sim::Machine::Current().scheduler.Spawn("monitor", Monitor);
        Note("init");
        return TRUE;
    }
    return FALSE;
}

// Runs the program: a right click on the tray icon between two cycles, then "Exit".
sim::RunOutcome RunAmpwise(App& app) {
    g_app = &app;
    InitializeCriticalSection(&app.hub_lock);
    app.monitor_handle = reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(app.monitor_end));
    std::vector<uint8_t> main_dialog = CompiledResource(AMPWISE_RES, 5, 102);
    sim::RunOutcome outcome = RunThreads({
        {"ui",
         [&] {
             INT_PTR result = DialogBoxIndirectParamA(
                 NULL, reinterpret_cast<LPCDLGTEMPLATEA>(main_dialog.data()), NULL, MainDialogProc,
                 0);
             Note("dialog returned " + std::to_string(result));
         }},
        {"shell",
         [&] {
             Sleep(30);
             PostMessageA(app.dialog, kTrayNotify, 0x1010F0F0, WM_RBUTTONDOWN);
             Sleep(20);
             sim::win32::ChooseMenuEntry("Exit");
         }},
    });
    g_app = nullptr;
    return outcome;
}

TEST(User32AmpwiseFlow, StartTrayMenuExitAndStopAcrossSeeds) {
    for (uint64_t seed = 0; seed < 8; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        sim::Machine machine(seed);
        App app;
        sim::RunOutcome outcome = RunAmpwise(app);
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        EXPECT_TRUE(SameRows(Recorded(), {
                                             {"ui", "init"},
                                             {"ui", "state update 0"},
                                             {"ui", "state update 1"},
                                             {"ui", "menu"},
                                             {"ui", "state update 2"},
                                             {"ui", "exit"},
                                             {"ui", "state update 3"},
                                             {"monitor", "monitor ends"},
                                             {"ui", "stopped, visible 0"},
                                             {"ui", "dialog returned 1"},
                                         }));
        EXPECT_EQ(machine.log.Texts("menu"),
                  (std::vector<std::string>{"open \"Hub 01\"=11 - Exit=3", "chose Exit=3"}));
    }
}

// The cycle the stop avoids: waiting for the lock the sending thread holds.
TEST(User32AmpwiseFlow, StopThatTakesTheSendersLockIsADeadlock) {
    sim::Machine machine(0);
    App app;
    app.stop_lets_messages_through = false;
    sim::RunOutcome outcome = RunAmpwise(app);
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_EQ(outcome.report,
              "deadlock at t=0.065: threads wait for each other\n"
              "  thread 'ui' waits for EnterCriticalSection (owned by 'monitor')\n"
              "  thread 'monitor' waits for SendMessageA 0x0406 to 'ui'");
}

}  // namespace
}  // namespace user32_test
