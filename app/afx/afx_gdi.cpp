// Device contexts and GDI objects: thin owners of GDI handles.
#include "afxwin.h"

CDC::~CDC() {
    DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC* pDC) {
    m_hDC = ::CreateCompatibleDC(pDC == NULL ? NULL : pDC->m_hDC);
    return m_hDC != NULL;
}

BOOL CDC::DeleteDC() {
    if (m_hDC == NULL) {
        return FALSE;
    }
    return ::DeleteDC(Detach());
}

HDC CDC::Detach() {
    HDC hDC = m_hDC;
    m_hDC = NULL;
    return hDC;
}

CClientDC::CClientDC(CWnd* pWnd) : m_hWnd(pWnd == NULL ? NULL : pWnd->m_hWnd) {
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC() {
    ::ReleaseDC(m_hWnd, Detach());
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd->m_hWnd) {
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC() {
    ::EndPaint(m_hWnd, &m_ps);
    Detach();
}

BOOL CGdiObject::Attach(HGDIOBJ hObject) {
    if (hObject == NULL) {
        return FALSE;
    }
    DeleteObject();
    m_hObject = hObject;
    return TRUE;
}

BOOL CGdiObject::DeleteObject() {
    if (m_hObject == NULL) {
        return FALSE;
    }
    HGDIOBJ hObject = m_hObject;
    m_hObject = NULL;
    return ::DeleteObject(hObject);
}

int CGdiObject::GetObject(int nCount, LPVOID lpObject) const {
    return m_hObject == NULL ? 0 : ::GetObjectA(m_hObject, nCount, lpObject);
}

BOOL CBitmap::LoadBitmap(UINT nIDResource) {
    return Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(nIDResource)));
}

BOOL CBitmap::CreateCompatibleBitmap(CDC* pDC, int nWidth, int nHeight) {
    return Attach(::CreateCompatibleBitmap(pDC->m_hDC, nWidth, nHeight));
}

BOOL CFont::CreateFont(int nHeight, int nWidth, int nEscapement, int nOrientation, int nWeight,
                       BYTE bItalic, BYTE bUnderline, BYTE cStrikeOut, BYTE nCharSet,
                       BYTE nOutPrecision, BYTE nClipPrecision, BYTE nQuality, BYTE nPitchAndFamily,
                       LPCSTR lpszFacename) {
    return Attach(::CreateFontA(nHeight, nWidth, nEscapement, nOrientation, nWeight, bItalic,
                                bUnderline, cStrikeOut, nCharSet, nOutPrecision, nClipPrecision,
                                nQuality, nPitchAndFamily, lpszFacename));
}

CBrush::CBrush(COLORREF crColor) {
    if (!Attach(::CreateSolidBrush(crColor))) {
        AfxThrowMemoryException();
    }
}
