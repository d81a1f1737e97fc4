// The small icon-painting static that the hidden main dialog binds.
#pragma once

#include <afxwin.h>

class CIconStatic : public CStatic {
  public:
    CIconStatic() : m_icon(NULL) {}
    HICON m_icon;  // no code assigns one: the static paints its background only

  protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    afx_msg void OnPaint();

  private:
    void PaintIcon(HDC dc);

    DECLARE_MESSAGE_MAP()
};
