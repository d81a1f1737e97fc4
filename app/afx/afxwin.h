// A small class library with the names and contracts of MFC 4.2, written on Win32 alone.
// It holds only what Ampwise uses, offered the way MFC offers it, so that the application's
// sources also build against the real library. Byte strings throughout (no _UNICODE).
#pragma once

#include <windows.h>
#include <shellapi.h>

#define afx_msg
#define AFXAPI WINAPI

// The framework's default help command, routed by applications to CWinApp::OnHelp.
#define ID_HELP 0xE146

class CCmdTarget;
class CWnd;
class CDialog;
class CWinApp;
class CWinThread;
class CDC;
struct CPoint;

// ---- Message maps -------------------------------------------------------------------------

typedef void (CCmdTarget::*AFX_PMSG)(void);

// How a map entry's handler is called: the parameters it takes and what it returns.
enum AfxSig {
    AfxSig_end = 0,
    AfxSig_vv,    // void (void): WM_COMMAND, WM_DESTROY, WM_PAINT
    AfxSig_hv,    // HCURSOR (void): WM_QUERYDRAGICON
    AfxSig_vPOS,  // void (WINDOWPOS*): WM_WINDOWPOSCHANGING
    AfxSig_lwl,   // LRESULT (WPARAM, LPARAM): ON_MESSAGE
    AfxSig_vw,    // void (UINT): WM_TIMER
    AfxSig_bD,    // BOOL (CDC*): WM_ERASEBKGND
    AfxSig_vvii,  // void (int, int): WM_MOVE
    AfxSig_vwWb,  // void (UINT, CWnd*, BOOL): WM_ACTIVATE
    AfxSig_vwp,   // void (UINT, CPoint): WM_MOUSEMOVE
};

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // the window message
    UINT nCode;     // WM_COMMAND: the notification code
    UINT nID;       // WM_COMMAND: the first control or command identifier
    UINT nLastID;   // WM_COMMAND: the last identifier of the range
    UINT_PTR nSig;  // an AfxSig
    AFX_PMSG pfn;   // the handler, called through its AfxSig type
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root of the class tree
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                     \
  protected:                                      \
    static const AFX_MSGMAP* GetThisMessageMap(); \
    virtual const AFX_MSGMAP* GetMessageMap() const;

// The entries live in a function so that a derived map never meets a base map that is not
// yet initialised.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)          \
    const AFX_MSGMAP* theClass::GetMessageMap() const { \
        return GetThisMessageMap();                     \
    }                                                   \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {   \
        [[maybe_unused]] typedef theClass ThisClass;    \
        typedef baseClass TheBaseClass;                 \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                     \
    { 0, 0, 0, 0, AfxSig_end, (AFX_PMSG)0 }                                                   \
    }                                                                                         \
    ;                                                                                         \
    static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, _messageEntries}; \
    return &messageMap;                                                                       \
    }

// A handler of any map signature held as AFX_PMSG, and back: the bits are kept, and the
// entry's AfxSig says which member to read.
union AfxMsgHandler {
    AFX_PMSG pfn;
    void (CWnd::*pfn_vv)(void);
    HCURSOR (CWnd::*pfn_hv)(void);
    void (CWnd::*pfn_vPOS)(WINDOWPOS*);
    LRESULT (CWnd::*pfn_lwl)(WPARAM, LPARAM);
    void (CWnd::*pfn_vw)(UINT);
    BOOL (CWnd::*pfn_bD)(CDC*);
    void (CWnd::*pfn_vvii)(int, int);
    void (CWnd::*pfn_vwWb)(UINT, CWnd*, BOOL);
    void (CWnd::*pfn_vwp)(UINT, CPoint);
};

