#include "ui/main_dlg.h"

#include "client/debug_print.h"
#include "client/monitor_thread.h"
#include "client/power_plan.h"
#include "client/struct_sizes.h"
#include "client/window_messages.h"
#include "ui/notify_dlg.h"

CMainDlg::CMainDlg(CWnd* pParent)
    : CDialog(IDD_AMPWISE_DIALOG, pParent),
      m_icon_offline(NULL),
      m_icon_online(NULL),
      m_monitor_thread(NULL),
      m_skip_option(0),
      m_power_plan_changed(0),
      m_tab_on_hub(0),
      m_notify_dlg(NULL),
      m_destroying(FALSE) {
    ZeroMemory(&m_tray_data, sizeof(m_tray_data));
    m_icon_app = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    InitializeCriticalSection(&m_tray_lock);
}

CMainDlg::~CMainDlg() {
    DeleteCriticalSection(&m_tray_lock);
}

void CMainDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_UNUSED, m_edit);
    DDX_Control(pDX, IDC_ICON_STATIC, m_icon_static);
}

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_SHOW_NOTIFY, OnShowNotify)
ON_WM_DESTROY()
ON_WM_WINDOWPOSCHANGING()
ON_MESSAGE(WM_TRAY_NOTIFY, OnTrayIconNotify)
END_MESSAGE_MAP()

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_icon_app, TRUE);
    SetIcon(m_icon_app, FALSE);
    DebugPrint("hello world\n");
    ReadStartupSwitches();

    m_icon_offline = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_OFFLINE));
    m_icon_online = ::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDI_ONLINE));
    m_tip_offline.LoadString(IDS_TIP_OFFLINE);
    m_tip_online.LoadString(IDS_TIP_ONLINE);
    AddTrayIcon(m_icon_offline);
    SetTrayTip(m_tip_offline);

    m_monitor_thread = StartMonitorThread(this);
    return TRUE;
}

// The two switches of the string table and the Windows version decide the selective-suspend
// route; a power-plan change for the whole run is made here.
void CMainDlg::ReadStartupSwitches() {
    CString option;
    option.LoadString(IDS_SKIP_OPTION);
    m_skip_option = option == "YesForSkip" ? 1 : 0;
    m_tab_on_hub = 0;
    m_power_plan_changed = 0;
    if (PowerPlanVersionTest()) {
        option.LoadString(IDS_POWER_PLAN_OPTION);
        m_power_plan_changed = option == "Yes" ? 1 : 0;
    }
    if (m_power_plan_changed == 1) {
        DebugPrint("Changing power plan...");
        if (ChangePowerPlanUsbSelectiveSuspend(0, 1) == 0) {
            DebugPrint("Cannot stop USB selective-suspend!!");
        }
    }
}

void CMainDlg::OnDestroy() {
    m_destroying = TRUE;
    CDialog::OnDestroy();
    // Before the restore's seconds: a pass still running then sends nothing more.
    RequestMonitorStop();
    if (m_power_plan_changed == 1) {
        DebugPrint("Restoring power plan...");
        if (ChangePowerPlanUsbSelectiveSuspend(1, 1) == 0) {
            DebugPrint("Cannot start USB selective-suspend!!\n");
        }
    }
    RemoveTrayIcon();
    StopMonitorThread(m_monitor_thread);
    m_monitor_thread = NULL;
}

void CMainDlg::OnOK() {}

void CMainDlg::OnCancel() {}

// Drawn only while minimised, which the hidden dialog never is.
void CMainDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc, 0);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_icon_app);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CMainDlg::OnQueryDragIcon() {
    return (HCURSOR)m_icon_app;
}

// Keeps the dialog hidden: no window position change may show it.
void CMainDlg::OnWindowPosChanging(WINDOWPOS* lpwndpos) {
    CDialog::OnWindowPosChanging(lpwndpos);
    lpwndpos->flags &= ~SWP_SHOWWINDOW;
}

