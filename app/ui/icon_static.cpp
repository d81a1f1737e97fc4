#include "ui/icon_static.h"

// FillRect's form of a system colour: the index plus one (COLOR_MENU).
#define ICON_STATIC_BRUSH ((HBRUSH)(COLOR_MENU + 1))

BEGIN_MESSAGE_MAP(CIconStatic, CStatic)
ON_WM_PAINT()
END_MESSAGE_MAP()

LRESULT CIconStatic::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PRINTCLIENT) {
        PaintIcon((HDC)wParam);
        return 0;
    }
    return CStatic::WindowProc(message, wParam, lParam);
}

void CIconStatic::OnPaint() {
    CPaintDC dc(this);
    PaintIcon(dc);
}

void CIconStatic::PaintIcon(HDC dc) {
    RECT client;
    GetClientRect(&client);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc, 0);
    ::FillRect(dc, &client, ICON_STATIC_BRUSH);
    ::DrawIconEx(dc, 0, 0, m_icon, 16, 16, 0, NULL, DI_NORMAL);
}