inline AFX_PMSG AfxHandler(void (CCmdTarget::*pfn)(void)) {
    return pfn;
}
inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(void)) {
    AfxMsgHandler handler;
    handler.pfn_vv = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(HCURSOR (CWnd::*pfn)(void)) {
    AfxMsgHandler handler;
    handler.pfn_hv = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(WINDOWPOS*)) {
    AfxMsgHandler handler;
    handler.pfn_vPOS = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(LRESULT (CWnd::*pfn)(WPARAM, LPARAM)) {
    AfxMsgHandler handler;
    handler.pfn_lwl = pfn;
    return handler.pfn;
}

inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(UINT)) {
    AfxMsgHandler handler;
    handler.pfn_vw = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(BOOL (CWnd::*pfn)(CDC*)) {
    AfxMsgHandler handler;
    handler.pfn_bD = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(int, int)) {
    AfxMsgHandler handler;
    handler.pfn_vvii = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(UINT, CWnd*, BOOL)) {
    AfxMsgHandler handler;
    handler.pfn_vwWb = pfn;
    return handler.pfn;
}
inline AFX_PMSG AfxHandler(void (CWnd::*pfn)(UINT, CPoint)) {
    AfxMsgHandler handler;
    handler.pfn_vwp = pfn;
    return handler.pfn;
}

// The handler's type is checked against the signature the entry promises.
#define AFX_MAP_HANDLER(type, memberFxn) AfxHandler(static_cast<type>(&ThisClass::memberFxn))

#define ON_COMMAND(id, memberFxn)       \
    {WM_COMMAND, 0,         (UINT)(id), \
     (UINT)(id), AfxSig_vv, AFX_MAP_HANDLER(void(CCmdTarget::*)(void), memberFxn)},
#define ON_CONTROL(wNotifyCode, id, memberFxn)    \
    {WM_COMMAND, (UINT)(wNotifyCode), (UINT)(id), \
     (UINT)(id), AfxSig_vv,           AFX_MAP_HANDLER(void(CCmdTarget::*)(void), memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) ON_CONTROL(BN_CLICKED, id, memberFxn)
#define ON_MESSAGE(message, memberFxn) \
    {(UINT)(message),                  \
     0,                                \
     0,                                \
     0,                                \
     AfxSig_lwl,                       \
     AFX_MAP_HANDLER(LRESULT(CWnd::*)(WPARAM, LPARAM), memberFxn)},
#define ON_WM_DESTROY() \
    {WM_DESTROY, 0, 0, 0, AfxSig_vv, AFX_MAP_HANDLER(void(CWnd::*)(void), OnDestroy)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, AfxSig_vv, AFX_MAP_HANDLER(void(CWnd::*)(void), OnPaint)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON,        \
     0,                       \
     0,                       \
     0,                       \
     AfxSig_hv,               \
     AFX_MAP_HANDLER(HCURSOR(CWnd::*)(void), OnQueryDragIcon)},
#define ON_WM_WINDOWPOSCHANGING() \
    {WM_WINDOWPOSCHANGING,        \
     0,                           \
     0,                           \
     0,                           \
     AfxSig_vPOS,                 \
     AFX_MAP_HANDLER(void(CWnd::*)(WINDOWPOS*), OnWindowPosChanging)},

#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, AfxSig_vw, AFX_MAP_HANDLER(void(CWnd::*)(UINT), OnTimer)},
#define ON_WM_ERASEBKGND() \
    {WM_ERASEBKGND, 0, 0, 0, AfxSig_bD, AFX_MAP_HANDLER(BOOL(CWnd::*)(CDC*), OnEraseBkgnd)},
#define ON_WM_MOVE() \
    {WM_MOVE, 0, 0, 0, AfxSig_vvii, AFX_MAP_HANDLER(void(CWnd::*)(int, int), OnMove)},
#define ON_WM_ACTIVATE()          \
    {WM_ACTIVATE, 0,           0, \
     0,           AfxSig_vwWb, AFX_MAP_HANDLER(void(CWnd::*)(UINT, CWnd*, BOOL), OnActivate)},
#define ON_WM_MOUSEMOVE() \
    {WM_MOUSEMOVE, 0, 0, 0, AfxSig_vwp, AFX_MAP_HANDLER(void(CWnd::*)(UINT, CPoint), OnMouseMove)},

// ---- Points and rectangles ----------------------------------------------------------------

struct CPoint : public POINT {
    CPoint() { x = y = 0; }
    CPoint(int initX, int initY) {
        x = initX;
        y = initY;
    }
};

// ---- Strings and files --------------------------------------------------------------------

// A byte string that owns its text; the empty string is "", never null.
class CString {
  public:
    CString();
    CString(const CString& stringSrc);
    CString(LPCSTR lpsz);
    ~CString();

    const CString& operator=(const CString& stringSrc);
    const CString& operator=(LPCSTR lpsz);
    operator LPCSTR() const { return m_pchData; }

    int GetLength() const { return lstrlenA(m_pchData); }
    BOOL IsEmpty() const { return m_pchData[0] == '\0'; }
    // Exact, case-sensitive byte comparison: 0 when equal.
    int Compare(LPCSTR lpsz) const { return lstrcmpA(m_pchData, lpsz); }
    // Loads a string resource of the application's module; FALSE (and empty) if it is absent.
    BOOL LoadString(UINT nID);

  private:
    void Assign(LPCSTR lpsz, int nLength);

    LPSTR m_pchData;
};

inline bool operator==(const CString& s1, LPCSTR s2) {
    return s1.Compare(s2) == 0;
}
inline bool operator!=(const CString& s1, LPCSTR s2) {
    return s1.Compare(s2) != 0;
}

// A file opened through CreateFile. Where MFC throws a CFileException from Read, this class
// returns 0 bytes: Ampwise treats a failed read like an empty file.
class CFile {
  public:
    enum OpenFlags {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
    };

    CFile();
    virtual ~CFile();

    virtual BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags);
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Close();

    HANDLE m_hFile;
};

// ---- Command targets, windows and dialogs -------------------------------------------------

class CObject {
  public:
    virtual ~CObject() {}
};

// Thrown by pointer, as MFC throws them; the catcher calls Delete.
class CException : public CObject {
  public:
    void Delete() { delete this; }
};
class CMemoryException : public CException {};
// Throws a new CMemoryException.
void AFXAPI AfxThrowMemoryException();

class CCmdTarget : public CObject {
    DECLARE_MESSAGE_MAP()
};

class CWnd : public CCmdTarget {
  public:
    CWnd();
    virtual ~CWnd();

    HWND m_hWnd;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object attached to a window by this library, or null.
    static CWnd* FromHandlePermanent(HWND hWnd);
    BOOL Attach(HWND hWndNew);
    HWND Detach();
    // Routes the window's messages through this object; DefWindowProc reaches the old procedure.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

    // Creates the window with this object attached from its first message on.
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                  int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                  LPVOID lpParam = NULL);
    virtual BOOL DestroyWindow();
    // Offered each message the framework's loops retrieve for this window or a child of it,
    // before it is dispatched; TRUE takes it. The default takes none.
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // From the message's window up through its parents and owners to hWndStop: the first
    // object that takes the message in PreTranslateMessage ends the walk with TRUE.
    static BOOL WalkPreTranslateTree(HWND hWndStop, MSG* pMsg);

    // Insert-after values of SetWindowPos.
    static const CWnd wndTop;
    static const CWnd wndTopMost;

  private:
    // The insert-after values: a handle, never a window of this object.
    explicit CWnd(HWND hWndSpecial);

  public:
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL ShowWindow(int nCmdShow);
    BOOL SetForegroundWindow();
    BOOL IsIconic() const;
    void GetClientRect(LPRECT lpRect) const;
    void GetWindowRect(LPRECT lpRect) const;
    BOOL SetWindowPos(const CWnd* pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
    void SetWindowText(LPCSTR lpszString);
    BOOL EnableWindow(BOOL bEnable = TRUE);
    void ValidateRect(LPCRECT lpRect);
    // Framework tool tips for the window's children. No tool is ever registered with this
    // library, so it only records the wish.
    void EnableToolTips(BOOL bEnable = TRUE);
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse,
                      void(CALLBACK* lpfnTimer)(HWND, UINT, UINT_PTR, DWORD));
    BOOL KillTimer(UINT_PTR nIDEvent);

  protected:
    // Every message of the window arrives here first; the default looks up the message map
    // and, for messages the map does not handle, calls DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled now.
    LRESULT Default();
    // Called after the window's last message (WM_NCDESTROY), once the object is detached.
    virtual void PostNcDestroy();

    afx_msg void OnDestroy();
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnWindowPosChanging(WINDOWPOS* lpwndpos);
    afx_msg void OnTimer(UINT nIDEvent);
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);

    WNDPROC m_pfnSuper;
    BOOL m_bToolTipsEnabled;  // the procedure the window had before this library subclassed it

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
};

