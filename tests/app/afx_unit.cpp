// The class library's contracts that Ampwise relies on, checked on Windows (or Wine): the
// window procedure before the message map, command routing, the end of a window's life,
// threads whose object outlives them, and a stop that lets the worker's sent message in.
#include <afxwin.h>

#include <string.h>

#include "client/monitor_thread.h"
#include "unit_check.h"

namespace {

#define WM_PROBE (WM_USER + 1)

char g_log[512];

void Note(const char* event) {
    lstrcatA(g_log, event);
    lstrcatA(g_log, " ");
}

class CProbeWnd : public CWnd {
  protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_PROBE || message == WM_COMMAND) {
            Note("proc");
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    virtual void PostNcDestroy() { Note("postncdestroy"); }

    afx_msg LRESULT OnProbe(WPARAM wParam, LPARAM lParam) {
        Note("map");
        return (LRESULT)(wParam + lParam);
    }
    afx_msg void OnCommand7() { Note("cmd7"); }
    afx_msg void OnDestroy() {
        Note("destroy");
        CWnd::OnDestroy();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CProbeWnd, CWnd)
ON_MESSAGE(WM_PROBE, OnProbe)
ON_COMMAND(7, OnCommand7)
ON_WM_DESTROY()
END_MESSAGE_MAP()

HWND NewPlainWindow() {
    return CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                           GetModuleHandleA(NULL), NULL);
}

void TestMessageRouting() {
    CProbeWnd probe;
    HWND hWnd = NewPlainWindow();
    g_log[0] = '\0';
    Check(probe.SubclassWindow(hWnd) && CWnd::FromHandlePermanent(hWnd) == &probe,
          "SubclassWindow attaches", 0);
    Check(probe.SendMessage(WM_PROBE, 2, 3) == 5, "ON_MESSAGE result", 1);
    probe.SendMessage(WM_COMMAND, MAKEWPARAM(7, 0), 0);
    probe.SendMessage(WM_COMMAND, MAKEWPARAM(7, 1), 0);  // another notification code
    probe.SendMessage(WM_COMMAND, MAKEWPARAM(8, 0), 0);  // another identifier
    probe.DestroyWindow();
    Check(strcmp(g_log, "proc map proc cmd7 proc proc destroy postncdestroy ") == 0,
          "message sequence", 2);
    Check(probe.m_hWnd == NULL && CWnd::FromHandlePermanent(hWnd) == NULL,
          "detached after WM_NCDESTROY", 3);
}

UINT ReturnSeven(LPVOID) {
    return 7;
}

void TestKeptThreadObject() {
    CWinThread* thread =
        AfxBeginThread(ReturnSeven, NULL, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, NULL);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    DWORD code = 0;
    Check(WaitForSingleObject(thread->m_hThread, 10000) == WAIT_OBJECT_0 &&
              GetExitCodeThread(thread->m_hThread, &code) && code == 7,
          "kept thread object's handle", 0);
    delete thread;
}

HWND g_target = NULL;

// A worker that sends to the waiting thread's window before it ends, as the monitoring
// thread may while the window's thread stops it.
UINT SendThenEnd(LPVOID) {
    Sleep(100);
    SendMessageA(g_target, WM_PROBE, 1, 1);
    return 0;
}

void TestStopLetsSentMessagesIn() {
    CProbeWnd probe;
    g_target = NewPlainWindow();
    probe.SubclassWindow(g_target);
    g_log[0] = '\0';
    CWinThread* thread =
        AfxBeginThread(SendThenEnd, NULL, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, NULL);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    StopMonitorThread(thread);  // would wait for ever if it let no sent message through
    Check(strcmp(g_log, "proc map ") == 0, "sent message handled during the stop", 0);
    probe.DestroyWindow();
}

void TestStringCopies() {
    CString text("Hub 01");
    text = (LPCSTR)text + 4;  // assigned from its own text
    CString copy(text);
    copy = copy;
    Check(text == "01" && copy == "01" && copy.GetLength() == 2, "CString copies", 0);
    CString absent;
    Check(!absent.LoadString(4242) && absent.IsEmpty(), "CString absent resource", 1);
}

}  // namespace

void RunAfxChecks() {
    TestMessageRouting();
    TestKeptThreadObject();
    TestStopLetsSentMessagesIn();
    TestStringCopies();
}
