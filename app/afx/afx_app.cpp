// CWinApp and the program's entry point: the one application object runs InitInstance and,
// if that returns TRUE, the message loop.
#include "afxwin.h"

namespace {

CWinApp* g_app = NULL;
HINSTANCE g_instance = NULL;

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName)
    : m_hInstance(NULL), m_lpCmdLine(NULL), m_nCmdShow(SW_SHOWNORMAL), m_pszAppName(lpszAppName) {
    // Exactly one application object exists, constructed before WinMain runs.
    g_app = this;
    m_bAutoDelete = FALSE;
}

CWinApp::~CWinApp() {
    g_app = NULL;
    // The application object stands for the process's first thread, whose handle it never owned.
    m_hThread = NULL;
}

BOOL CWinApp::InitApplication() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

BOOL CWinApp::Enable3dControls() {
    return TRUE;
}

// No help file belongs to the application: the command is accepted and shows nothing.
void CWinApp::OnHelp() {}

CWinApp* AFXAPI AfxGetApp() {
    return g_app;
}

CWnd* AFXAPI AfxGetMainWnd() {
    return g_app == NULL ? NULL : g_app->m_pMainWnd;
}

HINSTANCE AFXAPI AfxGetInstanceHandle() {
    return g_instance;
}

HINSTANCE AFXAPI AfxGetResourceHandle() {
    return g_instance;
}

// A FALSE from InitInstance ends the program without a message loop of the framework's own.
extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int nCmdShow) {
    CWinApp* app = AfxGetApp();
    if (app == NULL) {
        return -1;
    }
    g_instance = hInstance;
    app->m_hInstance = hInstance;
    app->m_lpCmdLine = lpCmdLine;
    app->m_nCmdShow = nCmdShow;
    app->m_hThread = ::GetCurrentThread();
    app->m_nThreadID = ::GetCurrentThreadId();
    if (!app->InitApplication() || !app->InitInstance()) {
        return app->ExitInstance();
    }
    return app->Run();
}
