#include "ui/tip_wnd.h"

#define TIP_EX_STYLE (WS_EX_TOOLWINDOW | WS_EX_TOPMOST)
#define TIP_STYLE 0xC0800000  // WS_POPUP | WS_CHILD | WS_BORDER: an owned popup

CTipWnd::CTipWnd(HWND owner, BOOL fadeIn)
    : m_first_pop(1),
      m_hide_ticks(0),
      m_still_timeout_ms(0),
      m_anchor_to_tool(0),
      m_owner(owner),
      m_width(300),
      m_height(100),
      m_max_width(300),
      m_fade(1.0),
      m_current(-1),
      m_fade_in(fadeIn ? 1 : 0) {
    m_cursor.x = m_cursor.y = 0;
    m_still_cursor.x = m_still_cursor.y = 0;
    CreateEx(TIP_EX_STYLE, AfxRegisterWndClass(0), "", TIP_STYLE, 0, 0, 1, 1, owner, NULL);
}

CTipWnd::~CTipWnd() {
    for (INT_PTR i = 0; i < m_items.GetSize(); i++) {
        delete (CTipItem*)m_items[i];
    }
}

BEGIN_MESSAGE_MAP(CTipWnd, CWnd)
ON_WM_PAINT()
ON_WM_MOUSEMOVE()
ON_WM_TIMER()
ON_WM_ERASEBKGND()
ON_WM_MOVE()
ON_WM_ACTIVATE()
END_MESSAGE_MAP()

bool CTipWnd::AddTool(CWnd* tool, CTipItem* item) {
    if (tool == NULL || item == NULL) {
        delete item;
        return true;
    }
    RemoveTool(tool);
    try {
        m_items.Add(item);
    } catch (CMemoryException* e) {
        e->Delete();
        delete item;
        return false;
    }
    try {
        m_tools.Add(tool);
    } catch (CMemoryException* e) {
        e->Delete();
        m_items.RemoveAt(m_items.GetUpperBound());
        delete item;
        return false;
    }
    return true;
}

void CTipWnd::RemoveTool(CWnd* tool) {
    if (tool == NULL) {
        return;
    }
    for (int i = 0; i < (int)m_tools.GetSize(); i++) {
        if (m_tools[i] != tool) {
            continue;
        }
        delete (CTipItem*)m_items[i];
        m_items.RemoveAt(i);
        m_tools.RemoveAt(i);
        // The tip up must still name its own tool.
        if (m_current == i) {
            m_current = -1;
            Park();
        } else if (m_current > i) {
            m_current--;
        }
        return;
    }
}

CTipItem* CTipWnd::GetItem(int index) const {
    return index < 0 || index >= (int)m_items.GetSize() ? NULL : (CTipItem*)m_items[index];
}

void CTipWnd::PopAtCursor() {
    POINT cursor;
    if (!::GetCursorPos(&cursor)) {
        return;
    }
    m_cursor = cursor;
    if (m_first_pop == 1) {
        Park();
        // Shown without activation: a tablet's arrival must not take the keyboard from the
        // program the user types in.
        ShowWindow(SW_SHOWNA);
        ValidateRect(NULL);
        m_first_pop = 0;
    }
    SetTimer(TIP_TIMER_SHOW, TIP_SHOW_MS, NULL);
}

void CTipWnd::Measure(int) {}
void CTipWnd::Render(int, double) {}
void CTipWnd::PaintTip(CDC*) {}

