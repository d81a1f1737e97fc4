#include "ui/notify_dlg.h"

#include "client/debug_print.h"
#include "client/window_messages.h"
#include "ui/main_dlg.h"
#include "ui/text_tip_wnd.h"

#define TIP_MAX_WIDTH 450
#define TIP_STILL_TIMEOUT_S 10

CNotifyDlg::CNotifyDlg(CMainDlg* mainDlg, int hubIndex, const int* portHasTab)
    : CDialog(IDD_NOTIFY_DIALOG, mainDlg),
      m_main_dlg(mainDlg),
      m_hub_index(hubIndex),
      m_tip_wnd(NULL),
      m_mouse_tracking(0) {
    for (int i = 0; i < NOTIFY_PORT_COUNT; i++) {
        m_port_has_tab[i] = portHasTab == NULL ? 0 : portHasTab[i];
        m_port_chg_mode[i] = 0;
    }
}

void CNotifyDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_NOTIFY_TITLE, m_title);
    DDX_Control(pDX, IDC_PORT4_BUTTON, m_port4_button);
    DDX_Control(pDX, IDC_PORT3_BUTTON, m_port3_button);
    DDX_Control(pDX, IDC_PORT2_BUTTON, m_port2_button);
    DDX_Control(pDX, IDC_PORT1_BUTTON, m_port1_button);
    DDX_Control(pDX, IDC_PORT4_DETECTED, m_port4_detected);
    DDX_Control(pDX, IDC_PORT3_DETECTED, m_port3_detected);
    DDX_Control(pDX, IDC_PORT2_DETECTED, m_port2_detected);
    DDX_Control(pDX, IDC_PORT1_DETECTED, m_port1_detected);
}

BEGIN_MESSAGE_MAP(CNotifyDlg, CDialog)
ON_BN_CLICKED(IDC_PORT1_BUTTON, OnPortButton)
ON_WM_TIMER()
END_MESSAGE_MAP()

// Placed in the corner of the work area, in the topmost band, and slid in without taking
// activation; the hint is registered but not shown yet.
BOOL CNotifyDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    UpdateDsPortStatus();
    CString title;
    title.LoadString(IDS_NOTIFY_TITLE);
    m_title.SetWindowText(title);

    RECT work;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT rect;
    GetWindowRect(&rect);
    int w = rect.right - rect.left, h = rect.bottom - rect.top;
    SetWindowPos(&wndTopMost, work.right - w - NOTIFY_CORNER_GAP,
                 work.bottom - h - NOTIFY_CORNER_GAP, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    ::AnimateWindow(m_hWnd, NOTIFY_SLIDE_MS, AW_SLIDE | AW_VER_NEGATIVE);
    EnableToolTips(TRUE);

    m_tip_wnd = new CTextTipWnd(m_hWnd, FALSE);
    m_tip_wnd->SetMaxWidth(TIP_MAX_WIDTH);
    m_tip_wnd->SetStillTimeout(TIP_STILL_TIMEOUT_S);
    m_tip_wnd->SetAnchorToTool(true);
    m_tip_text_detected.LoadString(IDS_TIP_DETECTED);
    m_tip_text_charging.LoadString(IDS_TIP_CHARGING);
    m_tip_wnd->AddTool(&m_port1_button, new CTextTipItem(m_tip_text_detected, 0));

    SetTimer(NOTIFY_CLOSE_TIMER_ID, NOTIFY_CLOSE_TIMER_MS, NULL);
    return TRUE;
}

void CNotifyDlg::UpdateDsPortStatus() {
    m_port1_detected.ShowWindow(m_port_has_tab[0] != 0 ? SW_SHOWNORMAL : SW_HIDE);
    m_port2_detected.ShowWindow(SW_HIDE);
    m_port3_detected.ShowWindow(SW_HIDE);
    m_port4_detected.ShowWindow(SW_HIDE);
    m_port1_button.SetWindowText(m_port_chg_mode[0] != 0 ? "Switch to Normal  "
                                                         : "Switch to Charging");
    m_port2_button.ShowWindow(SW_HIDE);
    m_port3_button.ShowWindow(SW_HIDE);
    m_port4_button.ShowWindow(SW_HIDE);
    m_port1_button.EnableWindow(TRUE);
    DebugPrint("At UpdateDsPortStatus, m_port_chg_mode[0] = %d", m_port_chg_mode[0]);
}

// Only queues the command: the monitoring thread sends it on its next cycle, and its state
// update enables the button again.
void CNotifyDlg::OnPortButton() {
    if (m_main_dlg == NULL) {
        return;
    }
    DebugPrint("At button press, m_port_chg_mode[0] = %d\n", m_port_chg_mode[0]);
    m_main_dlg->SetHubPortCommand(m_hub_index, 1, m_port_chg_mode[0] == 0 ? 1 : 0);
    m_port1_button.EnableWindow(FALSE);
}

