// The tray icon, its balloon and its menu: the routines of CMainDlg that work on m_tray_data.
#include "client/debug_print.h"
#include "client/struct_sizes.h"
#include "client/window_messages.h"
#include "ui/main_dlg.h"

namespace {

// Characters, a double-byte character counting as one.
int CharacterCount(LPCSTR text) {
    int count = 0;
    for (LPCSTR p = text; *p != '\0'; p = CharNextA(p)) {
        count++;
    }
    return count;
}

}  // namespace

// Each routine updates m_tray_data and hands it to the shell under m_tray_lock. Two-thread
// rule: that lock is never held while anything is sent to the window, so the window's thread
// waits for it only as long as one shell call takes.

void CMainDlg::AddTrayIcon(HICON icon) {
    EnterCriticalSection(&m_tray_lock);
    ZeroMemory(&m_tray_data, sizeof(m_tray_data));
    m_tray_data.cbSize = TRAY_DATA_SIZE;
    m_tray_data.hWnd = m_hWnd;
    m_tray_data.uID = TRAY_ICON_ID;
    m_tray_data.uCallbackMessage = WM_TRAY_NOTIFY;
    m_tray_data.hIcon = icon;
    m_tray_data.uFlags = NIF_MESSAGE | (icon != NULL ? NIF_ICON : 0);
    Shell_NotifyIconA(NIM_ADD, &m_tray_data);
    LeaveCriticalSection(&m_tray_lock);
}

// A text of more than 64 characters, or one whose bytes do not fit szTip, is ignored.
void CMainDlg::SetTrayTip(LPCSTR text) {
    if (CharacterCount(text) > TRAY_TIP_MAX_CHARS ||
        lstrlenA(text) >= (int)sizeof(m_tray_data.szTip)) {
        return;
    }
    EnterCriticalSection(&m_tray_lock);
    lstrcpynA(m_tray_data.szTip, text, sizeof(m_tray_data.szTip));
    m_tray_data.uFlags |= NIF_TIP;
    Shell_NotifyIconA(NIM_MODIFY, &m_tray_data);
    LeaveCriticalSection(&m_tray_lock);
}

void CMainDlg::SetTrayIcon(HICON icon) {
    EnterCriticalSection(&m_tray_lock);
    m_tray_data.hIcon = icon;
    Shell_NotifyIconA(NIM_MODIFY, &m_tray_data);
    LeaveCriticalSection(&m_tray_lock);
}

void CMainDlg::RemoveTrayIcon() {
    EnterCriticalSection(&m_tray_lock);
    Shell_NotifyIconA(NIM_DELETE, &m_tray_data);
    LeaveCriticalSection(&m_tray_lock);
}

// Empty texts with flags 0 take a balloon that is up away. Longer texts are cut to fit.
void CMainDlg::ShowBalloon(LPCSTR title, LPCSTR text, DWORD infoFlags) {
    EnterCriticalSection(&m_tray_lock);
    m_tray_data.dwInfoFlags = infoFlags;
    m_tray_data.uFlags |= NIF_INFO;
    lstrcpynA(m_tray_data.szInfo, text, sizeof(m_tray_data.szInfo));
    lstrcpynA(m_tray_data.szInfoTitle, title, sizeof(m_tray_data.szInfoTitle));
    BOOL result = Shell_NotifyIconA(NIM_MODIFY, &m_tray_data);
    LeaveCriticalSection(&m_tray_lock);
    DebugPrint("Shell_NotifyIcon return %d\n", result);
}

// Timer 100 takes the balloon away after five seconds (WindowProc).
void CMainDlg::ShowTimedBalloon(UINT titleId, UINT textId) {
    CString title;
    CString text;
    title.LoadString(titleId);
    text.LoadString(textId);
    ShowBalloon(title, text, NIIF_INFO);
    SetTimer(BALLOON_TIMER_ID, BALLOON_TIMER_MS, NULL);
}

// The menu opens on the press of the right button (or the keyboard's context-menu key).
LRESULT CMainDlg::OnTrayIconNotify(WPARAM wParam, LPARAM lParam) {
    DebugPrint("OnTrayIconNotify Enter: uID = %x\n", wParam);
    if (wParam != TRAY_ICON_ID || (lParam != WM_CONTEXTMENU && lParam != WM_RBUTTONDOWN)) {
        return 0;
    }
    POINT cursor;
    GetCursorPos(&cursor);
    DebugPrint("OnTrayIconNotify: WM_RBUTTONDOWN\n");
    ShowContextMenu(cursor.x, cursor.y);
    return 0;
}

void CMainDlg::ShowContextMenu(int x, int y) {
    DebugPrint("ShowContextMenu: Enter\n");
    HMENU menu = CreatePopupMenu();
    if (menu == NULL) {
        return;
    }
    BuildContextMenu(menu);
    // In the foreground, so the menu closes when the user clicks elsewhere.
    SetForegroundWindow();
    // Two-thread rule: the menu's modal loop handles sent messages while it is open.
    TrackPopupMenu(menu, TPM_BOTTOMALIGN, x, y, 0, m_hWnd, NULL);
    // Without a message after the menu, the next menu opened from the tray can close at once.
    PostMessage(WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// "Hub NN" for each present hub (identifier 10 + its slot), a separator, then "Exit"; the
// hubs only while the last pass saw a tablet and a hub (m_tab_on_hub, kept under the hub lock).
void CMainDlg::BuildContextMenu(HMENU menu) {
    DebugPrint("BuildContextMenu Enter:");
    int listed = 0;
    DebugPrint("before get lock");
    // Two-thread rule: the monitoring thread never sends to this window while it holds the hub
    // lock, so this wait ends.
    m_hub_list.Lock();
    DebugPrint("after get lock");
    if (m_tab_on_hub == 1) {
        for (int slot = 0; slot < DEVICE_SLOT_COUNT; slot++) {
            if (m_hub_list.state[slot] != SLOT_PRESENT) {
                continue;
            }
            char label[16];
            wsprintfA(label, "Hub %02d", listed + 1);
            InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, ID_MENU_HUB_FIRST + slot, label);
            listed++;
        }
    }
    DebugPrint("before release lock");
    m_hub_list.Unlock();
    DebugPrint("after release lock");
    if (listed > 0) {
        InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_SEPARATOR, ID_MENU_HUB_FIRST + listed, NULL);
    }
    InsertMenuA(menu, (UINT)-1, MF_BYPOSITION | MF_STRING, ID_MENU_EXIT, "Exit");
}
