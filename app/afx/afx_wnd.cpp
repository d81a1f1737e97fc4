// CWnd: attaching objects to windows, the window procedure that routes every message through
// WindowProc and the message map, and the thin wrappers of the window calls.
#include "afxwin.h"

namespace {

// The object is found from its window through a window property, so any thread that
// handles the window's messages finds it.
const char kWndProp[] = "AfxWnd";

// The message being handled on this thread, for Default(). Like MFC's thread state it is
// reached through a TLS slot: each AfxWndProc call keeps its message on its own stack and
// points the slot at it, restoring the outer message when it returns.
struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

DWORD CurrentMessageSlot() {
    static const DWORD slot = ::TlsAlloc();
    return slot;
}

}  // namespace

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, (AFX_PMSG)0}};
    static const AFX_MSGMAP map = {NULL, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

// Routes a message of a window this library subclassed. After the last message
// (WM_NCDESTROY) the old procedure is put back, the object detached and told.
LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* pWnd = CWnd::FromHandlePermanent(hWnd);
    if (pWnd == NULL) {
        return ::DefWindowProcA(hWnd, message, wParam, lParam);
    }
    CurrentMessage current = {message, wParam, lParam};
    LPVOID outer = ::TlsGetValue(CurrentMessageSlot());
    ::TlsSetValue(CurrentMessageSlot(), &current);
    LRESULT result = pWnd->WindowProc(message, wParam, lParam);
    ::TlsSetValue(CurrentMessageSlot(), outer);
    if (message == WM_NCDESTROY) {
        if (pWnd->m_pfnSuper != NULL) {
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, (LONG_PTR)pWnd->m_pfnSuper);
            pWnd->m_pfnSuper = NULL;
        }
        pWnd->Detach();
        pWnd->PostNcDestroy();
    }
    return result;
}

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL) {}

// A window still attached when its object goes away is destroyed with it, as MFC does.
CWnd::~CWnd() {
    if (m_hWnd != NULL) {
        DestroyWindow();
    }
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) {
    return hWnd == NULL ? NULL : (CWnd*)::GetPropA(hWnd, kWndProp);
}

BOOL CWnd::Attach(HWND hWndNew) {
    if (hWndNew == NULL || !::SetPropA(hWndNew, kWndProp, (HANDLE)this)) {
        return FALSE;
    }
    m_hWnd = hWndNew;
    return TRUE;
}

HWND CWnd::Detach() {
    HWND hWnd = m_hWnd;
    if (hWnd != NULL) {
        ::RemovePropA(hWnd, kWndProp);
    }
    m_hWnd = NULL;
    return hWnd;
}

BOOL CWnd::SubclassWindow(HWND hWnd) {
    if (!Attach(hWnd)) {
        return FALSE;
    }
    m_pfnSuper = (WNDPROC)::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, (LONG_PTR)AfxWndProc);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) {
    HWND hWndControl = ::GetDlgItem(pParent->m_hWnd, (int)nID);
    return hWndControl != NULL && SubclassWindow(hWndControl);
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd != NULL && ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) {
        result = DefWindowProc(message, wParam, lParam);
    }
    return result;
}

// Looks the message up in the maps from this class to the root; the first entry that
// matches handles it. WM_COMMAND entries match on notification code and identifier.
BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != NULL;
         map = map->pfnGetBaseMap == NULL ? NULL : map->pfnGetBaseMap()) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nSig != AfxSig_end; entry++) {
            if (entry->nMessage != message) {
                continue;
            }
            if (message == WM_COMMAND &&
                (entry->nCode != HIWORD(wParam) || LOWORD(wParam) < entry->nID ||
                 LOWORD(wParam) > entry->nLastID)) {
                continue;
            }
            AfxMsgHandler handler;
            handler.pfn = entry->pfn;
            switch (entry->nSig) {
                case AfxSig_vv:
                    (this->*handler.pfn)();
                    *pResult = 0;
                    break;
                case AfxSig_hv:
                    *pResult = (LRESULT)(this->*handler.pfn_hv)();
                    break;
                case AfxSig_vPOS:
                    (this->*handler.pfn_vPOS)((WINDOWPOS*)lParam);
                    *pResult = 0;
                    break;
                case AfxSig_lwl:
                    *pResult = (this->*handler.pfn_lwl)(wParam, lParam);
                    break;
            }
            return TRUE;
        }
    }
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper != NULL) {
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    }
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

// Outside any message of this library's windows there is nothing to default.
LRESULT CWnd::Default() {
    CurrentMessage* current = (CurrentMessage*)::TlsGetValue(CurrentMessageSlot());
    if (current == NULL) {
        return 0;
    }
    return DefWindowProc(current->message, current->wParam, current->lParam);
}

void CWnd::PostNcDestroy() {}

void CWnd::OnDestroy() {
    Default();
}
void CWnd::OnPaint() {
    Default();
}
HCURSOR CWnd::OnQueryDragIcon() {
    return (HCURSOR)Default();
}
void CWnd::OnWindowPosChanging(WINDOWPOS*) {
    Default();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::PostMessageA(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    return ::ShowWindow(m_hWnd, nCmdShow);
}
BOOL CWnd::SetForegroundWindow() {
    return ::SetForegroundWindow(m_hWnd);
}
BOOL CWnd::IsIconic() const {
    return ::IsIconic(m_hWnd);
}
void CWnd::GetClientRect(LPRECT lpRect) const {
    ::GetClientRect(m_hWnd, lpRect);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    return (HICON)SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, (LPARAM)hIcon);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse,
                        void(CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD)) {
    return ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer);
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
    return ::KillTimer(m_hWnd, nIDEvent);
}
