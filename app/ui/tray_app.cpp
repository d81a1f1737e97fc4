#include "ui/tray_app.h"

#include "ui/main_dlg.h"

BEGIN_MESSAGE_MAP(CTrayApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CTrayApp::CTrayApp() {}

CTrayApp theApp;

// FALSE once the dialog has ended, so the framework ends the process without a message
// loop of its own.
BOOL CTrayApp::InitInstance() {
    Enable3dControls();
    CMainDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = NULL;
    return FALSE;
}