class CButton : public CWnd {};
class CStatic : public CWnd {};
class CEdit : public CWnd {};

// A window class of the default window procedure with the given style, cursor, background
// and icon, registered on first use; the name stays valid for the program's life.
LPCSTR AFXAPI AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = 0, HBRUSH hbrBackground = 0,
                                  HICON hIcon = 0);

// ---- Device contexts and GDI objects ------------------------------------------------------

class CDC : public CObject {
  public:
    CDC() : m_hDC(NULL) {}
    // A DC this object made (CreateCompatibleDC) is deleted with it.
    virtual ~CDC();
    HDC m_hDC;
    operator HDC() const { return m_hDC; }
    HDC GetSafeHdc() const { return m_hDC; }
    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();
    HDC Detach();
};

// The window's client-area DC from GetDC, released with the object.
class CClientDC : public CDC {
  public:
    explicit CClientDC(CWnd* pWnd);
    virtual ~CClientDC();

  protected:
    HWND m_hWnd;
};

// BeginPaint's DC, ended with the object.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* pWnd);
    virtual ~CPaintDC();
    PAINTSTRUCT m_ps;

  protected:
    HWND m_hWnd;
};

// A GDI object owned by the C++ object: deleted with it.
class CGdiObject : public CObject {
  public:
    CGdiObject() : m_hObject(NULL) {}
    virtual ~CGdiObject() { DeleteObject(); }
    HGDIOBJ m_hObject;
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ hObject);
    BOOL DeleteObject();
    int GetObject(int nCount, LPVOID lpObject) const;
};

