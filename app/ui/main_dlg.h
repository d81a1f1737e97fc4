// The hidden main dialog: owner of the tray icon, the device lists, the monitoring thread
// and the notify dialog, and target of every message of the monitoring thread.
#pragma once

#include <afxwin.h>

#include "client/device_slot_list.h"
#include "res/resource.h"
#include "ui/icon_static.h"

class CNotifyDlg;

// Tray icon and its menu.
#define TRAY_ICON_ID 0x1010F0F0
#define TRAY_TIP_MAX_CHARS 64
#define BALLOON_TIMER_ID 100
#define BALLOON_TIMER_MS 5000
#define ID_MENU_EXIT 3
#define ID_MENU_HUB_FIRST 10  // + hub slot

class CMainDlg : public CDialog {
  public:
    explicit CMainDlg(CWnd* pParent = NULL);
    virtual ~CMainDlg();

    enum { IDD = IDD_AMPWISE_DIALOG };

    // Called by the notify dialog and on resume: the next pass sends the command.
    void SetHubPortCommand(int hubSlot, int port, int mode);
    void OpenNotifyDlg(int hubSlot);
    void UpdateNotifyDlg();
    // The notify dialog's window is gone and the object about to be: forget it now, before
    // its posted notice arrives.
    void NotifyDlgDestroyed(CNotifyDlg* dialog);

    // Tray routines; SetTrayIcon and SetTrayTip are also called by the monitoring thread.
    void AddTrayIcon(HICON icon);
    void SetTrayIcon(HICON icon);
    void SetTrayTip(LPCSTR text);
    void RemoveTrayIcon();
    void ShowBalloon(LPCSTR title, LPCSTR text, DWORD infoFlags);
    void ShowTimedBalloon(UINT titleId, UINT textId);
    void BuildContextMenu(HMENU menu);
    void ShowContextMenu(int x, int y);

    CEdit m_edit;
    CIconStatic m_icon_static;
    NOTIFYICONDATAA m_tray_data;
    HICON m_icon_offline;
    HICON m_icon_online;
    CWinThread* m_monitor_thread;
    BYTE m_skip_option;
    BYTE m_power_plan_changed;
    BYTE m_tab_on_hub;
    CString m_tip_offline;
    CString m_tip_online;
    DeviceSlotList m_hub_list;
    DeviceSlotList m_tab_list;
    CNotifyDlg* m_notify_dlg;
    HICON m_icon_app;
    // Both threads update m_tray_data and hand it to the shell; one update at a time.
    CRITICAL_SECTION m_tray_lock;
    // Set when the window's destruction begins: the monitoring thread's messages then only
    // let the sender go, so nothing opens under a window that is going.
    BOOL m_destroying;

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The hidden dialog ends only through "Exit": Enter and Escape must not end it.
    virtual void OnOK();
    virtual void OnCancel();

    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnDestroy();
    afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
    afx_msg LRESULT OnTrayIconNotify(WPARAM wParam, LPARAM lParam);
    afx_msg void OnShowNotify();

  private:
    void ReadStartupSwitches();
    void OnTabArrival(WPARAM tabSlot);
    void OnHubsRemoved(WPARAM freedSlots);
    void OnChargeStateUpdate(WPARAM hubSlot, LPARAM lParam);
    void OnDriverOpenFail();
    void OnSystemResume();
    // A new notify dialog for the hub slot, shown; false (and none) if its window could not be
    // made.
    bool CreateNotifyDlg(int hubSlot);
    void CloseNotifyDlg();
    // The hub slot of a tablet (the hub it is plugged into) and its port there; -1 if no
    // listed hub is upstream of it. The caller holds the hub lock.
    int FindTabHub(const TopoAddr& tab, USHORT* port);
    // The tablet record of a tab slot, read under the tab lock.
    TopoAddr TabRecord(int tabSlot);

    DECLARE_MESSAGE_MAP()
};
