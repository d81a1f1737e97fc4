// CDialog: modal and modeless dialogs from the module's templates, and data exchange.
#include "afxwin.h"

namespace {

// The dialog whose window this thread is creating, in a TLS slot as MFC keeps it; the
// first dialog-procedure call attaches the window to it.
DWORD DialogBeingCreatedSlot() {
    static const DWORD slot = ::TlsAlloc();
    return slot;
}

CDialog* DialogBeingCreated() {
    return (CDialog*)::TlsGetValue(DialogBeingCreatedSlot());
}

void SetDialogBeingCreated(CDialog* dialog) {
    ::TlsSetValue(DialogBeingCreatedSlot(), dialog);
}

}  // namespace

// Dialog procedure of every dialog this library creates. Its first call subclasses the new
// window, so from then on WindowProc and the message map see each message first and reach
// the dialog manager's own procedure through DefWindowProc, which calls back here.
// Only WM_INITDIALOG is answered here; everything else is left to the dialog manager.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == NULL && DialogBeingCreated() != NULL) {
        pWnd = DialogBeingCreated();
        SetDialogBeingCreated(NULL);
        pWnd->SubclassWindow(hWnd);
    }
    if (pWnd == NULL || message != WM_INITDIALOG) {
        return FALSE;
    }
    return static_cast<CDialog*>(pWnd)->OnInitDialog();
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog()
    : m_nIDTemplate(0), m_pParentWnd(NULL), m_bContinueModal(FALSE), m_nModalResult(-1) {}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate),
      m_pParentWnd(pParentWnd),
      m_bContinueModal(FALSE),
      m_nModalResult(-1) {}

int CDialog::DoModal() {
    HWND hWndParent = m_pParentWnd == NULL ? NULL : m_pParentWnd->m_hWnd;
    BOOL parentEnabled = hWndParent != NULL && ::IsWindowEnabled(hWndParent);
    if (parentEnabled) {
        ::EnableWindow(hWndParent, FALSE);
    }
    m_nModalResult = -1;
    m_bContinueModal = TRUE;
    if (Create(m_nIDTemplate, m_pParentWnd)) {
        RunModalLoop();
    }
    m_bContinueModal = FALSE;
    if (parentEnabled) {
        ::EnableWindow(hWndParent, TRUE);
    }
    DestroyWindow();
    return m_nModalResult;
}

// Shows the dialog once the queue is first empty; WM_QUIT ends the loop and is posted again
// for the thread's own loop.
void CDialog::RunModalLoop() {
    BOOL shown = FALSE;
    MSG msg;
    while (m_bContinueModal && m_hWnd != NULL) {
        if (!shown && !::PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
            ShowWindow(SW_SHOWNORMAL);
            shown = TRUE;
            continue;
        }
        if (!::GetMessageA(&msg, NULL, 0, 0)) {
            ::PostQuitMessage((int)msg.wParam);
            break;
        }
        if (!WalkPreTranslateTree(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

// A dialog takes the keys of its own controls (Enter, Escape) through the dialog manager.
BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (pMsg->message < WM_KEYFIRST || pMsg->message > WM_KEYLAST || m_hWnd == NULL) {
        return FALSE;
    }
    return ::IsDialogMessageA(m_hWnd, pMsg);
}

BOOL CDialog::Create(UINT nIDTemplate, CWnd* pParentWnd) {
    m_nIDTemplate = nIDTemplate;
    m_pParentWnd = pParentWnd;
    HWND hWndParent = pParentWnd == NULL ? NULL : pParentWnd->m_hWnd;
    SetDialogBeingCreated(this);
    HWND hWnd = ::CreateDialogParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDTemplate),
                                     hWndParent, AfxDlgProc, 0);
    SetDialogBeingCreated(NULL);
    return hWnd != NULL;
}

// Ends the framework's modal loop (a WM_NULL wakes it) as well as the dialog manager's.
void CDialog::EndDialog(int nResult) {
    if (m_bContinueModal) {
        m_bContinueModal = FALSE;
        m_nModalResult = nResult;
        PostMessage(WM_NULL);
    }
    ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

// Binds the member controls; TRUE lets the dialog manager give the first control the focus.
BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) {
        return;
    }
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd == NULL) {
        rControl.SubclassDlgItem((UINT)nIDC, pDX->m_pDlgWnd);
    }
}
