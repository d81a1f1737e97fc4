// CWnd: creating windows and attaching objects to them, the window procedure that routes
// every message through WindowProc and the message map, and the thin wrappers of the window
// calls.
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

// The object whose window this thread is creating (CreateEx); the window's first message
// attaches it.
DWORD WindowBeingCreatedSlot() {
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
        pWnd = (CWnd*)::TlsGetValue(WindowBeingCreatedSlot());
        ::TlsSetValue(WindowBeingCreatedSlot(), NULL);
        if (pWnd == NULL || !pWnd->Attach(hWnd)) {
            return ::DefWindowProcA(hWnd, message, wParam, lParam);
        }
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

CWnd::CWnd() : m_hWnd(NULL), m_pfnSuper(NULL), m_bToolTipsEnabled(FALSE) {}

CWnd::CWnd(HWND hWndSpecial) : m_hWnd(hWndSpecial), m_pfnSuper(NULL), m_bToolTipsEnabled(FALSE) {}

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);

// A window still attached when its object goes away is destroyed with it, as MFC does.
CWnd::~CWnd() {
    if (m_hWnd != NULL && this != &wndTop && this != &wndTopMost) {
        DestroyWindow();
    }
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam) {
    ::TlsSetValue(WindowBeingCreatedSlot(), this);
    HWND hWnd = ::CreateWindowExA(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth,
                                  nHeight, hWndParent, nIDorHMenu, AfxGetInstanceHandle(), lpParam);
    ::TlsSetValue(WindowBeingCreatedSlot(), NULL);
    return hWnd != NULL;
}

// MFC's names for these classes ("Afx:...") carry the instance and the values, so each set
// of values is registered once.
LPCSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground,
                                  HICON hIcon) {
    static char names[8][64];
    static int used = 0;
    char name[64];
    ::wsprintfA(name, "Afx:%x:%x:%x:%x:%x", (UINT)(UINT_PTR)AfxGetInstanceHandle(), nClassStyle,
                (UINT)(UINT_PTR)hCursor, (UINT)(UINT_PTR)hbrBackground, (UINT)(UINT_PTR)hIcon);
    for (int i = 0; i < used; i++) {
        if (::lstrcmpA(names[i], name) == 0) {
            return names[i];
        }
    }
    if (used == 8) {
        return NULL;
    }
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = nClassStyle;
    wc.lpfnWndProc = AfxWndProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hIcon = hIcon;
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = names[used];
    ::lstrcpynA(names[used], name, sizeof(names[used]));
    if (::RegisterClassA(&wc) == 0) {
        return NULL;
    }
    return names[used++];
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

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::WalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
    for (HWND hWnd = pMsg->hwnd; hWnd != NULL; hWnd = ::GetParent(hWnd)) {
        CWnd* pWnd = FromHandlePermanent(hWnd);
        if (pWnd != NULL && pWnd->PreTranslateMessage(pMsg)) {
            return TRUE;
        }
        if (hWnd == hWndStop) {
            break;
        }
    }
    return FALSE;
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
                case AfxSig_vw:
                    (this->*handler.pfn_vw)((UINT)wParam);
                    *pResult = 0;
                    break;
                case AfxSig_bD: {
                    // A wrapper of the message's DC for the handler's time only.
                    CDC dc;
                    dc.m_hDC = (HDC)wParam;
                    *pResult = (this->*handler.pfn_bD)(&dc);
                    dc.Detach();
                    break;
                }
                case AfxSig_vvii:
                    (this->*handler.pfn_vvii)((short)LOWORD(lParam), (short)HIWORD(lParam));
                    *pResult = 0;
                    break;
                case AfxSig_vwWb:
                    // The other window only when this library knows it (MFC would make a
                    // temporary object for any other).
                    (this->*handler.pfn_vwWb)(LOWORD(wParam), FromHandlePermanent((HWND)lParam),
                                              HIWORD(wParam));
                    *pResult = 0;
                    break;
                case AfxSig_vwp:
                    (this->*handler.pfn_vwp)((UINT)wParam,
                                             CPoint((short)LOWORD(lParam), (short)HIWORD(lParam)));
                    *pResult = 0;
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
void CWnd::OnTimer(UINT) {
    Default();
}
BOOL CWnd::OnEraseBkgnd(CDC*) {
    return (BOOL)Default();
}
void CWnd::OnMove(int, int) {
    Default();
}
void CWnd::OnActivate(UINT, CWnd*, BOOL) {
    Default();
}
void CWnd::OnMouseMove(UINT, CPoint) {
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
void CWnd::GetWindowRect(LPRECT lpRect) const {
    ::GetWindowRect(m_hWnd, lpRect);
}
BOOL CWnd::SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
    return ::SetWindowPos(m_hWnd, pWndInsertAfter == NULL ? NULL : pWndInsertAfter->m_hWnd, x, y,
                          cx, cy, nFlags);
}
void CWnd::SetWindowText(LPCSTR lpszString) {
    ::SetWindowTextA(m_hWnd, lpszString);
}
BOOL CWnd::EnableWindow(BOOL bEnable) {
    return ::EnableWindow(m_hWnd, bEnable);
}
void CWnd::ValidateRect(LPCRECT lpRect) {
    ::ValidateRect(m_hWnd, lpRect);
}
void CWnd::EnableToolTips(BOOL bEnable) {
    m_bToolTipsEnabled = bEnable;
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
