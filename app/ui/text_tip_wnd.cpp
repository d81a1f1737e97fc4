#include "ui/text_tip_wnd.h"

namespace {

BOOL CreateTipFont(CFont& font) {
    return font.CreateFont(16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH, "Arial");
}

}  // namespace

COLORREF TipBackgroundColor(double t) {
    return RGB(255, 254, (int)(255 - 48 * t));
}

COLORREF TipTextColor(double t) {
    int grey = (int)(64 * (1 - t));
    return RGB(grey, grey, grey);
}

CTextTipWnd::CTextTipWnd(HWND owner, BOOL fadeIn)
    : CTipWnd(owner, fadeIn), m_bitmap(NULL), m_image_width(0), m_image_height(0) {}

CTextTipWnd::~CTextTipWnd() {
    delete m_bitmap;
}

void CTextTipWnd::Measure(int index) {
    CFont font;
    CTextTipItem* item = TextItem(index);
    if (!CreateTipFont(font) || item == NULL) {
        return;
    }
    CClientDC dc(this);
    HGDIOBJ oldFont = ::SelectObject(dc, font);
    RECT box = {0, 0, m_max_width, 1};
    ::DrawTextA(dc, item->m_text, -1, &box, DT_CALCRECT | DT_WORDBREAK);
    m_width = box.right + 9;
    m_height = box.bottom + 9;
    m_image_width = 0;
    m_image_height = 0;
    if (item->m_bitmap_id != 0) {
        CBitmap image;
        BITMAP info;
        if (image.LoadBitmap(item->m_bitmap_id) && image.GetBitmap(&info) != 0) {
            m_image_width = info.bmWidth;
            m_image_height = info.bmHeight;
        }
    }
    if (m_height < m_image_height + 6) {
        m_height = m_image_height + 6;
    }
    m_width += m_image_width + 4;
    ::SelectObject(dc, oldFont);
}

void CTextTipWnd::Render(int index, double fade) {
    delete m_bitmap;
    m_bitmap = NULL;
    CFont font;
    CTextTipItem* item = TextItem(index);
    if (!CreateTipFont(font) || item == NULL) {
        return;
    }
    try {
        CClientDC dc(this);
        m_bitmap = new CBitmap;
        CDC memory;
        if (!m_bitmap->CreateCompatibleBitmap(&dc, m_width, m_height) ||
            !memory.CreateCompatibleDC(&dc)) {
            AfxThrowMemoryException();
        }
        HGDIOBJ oldBitmap = ::SelectObject(memory, *m_bitmap);
        HGDIOBJ oldFont = ::SelectObject(memory, font);
        COLORREF background = TipBackgroundColor(fade);
        ::SetBkColor(memory, background);
        ::SetTextColor(memory, TipTextColor(fade));
        CBrush brush(background);
        RECT all = {0, 0, m_width, m_height};
        ::FillRect(memory, &all, brush);
        CBitmap image;
        CDC imageDc;
        if (item->m_bitmap_id != 0 && image.LoadBitmap(item->m_bitmap_id) &&
            imageDc.CreateCompatibleDC(&dc)) {
            HGDIOBJ oldImage = ::SelectObject(imageDc, image);
            ::BitBlt(memory, 2, 2, m_image_width, m_image_height, imageDc, 0, 0, SRCCOPY);
            ::SelectObject(imageDc, oldImage);
        }
        RECT box = {m_image_width + 7, 3, m_width - 6, m_height - 6};
        ::DrawTextA(memory, item->m_text, -1, &box, DT_WORDBREAK);
        ::SelectObject(memory, oldFont);
        ::SelectObject(memory, oldBitmap);
    } catch (CException* e) {
        e->Delete();
        delete m_bitmap;
        m_bitmap = NULL;
    }
}

void CTextTipWnd::PaintTip(CDC* pDC) {
    if (m_bitmap == NULL || m_bitmap->GetSafeHandle() == NULL || pDC == NULL ||
        pDC->GetSafeHdc() == NULL) {
        return;
    }
    BITMAP info;
    CDC memory;
    if (m_bitmap->GetBitmap(&info) == 0 || !memory.CreateCompatibleDC(pDC)) {
        return;
    }
    HGDIOBJ oldBitmap = ::SelectObject(memory, *m_bitmap);
    ::BitBlt(*pDC, 0, 0, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, oldBitmap);
}
