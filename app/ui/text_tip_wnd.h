// The tip window that draws text (and, if its item names one, a bitmap) with a fixed font
// and colours into an off-screen bitmap; painting only copies that bitmap.
#pragma once

#include "ui/tip_wnd.h"

class CTextTipWnd : public CTipWnd {
  public:
    CTextTipWnd(HWND owner, BOOL fadeIn);
    virtual ~CTextTipWnd();

    virtual void Measure(int index);
    virtual void Render(int index, double fade);
    virtual void PaintTip(CDC* pDC);

  protected:
    CBitmap* m_bitmap;
    int m_image_width;
    int m_image_height;

  private:
    CTextTipItem* TextItem(int index) const { return (CTextTipItem*)GetItem(index); }
};

// The tip's colours at fade level t, 0.0 (start) to 1.0 (final look).
COLORREF TipBackgroundColor(double t);
COLORREF TipTextColor(double t);
