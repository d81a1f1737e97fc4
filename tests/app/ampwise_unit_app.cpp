// Ampwise's unit checks as a program of the simulated PC: the tables of the Windows console
// program but its debug-line cut, which reads Windows' own debug-output exception. The
// simulated PC sees that output as a debugger does, before any handler of the program, and
// its own tests check the cut there.
#include <afxwin.h>

#include "unit_check.h"

class CUnitApp : public CWinApp {
  public:
    virtual BOOL InitInstance() {
        RunAmpwiseTables();
        RunAfxChecks();
        return FALSE;
    }
    virtual int ExitInstance() { return ReportUnitChecks(); }
};

CUnitApp theApp;
