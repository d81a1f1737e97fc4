// The notify dialog: a small topmost panel that slides up into the corner of the work area,
// shows whether a tab sits on port 1 of its hub, and switches that port between charging and
// normal mode through its one button.
#pragma once

#include <afxwin.h>

#include "res/resource.h"

class CMainDlg;
class CTextTipWnd;

#define NOTIFY_CLOSE_TIMER_ID 1
#define NOTIFY_CLOSE_TIMER_MS 15000
// While the cursor is on one of the controls: has it left the dialog yet?
#define NOTIFY_LEAVE_TIMER_ID 2
#define NOTIFY_LEAVE_TIMER_MS 100
#define NOTIFY_SLIDE_MS 500
#define NOTIFY_CORNER_GAP 5
#define NOTIFY_PORT_COUNT 4

class CNotifyDlg : public CDialog {
  public:
    // `portHasTab`: four initial flags, or null for none.
    CNotifyDlg(CMainDlg* mainDlg, int hubIndex, const int* portHasTab = NULL);

    enum { IDD = IDD_NOTIFY_DIALOG };

    // Shows port 1 from m_port_has_tab[0] and m_port_chg_mode[0] and enables its button.
    void UpdateDsPortStatus();
    // Pops the hint beside the button: string 1006 with a non-zero flag, else 1005.
    void ShowPortTip(int flag);

    CMainDlg* m_main_dlg;
    int m_hub_index;
    int m_port_has_tab[NOTIFY_PORT_COUNT];
    int m_port_chg_mode[NOTIFY_PORT_COUNT];
    CTextTipWnd* m_tip_wnd;
    BYTE m_mouse_tracking;
    CString m_tip_text_detected;
    CString m_tip_text_charging;
    CStatic m_title;
    CButton m_port4_button;
    CButton m_port3_button;
    CButton m_port2_button;
    CButton m_port1_button;
    CStatic m_port4_detected;
    CStatic m_port3_detected;
    CStatic m_port2_detected;
    CStatic m_port1_detected;

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PostNcDestroy();

    afx_msg void OnPortButton();
    afx_msg void OnTimer(UINT nIDEvent);

  private:
    void TrackMouse();
    bool CursorOnDialog() const;
    void WatchForLeave();

    DECLARE_MESSAGE_MAP()
};