// Hidden is parked: never hidden with ShowWindow after the first show.
void CTipWnd::Park() {
    SetWindowPos(NULL, 0, 10, 1, 1, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTipWnd::PlaceTip() {
    if (m_current < 0 || (m_width <= 0 && m_height <= 0)) {
        Park();
        return;
    }
    int w = m_width, h = m_height;
    int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    int x, y;
    if (m_anchor_to_tool) {
        RECT r;
        ((CWnd*)m_tools[m_current])->GetWindowRect(&r);
        int mid = r.left + (r.right - r.left) / 2;
        x = mid > sw - mid ? r.right - w - 20 : r.left + 20;
        y = r.bottom + h + 10 < sh ? r.bottom + 2 : r.top - h - 2;
    } else {
        x = m_cursor.x + w + 15 < sw ? m_cursor.x + 15 : m_cursor.x - w - 15;
        y = m_cursor.y + h + 20 < sh ? m_cursor.y + 15 : m_cursor.y - h - 15;
    }
    if (x < 0) {
        x = 0;
    } else if (x + w > sw) {
        x = sw - w;
    }
    if (y < 0) {
        y = 0;
    } else if (y + h > sh) {
        y = sh - h;
    }
    SetWindowPos(NULL, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTipWnd::PaintNow() {
    CClientDC dc(this);
    PaintTip(&dc);
}

// The tip always belongs to the first tool; a text changed while it is up shows only after
// it was parked and popped again.
void CTipWnd::ShowTip() {
    KillTimer(TIP_TIMER_SHOW);
    if (m_tools.GetSize() == 0 || m_current == 0) {
        return;
    }
    m_current = 0;
    m_fade = m_fade_in ? 0.0 : 1.0;
    Measure(0);
    Render(m_current, m_fade);
    PlaceTip();
    ValidateRect(NULL);
    PaintNow();
    if (m_fade_in) {
        SetTimer(TIP_TIMER_FADE, TIP_FADE_MS, NULL);
    }
    SetTimer(TIP_TIMER_HIDE, TIP_HIDE_MS, NULL);
    m_hide_ticks = 0;
    KillTimer(TIP_TIMER_STILL);
    if (m_still_timeout_ms != 0) {
        SetTimer(TIP_TIMER_STILL, (UINT)m_still_timeout_ms, NULL);
        m_still_cursor = m_cursor;
    }
}

// Parked at the second tick outside the tool; the timer stops at the third.
void CTipWnd::HideCheck() {
    POINT cursor;
    if (m_current >= 0 && ::GetCursorPos(&cursor)) {
        RECT r;
        ((CWnd*)m_tools[m_current])->GetWindowRect(&r);
        if (::PtInRect(&r, cursor)) {
            m_hide_ticks = 0;
            return;
        }
    }
    if (m_hide_ticks == 0) {
        m_hide_ticks = 1;
    } else if (m_hide_ticks == 1) {
        m_current = -1;
        KillTimer(TIP_TIMER_FADE);
        KillTimer(TIP_TIMER_STILL);
        Park();
        m_hide_ticks = 2;
    } else {
        KillTimer(TIP_TIMER_HIDE);
        KillTimer(TIP_TIMER_FADE);
        KillTimer(TIP_TIMER_STILL);
        m_current = -1;
        Park();
    }
}

void CTipWnd::StillCheck() {
    POINT cursor;
    if (!::GetCursorPos(&cursor)) {
        return;
    }
    if (cursor.x == m_still_cursor.x && cursor.y == m_still_cursor.y) {
        KillTimer(TIP_TIMER_STILL);
        KillTimer(TIP_TIMER_HIDE);
        KillTimer(TIP_TIMER_FADE);
        m_current = -1;
        m_hide_ticks = 0;
        Park();
    } else {
        m_still_cursor = cursor;
    }
}

void CTipWnd::FadeStep() {
    if (m_fade > 1.0) {
        KillTimer(TIP_TIMER_FADE);
        return;
    }
    Render(m_current, m_fade);
    PaintNow();
    m_fade += 0.1;
}

void CTipWnd::OnTimer(UINT nIDEvent) {
    switch (nIDEvent) {
        case TIP_TIMER_HIDE:
            HideCheck();
            break;
        case TIP_TIMER_FADE:
            FadeStep();
            break;
        case TIP_TIMER_SHOW:
            ShowTip();
            break;
        case TIP_TIMER_STILL:
            StillCheck();
            break;
        default:
            CWnd::OnTimer(nIDEvent);
            break;
    }
}

void CTipWnd::OnPaint() {
    CPaintDC dc(this);
    PaintTip(&dc);
}

void CTipWnd::OnMouseMove(UINT nFlags, CPoint point) {
    CWnd::OnMouseMove(nFlags, point);
}

// The bitmap covers the whole window: erasing would only flicker.
BOOL CTipWnd::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CTipWnd::OnMove(int x, int y) {
    CWnd::OnMove(x, y);
}

// Activated (by a click, say), the tip hands activation back to its owner.
// Deactivation is left alone: taking activation back then would fight whatever window the
// user went to.
void CTipWnd::OnActivate(UINT nState, CWnd* pWndOther, BOOL bMinimized) {
    CWnd::OnActivate(nState, pWndOther, bMinimized);
    if (nState != WA_INACTIVE) {
        ::SetActiveWindow(m_owner);
    }
}

void CTipWnd::PostNcDestroy() {
    delete this;
}
