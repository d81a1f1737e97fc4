// A program around Ampwise's tip window alone, for the tip's tests: a small top-level window
// is its tool (and owner), and posted messages drive it. Every Render and every deleted item
// is printed.
//   tip_program X Y FADE ANCHOR   the tool's top-left corner; fade-in; anchor to the tool
// Messages to the tool window:
//   WM_APP + 1, wParam 0/1   item 0 gets the short / the long text, then PopAtCursor
//   WM_APP + 2               AddTool with a null tool, then with a null item, then the
//                            tool again with a new item
//   WM_APP + 3               the window goes (and with it the tip), then the program
#include <afxwin.h>

#include <stdio.h>
#include <stdlib.h>

#include "ui/text_tip_wnd.h"

#include "program/program_print.h"

namespace {

const char kShortText[] = "Please press \"Switch to normal\" for data communication.";
const char kLongText[] =
    "A hint that is much longer than the tip's wrapping width of four hundred and fifty pixels, "
    "so that it has to wrap at word boundaries onto further lines.";
const int kToolWidth = 60;
const int kToolHeight = 30;

class CountedItem : public CTextTipItem {
  public:
    CountedItem(LPCSTR text, int number) : CTextTipItem(text, 0), m_number(number) {}
    virtual ~CountedItem() { Print("item %d deleted", m_number); }
    int m_number;
};

class RecordingTip : public CTextTipWnd {
  public:
    RecordingTip(HWND owner, BOOL fadeIn) : CTextTipWnd(owner, fadeIn) {}
    virtual void Render(int index, double fade) {
        Print("render %d %.2f", index, fade);
        CTextTipWnd::Render(index, fade);
    }
};

class ToolWnd : public CWnd {
  public:
    RecordingTip* m_tip;

  protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_APP + 1: {
                CTextTipItem* item = (CTextTipItem*)m_tip->GetItem(0);
                if (item != NULL) {
                    item->m_text = wParam != 0 ? kLongText : kShortText;
                }
                m_tip->PopAtCursor();
                return 0;
            }
            case WM_APP + 2:
                Print("null tool %d", m_tip->AddTool(NULL, new CountedItem(kShortText, 2)));
                Print("null item %d", m_tip->AddTool(this, NULL));
                Print("again %d", m_tip->AddTool(this, new CountedItem(kShortText, 3)));
                return 0;
            case WM_APP + 3:
                DestroyWindow();
                return 0;
            case WM_DESTROY:
                ::PostQuitMessage(0);
                break;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class CTipTestApp : public CWinApp {
  public:
    virtual BOOL InitInstance() {
        int x = 0, y = 0, fade = 0, anchor = 0;
        sscanf(m_lpCmdLine, "%d %d %d %d", &x, &y, &fade, &anchor);
        ToolWnd tool;
        tool.CreateEx(0, AfxRegisterWndClass(0), "tool", WS_POPUP | WS_VISIBLE, x, y, kToolWidth,
                      kToolHeight, NULL, NULL);
        tool.m_tip = new RecordingTip(tool.m_hWnd, fade);
        tool.m_tip->SetMaxWidth(450);
        tool.m_tip->SetStillTimeout(10);
        tool.m_tip->SetAnchorToTool(anchor != 0);
        tool.m_tip->AddTool(&tool, new CountedItem(kShortText, 1));
        Print("ready");
        MSG msg;
        while (::GetMessageA(&msg, NULL, 0, 0) > 0) {
            ::DispatchMessageA(&msg);
        }
        return FALSE;
    }
};

CTipTestApp theApp;

}  // namespace
