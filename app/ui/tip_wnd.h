// The hint window of the notify dialog: a topmost popup that measures, renders and places a
// word-wrapped tip beside its tool window, and parks itself when the cursor leaves the tool
// or stops moving.
#pragma once

#include <afxcoll.h>
#include <afxwin.h>

// A tip's content; the tip window owns its items and deletes them through this destructor.
class CTipItem {
  public:
    virtual ~CTipItem() {}
};

class CTextTipItem : public CTipItem {
  public:
    CTextTipItem(LPCSTR text, UINT bitmapId) : m_text(text), m_bitmap_id(bitmapId) {}
    CString m_text;
    UINT m_bitmap_id;  // drawn left of the text; 0 = none
};

// Timers of the tip window.
#define TIP_TIMER_HIDE 994   // cursor outside the tool
#define TIP_TIMER_FADE 995   // fade step
#define TIP_TIMER_SHOW 996   // deferred show after PopAtCursor
#define TIP_TIMER_STILL 997  // still-cursor check
#define TIP_HIDE_MS 1100
#define TIP_FADE_MS 55
#define TIP_SHOW_MS 100

class CTipWnd : public CWnd {
  public:
    // Creates the (not yet visible) window at once, owned by `owner`.
    CTipWnd(HWND owner, BOOL fadeIn);
    virtual ~CTipWnd();

    // Registers the tool with its item, which the tip window then owns (a window once; its
    // older item is deleted). An item that cannot be stored is deleted; false when the arrays
    // could not grow.
    bool AddTool(CWnd* tool, CTipItem* item);
    void RemoveTool(CWnd* tool);
    void SetMaxWidth(int pixels) { m_max_width = pixels; }
    void SetStillTimeout(int seconds) { m_still_timeout_ms = seconds * 1000; }
    void SetAnchorToTool(bool anchor) { m_anchor_to_tool = anchor ? 1 : 0; }
    // Shows the tip of the first tool about 100 ms later, wherever the cursor is.
    void PopAtCursor();
    // The item of tool `index`, or null.
    CTipItem* GetItem(int index) const;

    virtual void Measure(int index);
    virtual void Render(int index, double fade);
    virtual void PaintTip(CDC* pDC);

  protected:
    virtual void PostNcDestroy();

    afx_msg void OnPaint();
    afx_msg void OnMouseMove(UINT nFlags, CPoint point);
    afx_msg void OnTimer(UINT nIDEvent);
    afx_msg BOOL OnEraseBkgnd(CDC* pDC);
    afx_msg void OnMove(int x, int y);
    afx_msg void OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized);

    BYTE m_first_pop;
    int m_hide_ticks;
    POINT m_cursor;
    int m_still_timeout_ms;
    POINT m_still_cursor;
    BYTE m_anchor_to_tool;
    HWND m_owner;
    int m_width;
    int m_height;
    int m_max_width;
    CPtrArray m_items;
    CPtrArray m_tools;
    double m_fade;
    int m_current;
    BYTE m_fade_in;

  private:
    void Park();
    void PlaceTip();
    void PaintNow();
    void ShowTip();
    void HideCheck();
    void StillCheck();
    void FadeStep();

    DECLARE_MESSAGE_MAP()
};