// Sees every message before the message map, which then always gets it too.
LRESULT CMainDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A message the monitoring thread sent before it saw the stop flag arrives inside the stop
    // wait: the sender is let go, and no dialog opens under a window being destroyed.
    if (m_destroying && message >= WM_NEW_SGTAB_ARRIVE && message <= WM_DRIVER_OPEN_FAIL) {
        return CDialog::WindowProc(message, wParam, lParam);
    }
    switch (message) {
        case WM_COMMAND:
            if ((wParam & 0xFF) == ID_MENU_EXIT) {
                CDialog::OnOK();
            } else if ((wParam & 0xFF) >= ID_MENU_HUB_FIRST &&
                       (wParam & 0xFF) < ID_MENU_HUB_FIRST + DEVICE_SLOT_COUNT) {
                OpenNotifyDlg((int)(wParam & 0xFF) - ID_MENU_HUB_FIRST);
            }
            break;
        case WM_TIMER:
            if (wParam == BALLOON_TIMER_ID) {
                ShowBalloon("", "", 0);
                KillTimer(BALLOON_TIMER_ID);
            }
            break;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMRESUMEAUTOMATIC) {
                OnSystemResume();
            }
            break;
        case WM_NEW_SGTAB_ARRIVE:
            DebugPrint("WM_NEW_SGTAB_ARRIVE, wParam = 0x%x\n", wParam);
            OnTabArrival(wParam);
            break;
        case WM_NEW_VEXAHUB_ARRIVE:
            DebugPrint("WM_NEW_VEXAHUB_ARRIVE, wParam = 0x%x\n", wParam);
            break;
        case WM_OLD_SGTAB_REMOVE:
            DebugPrint("WM_OLD_SGTAB_REMOVE\n");
            UpdateNotifyDlg();
            break;
        case WM_OLD_VEXAHUB_REMOVE:
            DebugPrint("WM_OLD_VEXAHUB_REMOVE\n");
            OnHubsRemoved(wParam);
            break;
        case WM_CHG_STATE_UPDATE:
            OnChargeStateUpdate(wParam, lParam);
            break;
        case WM_DRIVER_OPEN_FAIL:
            OnDriverOpenFail();
            break;
        case WM_NOTIFY_DLG_CLOSED:
            // The closed dialog was forgotten when its window went (NotifyDlgDestroyed); a
            // dialog opened since then is the open one and stays known.
            ShowTimedBalloon(IDS_NOTIFY_TITLE, IDS_BALLOON_TEXT);
            break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

TopoAddr CMainDlg::TabRecord(int tabSlot) {
    // Two-thread rule: the monitoring thread never sends while it holds a list lock.
    m_tab_list.Lock();
    TopoAddr tab = m_tab_list.records[tabSlot];
    m_tab_list.Unlock();
    return tab;
}

// Of chained Vexa hubs, every one is upstream of the tablet; the deepest is the one it is
// plugged into, and the one whose port a command switches.
int CMainDlg::FindTabHub(const TopoAddr& tab, USHORT* port) {
    int hubSlot = m_hub_list.DeepestUpstreamOf(tab);
    *port = hubSlot == -1 ? 0 : PortOnHub(m_hub_list.records[hubSlot], tab);
    return hubSlot;
}

// Opens the notify dialog on the hub of a tablet that sits on its port 1.
void CMainDlg::OnTabArrival(WPARAM tabSlot) {
    if (tabSlot >= DEVICE_SLOT_COUNT) {
        return;
    }
    TopoAddr tab = TabRecord((int)tabSlot);
    USHORT port = 0;
    m_hub_list.Lock();
    int hubSlot = FindTabHub(tab, &port);
    m_hub_list.Unlock();
    if (hubSlot == -1 || port != 1) {
        return;
    }
    OpenNotifyDlg(hubSlot);
    if (m_notify_dlg != NULL) {
        m_notify_dlg->ShowPortTip(0);
    }
}

// The open dialog closes when the hub it shows has gone.
void CMainDlg::OnHubsRemoved(WPARAM freedSlots) {
    if (m_notify_dlg == NULL) {
        return;
    }
    int hubSlot = m_notify_dlg->m_hub_index;
    if (hubSlot >= 0 && hubSlot < DEVICE_SLOT_COUNT && (freedSlots & (1UL << hubSlot)) != 0) {
        CloseNotifyDlg();
    }
}

void CMainDlg::OnChargeStateUpdate(WPARAM hubSlot, LPARAM lParam) {
    ULONG mask = (ULONG)(lParam >> 8) & PORT_CMD_PORT_MASK;
    ULONG on = mask & (ULONG)lParam;
    DebugPrint("WM_CHG_STATE_UPDATE, lParam = %x, %x\n", lParam, on);
    if (hubSlot >= DEVICE_SLOT_COUNT) {
        return;
    }
    // Two-thread rule: the monitoring thread sends this message holding no lock.
    m_hub_list.Lock();
    if (on != 0) {
        m_hub_list.port_state[hubSlot] |= mask;
    } else {
        m_hub_list.port_state[hubSlot] &= ~mask;
    }
    m_hub_list.Unlock();
    UpdateNotifyDlg();
    if (on != 0 && m_notify_dlg != NULL) {
        m_notify_dlg->ShowPortTip(1);
    }
}

void CMainDlg::OnDriverOpenFail() {
    // Two-thread rule: the monitoring thread sends this message holding no lock.
    m_hub_list.Lock();
    m_hub_list.Clear();
    m_hub_list.Unlock();
    m_tab_list.Lock();
    m_tab_list.Clear();
    m_tab_list.Unlock();
    CloseNotifyDlg();
}

