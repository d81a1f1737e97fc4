// CWinThread and AfxBeginThread: worker threads whose object may delete itself at the end.
#include "afxwin.h"

namespace {

// Runs the worker's procedure; the object deletes itself afterwards unless the owner
// cleared m_bAutoDelete, in which case the owner deletes it (and so closes the handle).
DWORD WINAPI AfxThreadEntry(LPVOID pParam) {
    CWinThread* pThread = (CWinThread*)pParam;
    UINT nResult = pThread->m_pfnThreadProc(pThread->m_pThreadParams);
    pThread->Delete();
    return nResult;
}

}  // namespace

CWinThread::CWinThread()
    : m_pMainWnd(NULL),
      m_bAutoDelete(TRUE),
      m_hThread(NULL),
      m_nThreadID(0),
      m_pfnThreadProc(NULL),
      m_pThreadParams(NULL) {}

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam) : CWinThread() {
    m_pfnThreadProc = pfnThreadProc;
    m_pThreadParams = pParam;
}

CWinThread::~CWinThread() {
    if (m_hThread != NULL) {
        ::CloseHandle(m_hThread);
    }
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize,
                              LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    m_hThread = ::CreateThread(lpSecurityAttrs, nStackSize, AfxThreadEntry, this, dwCreateFlags,
                               &m_nThreadID);
    return m_hThread != NULL;
}

BOOL CWinThread::SetThreadPriority(int nPriority) {
    return ::SetThreadPriority(m_hThread, nPriority);
}

DWORD CWinThread::ResumeThread() {
    return ::ResumeThread(m_hThread);
}

BOOL CWinThread::InitInstance() {
    return FALSE;
}

// The message loop of a thread that has windows of its own.
int CWinThread::Run() {
    MSG msg;
    while (::GetMessageA(&msg, NULL, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    return ExitInstance();
}

int CWinThread::ExitInstance() {
    return 0;
}

void CWinThread::Delete() {
    if (m_bAutoDelete) {
        delete this;
    }
}

// Created suspended so that the priority is set before the first instruction runs.
CWinThread* AFXAPI AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                                  UINT nStackSize, DWORD dwCreateFlags,
                                  LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    CWinThread* pThread = new CWinThread(pfnThreadProc, pParam);
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return NULL;
    }
    pThread->SetThreadPriority(nPriority);
    if ((dwCreateFlags & CREATE_SUSPENDED) == 0) {
        pThread->ResumeThread();
    }
    return pThread;
}