class CBitmap : public CGdiObject {
  public:
    operator HBITMAP() const { return (HBITMAP)m_hObject; }
    BOOL LoadBitmap(UINT nIDResource);
    BOOL CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight);
    int GetBitmap(BITMAP* pBitMap) { return GetObject(sizeof(BITMAP), pBitMap); }
};

class CFont : public CGdiObject {
  public:
    operator HFONT() const { return (HFONT)m_hObject; }
    BOOL CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                    BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                    BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality, BYTE nPitchAndFamily,
                    LPCSTR lpszFacename);
};

class CBrush : public CGdiObject {
  public:
    CBrush() {}
    // Throws CMemoryException* when the brush cannot be made, as MFC's constructor does.
    explicit CBrush(COLORREF crColor);
    operator HBRUSH() const { return (HBRUSH)m_hObject; }
};

// Passed to DoDataExchange: which dialog, and in which direction the data goes.
class CDataExchange {
  public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};

// Binds a member control to the dialog's control nIDC, the first time it is called.
void AFXAPI DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
  public:
    CDialog();
    CDialog(UINT nIDTemplate, CWnd* pParentWnd = NULL);

    // Runs the dialog modally with the framework's own loop (RunModalLoop), as MFC does:
    // the owner is disabled, every message is offered to PreTranslateMessage first, so that
    // modeless dialogs of the thread get their keys, and sent messages are handled. Returns
    // EndDialog's result, or -1 if the dialog could not be created.
    virtual int DoModal();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    // Creates the dialog modeless; its window lives until DestroyWindow.
    virtual BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = NULL);
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    virtual BOOL OnInitDialog();

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    BOOL m_bContinueModal;
    int m_nModalResult;

  private:
    void RunModalLoop();

    DECLARE_MESSAGE_MAP()
};

// ---- Threads and the application ----------------------------------------------------------

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
  public:
    CWinThread();
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    virtual ~CWinThread();

    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = NULL);
    BOOL SetThreadPriority(int nPriority);
    DWORD ResumeThread();
    operator HANDLE() const { return m_hThread; }

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    // Deletes the object when m_bAutoDelete is set; the thread calls it as it ends.
    virtual void Delete();

    CWnd* m_pMainWnd;
    BOOL m_bAutoDelete;  // the object deletes itself (closing m_hThread) when the thread ends
    HANDLE m_hThread;
    DWORD m_nThreadID;

    AFX_THREADPROC m_pfnThreadProc;
    LPVOID m_pThreadParams;
};

// Starts a worker thread running pfnThreadProc(pParam). The returned object deletes itself
// when the thread ends unless m_bAutoDelete is cleared first (create suspended to do so).
CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                                  int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                                  DWORD dwCreateFlags = 0,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs = NULL);

class CWinApp : public CWinThread {
  public:
    explicit CWinApp(LPCSTR lpszAppName = NULL);
    virtual ~CWinApp();

    virtual BOOL InitApplication();
    virtual int ExitInstance();
    // Since Windows 95 every control has the 3D look; kept for applications that ask for it.
    BOOL Enable3dControls();

    HINSTANCE m_hInstance;
    LPSTR m_lpCmdLine;
    int m_nCmdShow;
    LPCSTR m_pszAppName;

    afx_msg void OnHelp();

    DECLARE_MESSAGE_MAP()
};

CWinApp* AFXAPI AfxGetApp();
CWnd* AFXAPI AfxGetMainWnd();
HINSTANCE AFXAPI AfxGetInstanceHandle();
HINSTANCE AFXAPI AfxGetResourceHandle();