// Port 1 of every hub that was charging is switched to charging again by the next pass.
void CMainDlg::OnSystemResume() {
    DebugPrint("System resume detected\n");
    ULONG charging = 0;
    m_hub_list.Lock();
    for (int hubSlot = 0; hubSlot < DEVICE_SLOT_COUNT; hubSlot++) {
        charging |= (m_hub_list.port_state[hubSlot] & 1) << hubSlot;
    }
    m_hub_list.Unlock();
    for (int hubSlot = 0; hubSlot < DEVICE_SLOT_COUNT; hubSlot++) {
        if ((charging & (1UL << hubSlot)) != 0) {
            DebugPrint("Re-send command to hub\n");
            SetHubPortCommand(hubSlot, 1, 1);
            if (m_notify_dlg != NULL) {
                m_notify_dlg->m_port1_button.EnableWindow(FALSE);
            }
        }
    }
}

void CMainDlg::SetHubPortCommand(int hubSlot, int port, int mode) {
    ULONG word = (1UL << ((port - 1) & 31)) | ((ULONG)mode << 8);
    DebugPrint("hub index = %d, port = %d, mode = 0x%x\n", hubSlot, port, word);
    if (hubSlot < 0 || hubSlot >= DEVICE_SLOT_COUNT || port < 1 || port > PORT_CMD_PORTS) {
        return;
    }
    // Two-thread rule: the monitoring thread never sends to this window while it holds the
    // hub lock, so this wait ends.
    m_hub_list.Lock();
    m_hub_list.port_cmd[hubSlot] = word;
    m_hub_list.Unlock();
}

// The open dialog keeps the hub it was made for.
void CMainDlg::OpenNotifyDlg(int hubSlot) {
    if (m_notify_dlg != NULL) {
        m_notify_dlg->SetForegroundWindow();
    } else {
        CreateNotifyDlg(hubSlot);
    }
    UpdateNotifyDlg();
}

bool CMainDlg::CreateNotifyDlg(int hubSlot) {
    CNotifyDlg* dialog = new CNotifyDlg(this, hubSlot);
    m_notify_dlg = dialog;
    if (!dialog->Create(CNotifyDlg::IDD, this)) {
        // A window made and destroyed again has deleted its object already.
        if (m_notify_dlg == dialog) {
            delete dialog;
            m_notify_dlg = NULL;
        }
        return false;
    }
    dialog->ShowWindow(SW_SHOW);
    return true;
}

void CMainDlg::NotifyDlgDestroyed(CNotifyDlg* dialog) {
    if (m_notify_dlg == dialog) {
        m_notify_dlg = NULL;
    }
}

// The dialog destroys itself and then reports WM_NOTIFY_DLG_CLOSED.
void CMainDlg::CloseNotifyDlg() {
    if (m_notify_dlg != NULL) {
        m_notify_dlg->PostMessage(WM_COMMAND, IDOK, 0);
    }
}

// Button 1000 of the dialog that is never seen.
void CMainDlg::OnShowNotify() {
    if (m_notify_dlg == NULL) {
        CreateNotifyDlg(0);
    }
}

// Copies port 1 of the dialog's hub into it: occupied when a tablet is plugged into that port
// of that hub. Each list is read under its own lock, one after the other.
void CMainDlg::UpdateNotifyDlg() {
    DebugPrint("enter UpdateNotifyDlg\n");
    if (m_notify_dlg == NULL) {
        return;
    }
    int hubSlot = m_notify_dlg->m_hub_index;
    DebugPrint("hubidx = %d\n", hubSlot);
    if (hubSlot < 0 || hubSlot >= DEVICE_SLOT_COUNT) {
        return;
    }
    TopoAddr tabs[DEVICE_SLOT_COUNT];
    int tabCount = 0;
    m_tab_list.Lock();
    for (int tabSlot = 0; tabSlot < DEVICE_SLOT_COUNT; tabSlot++) {
        if (m_tab_list.state[tabSlot] != SLOT_FREE) {
            tabs[tabCount++] = m_tab_list.records[tabSlot];
        }
    }
    m_tab_list.Unlock();
    int occupied[3] = {0, 0, 0};
    m_hub_list.Lock();
    for (int t = 0; t < tabCount; t++) {
        USHORT port = 0;
        if (FindTabHub(tabs[t], &port) == hubSlot && port >= 1 && port <= 3) {
            occupied[port - 1] = 1;
            DebugPrint("DSPort has device, index = %d", port - 1);
        }
    }
    int charging = (int)(m_hub_list.port_state[hubSlot] & 1);
    m_hub_list.Unlock();
    m_notify_dlg->m_port_has_tab[0] = occupied[0];
    m_notify_dlg->m_port_chg_mode[0] = charging;
    m_notify_dlg->UpdateDsPortStatus();
}
