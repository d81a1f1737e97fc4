// The monitoring thread: every five seconds the charging request, the tray icon and tooltip
// from its result, and one polling pass.
#pragma once

#include <afxwin.h>

class CMainDlg;

#define MONITOR_CYCLE_MS 5000

// 0 keep running, 1 stop; read and written only with interlocked calls.
extern volatile LONG g_stop_monitor;

CWinThread* StartMonitorThread(CMainDlg* dlg);
UINT MonitorThreadProc(LPVOID param);
// Sets the stop flag: from now on the thread sends nothing and ends at its next check.
void RequestMonitorStop();
// Stops the thread, waits for its end and deletes the thread object.
void StopMonitorThread(CWinThread* thread);

// The monitoring thread's only way to the main dialog: SendMessageA, and nothing once the
// stop flag is set.
LRESULT SendToMainWindow(CMainDlg* dlg, UINT message, WPARAM wParam, LPARAM lParam);
