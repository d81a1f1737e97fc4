// CFile: a file handle opened with CreateFile and the share mode MFC's flags name.
#include "afxwin.h"

CFile::CFile() : m_hFile(INVALID_HANDLE_VALUE) {}

CFile::~CFile() {
    Close();
}

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags) {
    Close();
    DWORD access = GENERIC_READ;
    switch (nOpenFlags & 3) {
        case modeWrite:
            access = GENERIC_WRITE;
            break;
        case modeReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            break;
    }
    DWORD share = 0;
    switch (nOpenFlags & 0x70) {
        case shareDenyWrite:
            share = FILE_SHARE_READ;
            break;
        case shareDenyRead:
            share = FILE_SHARE_WRITE;
            break;
        case shareDenyNone:
            share = FILE_SHARE_READ | FILE_SHARE_WRITE;
            break;
    }
    DWORD disposition = (nOpenFlags & modeCreate) != 0 ? CREATE_ALWAYS : OPEN_EXISTING;
    m_hFile =
        ::CreateFileA(lpszFileName, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL);
    return m_hFile != INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    DWORD read = 0;
    if (!::ReadFile(m_hFile, lpBuf, nCount, &read, NULL)) {
        return 0;
    }
    return read;
}

void CFile::Close() {
    if (m_hFile != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}
