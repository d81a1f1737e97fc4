// CPtrArray and the memory exception it throws.
#include "afxcoll.h"

#include <new>

void AFXAPI AfxThrowMemoryException() {
    throw new CMemoryException;
}

CPtrArray::CPtrArray() : m_pData(NULL), m_nSize(0), m_nMaxSize(0) {}

CPtrArray::~CPtrArray() {
    delete[] m_pData;
}

// Grows by half again (at least four), so that many adds copy little.
INT_PTR CPtrArray::Add(void* newElement) {
    if (m_nSize == m_nMaxSize) {
        INT_PTR grown = m_nMaxSize + (m_nMaxSize / 2 < 4 ? 4 : m_nMaxSize / 2);
        void** pNewData = new (std::nothrow) void*[grown];
        if (pNewData == NULL) {
            AfxThrowMemoryException();
        }
        for (INT_PTR i = 0; i < m_nSize; i++) {
            pNewData[i] = m_pData[i];
        }
        delete[] m_pData;
        m_pData = pNewData;
        m_nMaxSize = grown;
    }
    m_pData[m_nSize] = newElement;
    return m_nSize++;
}

void CPtrArray::RemoveAt(INT_PTR nIndex, INT_PTR nCount) {
    if (nIndex < 0 || nCount <= 0 || nIndex + nCount > m_nSize) {
        return;
    }
    for (INT_PTR i = nIndex; i + nCount < m_nSize; i++) {
        m_pData[i] = m_pData[i + nCount];
    }
    m_nSize -= nCount;
}

void CPtrArray::RemoveAll() {
    delete[] m_pData;
    m_pData = NULL;
    m_nSize = 0;
    m_nMaxSize = 0;
}
