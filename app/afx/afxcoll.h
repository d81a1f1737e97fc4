// MFC's collection of pointers, for the applications that use it.
#pragma once

#include "afxwin.h"

// A growable array of void pointers. Add and InsertAt throw CMemoryException* when the array
// cannot grow, and leave it as it was.
class CPtrArray : public CObject {
  public:
    CPtrArray();
    virtual ~CPtrArray();

    INT_PTR GetSize() const { return m_nSize; }
    INT_PTR GetUpperBound() const { return m_nSize - 1; }
    void* GetAt(INT_PTR nIndex) const { return m_pData[nIndex]; }
    void SetAt(INT_PTR nIndex, void* newElement) { m_pData[nIndex] = newElement; }
    void*& ElementAt(INT_PTR nIndex) { return m_pData[nIndex]; }
    void* operator[](INT_PTR nIndex) const { return GetAt(nIndex); }
    void*& operator[](INT_PTR nIndex) { return ElementAt(nIndex); }

    INT_PTR Add(void* newElement);
    void RemoveAt(INT_PTR nIndex, INT_PTR nCount = 1);
    void RemoveAll();

  private:
    CPtrArray(const CPtrArray&);
    CPtrArray& operator=(const CPtrArray&);

    void** m_pData;
    INT_PTR m_nSize;
    INT_PTR m_nMaxSize;
};
