// The application object: runs the hidden main dialog modally and ends with it.
#pragma once

#include <afxwin.h>

class CTrayApp : public CWinApp {
  public:
    CTrayApp();

    virtual BOOL InitInstance();

    DECLARE_MESSAGE_MAP()
};
