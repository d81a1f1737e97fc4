// The window messages of Ampwise, all addressed to the main dialog.
#pragma once

#include <windows.h>

#define WM_TRAY_NOTIFY (WM_USER + 1)         // the shell, for the tray icon
#define WM_NEW_SGTAB_ARRIVE (WM_USER + 2)    // wParam: tab-list slot of the last tab added
#define WM_NEW_VEXAHUB_ARRIVE (WM_USER + 3)  // wParam: hub-list slot of the last hub added
#define WM_OLD_SGTAB_REMOVE (WM_USER + 4)
#define WM_OLD_VEXAHUB_REMOVE (WM_USER + 5)  // wParam: bit k set = hub slot k was freed
#define WM_CHG_STATE_UPDATE (WM_USER + 6)    // wParam: hub slot; lParam: ports << 8 | new modes
#define WM_DRIVER_OPEN_FAIL (WM_USER + 7)
#define WM_NOTIFY_DLG_CLOSED (WM_USER + 8)  // posted by the notify dialog when it is gone

// lParam of WM_CHG_STATE_UPDATE for port 1.
#define CHG_STATE_PORT1 0x100
#define CHG_STATE_PORT1_CHARGING 0x001
