#include "client/monitor_thread.h"

#include "client/debug_print.h"
#include "client/driver_client.h"
#include "ui/main_dlg.h"

volatile LONG g_stop_monitor = 0;

namespace {

BOOL StopRequested() {
    return InterlockedCompareExchange(&g_stop_monitor, 0, 0) != 0;
}

// Waits for the handle while handling the messages other threads send to this thread's
// windows, so a monitoring thread blocked in SendMessageA can still finish its cycle.
void WaitLettingSentMessagesThrough(HANDLE handle) {
    while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE) ==
           WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

CWinThread* StartMonitorThread(CMainDlg* dlg) {
    InterlockedExchange(&g_stop_monitor, 0);
    CWinThread* thread = AfxBeginThread(MonitorThreadProc, dlg, THREAD_PRIORITY_ABOVE_NORMAL, 0,
                                        CREATE_SUSPENDED, NULL);
    if (thread == NULL) {
        DebugPrint("fail to start monitor thread, %d\n", GetLastError());
        return NULL;
    }
    // The object, and with it the thread's handle, must outlive StopMonitorThread's wait.
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    return thread;
}

UINT MonitorThreadProc(LPVOID param) {
    CMainDlg* dlg = (CMainDlg*)param;
    for (;;) {
        if (RequestTabCharging(dlg->m_skip_option) == 0) {
            dlg->SetTrayIcon(dlg->m_icon_online);
            dlg->SetTrayTip(dlg->m_tip_online);
        } else {
            dlg->SetTrayIcon(dlg->m_icon_offline);
            dlg->SetTrayTip(dlg->m_tip_offline);
        }
        PollDevices(dlg);
        Sleep(MONITOR_CYCLE_MS);
        if (StopRequested()) {
            return 0;
        }
    }
}

void RequestMonitorStop() {
    InterlockedExchange(&g_stop_monitor, 1);
}

void StopMonitorThread(CWinThread* thread) {
    RequestMonitorStop();
    DebugPrint("before wait thread end\n");
    if (thread != NULL) {
        // Two-thread rule: the window's thread never waits for the monitoring thread without
        // letting its sent messages through.
        WaitLettingSentMessagesThrough(thread->m_hThread);
        delete thread;
    }
    DebugPrint("after wait thread end\n");
}

LRESULT SendToMainWindow(CMainDlg* dlg, UINT message, WPARAM wParam, LPARAM lParam) {
    // Two-thread rule: after the stop flag is set the monitoring thread sends nothing.
    if (StopRequested()) {
        return 0;
    }
    return SendMessageA(dlg->GetSafeHwnd(), message, wParam, lParam);
}