// Without a registered tool there is no item to show.
void CNotifyDlg::ShowPortTip(int flag) {
    CTextTipItem* item = m_tip_wnd == NULL ? NULL : (CTextTipItem*)m_tip_wnd->GetItem(0);
    if (item == NULL) {
        return;
    }
    item->m_text = flag != 0 ? m_tip_text_charging : m_tip_text_detected;
    m_tip_wnd->PopAtCursor();
}

void CNotifyDlg::TrackMouse() {
    TRACKMOUSEEVENT track;
    track.cbSize = sizeof(track);
    track.dwFlags = TME_HOVER | TME_LEAVE;
    track.hwndTrack = m_hWnd;
    track.dwHoverTime = HOVER_DEFAULT;
    ::TrackMouseEvent(&track);
}

bool CNotifyDlg::CursorOnDialog() const {
    POINT cursor;
    RECT rect;
    ::GetCursorPos(&cursor);
    GetWindowRect(&rect);
    return ::PtInRect(&rect, cursor) != FALSE;
}

// Resting on the dialog stops the auto-close countdown; leaving it starts a full one again.
// Moving onto a control leaves the dialog's client area too, and the dialog hears no leave
// from the control: while the cursor is on a control (the control's WM_SETCURSOR tells) the
// countdown waits, and a short check starts the full countdown once the cursor has left the
// dialog through it.
void CNotifyDlg::WatchForLeave() {
    KillTimer(NOTIFY_CLOSE_TIMER_ID);
    SetTimer(NOTIFY_LEAVE_TIMER_ID, NOTIFY_LEAVE_TIMER_MS, NULL);
}

LRESULT CNotifyDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            // Back on the dialog itself: its own leave comes again.
            KillTimer(NOTIFY_LEAVE_TIMER_ID);
            if (m_mouse_tracking == 0) {
                m_mouse_tracking = 1;
                TrackMouse();
            }
            break;
        case WM_MOUSEHOVER:
            TrackMouse();
            KillTimer(NOTIFY_CLOSE_TIMER_ID);
            break;
        case WM_MOUSELEAVE:
            m_mouse_tracking = 0;
            if (!CursorOnDialog()) {
                SetTimer(NOTIFY_CLOSE_TIMER_ID, NOTIFY_CLOSE_TIMER_MS, NULL);
            } else {
                WatchForLeave();
            }
            break;
        case WM_SETCURSOR:
            if ((HWND)wParam != m_hWnd && HIWORD(lParam) == WM_MOUSEMOVE) {
                WatchForLeave();
            }
            break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CNotifyDlg::PreTranslateMessage(MSG* pMsg) {
    return CDialog::PreTranslateMessage(pMsg);
}

// The countdown closes the dialog only with the cursor away from it; otherwise the timer
// keeps running and looks again 15 seconds later.
void CNotifyDlg::OnTimer(UINT nIDEvent) {
    if (nIDEvent == NOTIFY_LEAVE_TIMER_ID) {
        if (!CursorOnDialog()) {
            KillTimer(NOTIFY_LEAVE_TIMER_ID);
            SetTimer(NOTIFY_CLOSE_TIMER_ID, NOTIFY_CLOSE_TIMER_MS, NULL);
        }
        return;
    }
    if (nIDEvent != NOTIFY_CLOSE_TIMER_ID) {
        CDialog::OnTimer(nIDEvent);
        return;
    }
    if (CursorOnDialog()) {
        return;
    }
    KillTimer(NOTIFY_CLOSE_TIMER_ID);
    OnOK();
}

// Modeless: the "X" button, Enter and the owner's close request destroy the window.
void CNotifyDlg::OnOK() {
    DebugPrint("CNotifyDlg::OnOK\n");
    if (!UpdateData(TRUE)) {
        return;
    }
    DebugPrint("UpdateData true\n");
    DestroyWindow();
}

// Escape leaves the dialog open.
void CNotifyDlg::OnCancel() {}

// The owner forgets the dialog before the object goes, so that no message it handles before
// the posted notice arrives can reach a deleted dialog.
void CNotifyDlg::PostNcDestroy() {
    CDialog::PostNcDestroy();
    if (m_main_dlg != NULL) {
        m_main_dlg->NotifyDlgDestroyed(this);
        m_main_dlg->PostMessage(WM_NOTIFY_DLG_CLOSED, 0, 0);
    }
    delete this;
}
