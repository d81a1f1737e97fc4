// CString: an owned, zero-terminated byte string.
#include "afxwin.h"

namespace {

char g_empty[1] = {'\0'};

}  // namespace

CString::CString() : m_pchData(g_empty) {}

CString::CString(const CString& stringSrc) : m_pchData(g_empty) {
    Assign(stringSrc.m_pchData, stringSrc.GetLength());
}

CString::CString(LPCSTR lpsz) : m_pchData(g_empty) {
    Assign(lpsz, lpsz == NULL ? 0 : lstrlenA(lpsz));
}

CString::~CString() {
    if (m_pchData != g_empty) {
        delete[] m_pchData;
    }
}

const CString& CString::operator=(const CString& stringSrc) {
    if (this != &stringSrc) {
        Assign(stringSrc.m_pchData, stringSrc.GetLength());
    }
    return *this;
}

const CString& CString::operator=(LPCSTR lpsz) {
    Assign(lpsz, lpsz == NULL ? 0 : lstrlenA(lpsz));
    return *this;
}

// Copies first, then frees: lpsz may point into the old text.
void CString::Assign(LPCSTR lpsz, int nLength) {
    LPSTR data = g_empty;
    if (nLength > 0) {
        data = new char[nLength + 1];
        CopyMemory(data, lpsz, nLength);
        data[nLength] = '\0';
    }
    if (m_pchData != g_empty) {
        delete[] m_pchData;
    }
    m_pchData = data;
}

// LoadStringA truncates to the buffer; a string that filled it is read again, twice as big.
BOOL CString::LoadString(UINT nID) {
    for (int size = 256; size <= 0x10000; size *= 2) {
        LPSTR buffer = new char[size];
        int length = ::LoadStringA(AfxGetResourceHandle(), nID, buffer, size);
        if (length < size - 1) {
            Assign(buffer, length);
            delete[] buffer;
            return length > 0;
        }
        delete[] buffer;
    }
    Assign(NULL, 0);
    return FALSE;
}
