// GetSystemMetrics, GetCursorPos and SetCursorPos: a 1024 x 768 screen at 96 dpi with the
// classic metrics.
#include <windows.h>

#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

struct Metric {
    int index;
    int value;
};

const Metric kMetrics[] = {
    {SM_CXSCREEN, kScreenWidth},
    {SM_CYSCREEN, kScreenHeight},
    {SM_CYCAPTION, kCaptionHeight},
    {SM_CXBORDER, kBorderWidth},
    {SM_CYBORDER, kBorderWidth},
    {SM_CXDLGFRAME, kDialogFrameWidth},
    {SM_CYDLGFRAME, kDialogFrameWidth},
    {SM_CXICON, kIconSize},
    {SM_CYICON, kIconSize},
    {SM_CXCURSOR, kIconSize},
    {SM_CYCURSOR, kIconSize},
    {SM_CXFRAME, kThickFrameWidth},
    {SM_CYFRAME, kThickFrameWidth},
    {SM_CXSMICON, kSmallIconSize},
    {SM_CYSMICON, kSmallIconSize},
};

}  // namespace

// The metric's value; 0 for one the simulated PC does not know, as Windows answers an
// unknown index (without an error).
int WINAPI GetSystemMetrics(int nIndex) {
    for (const Metric& metric : kMetrics) {
        if (metric.index == nIndex) {
            return metric.value;
        }
    }
    return 0;
}

// Where the cursor is; the scenario moves it. A NULL pointer fails with ERROR_NOACCESS.
BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
    if (lpPoint == NULL) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *lpPoint = CursorPosition();
    return TRUE;
}

// Moves the cursor, kept on the screen; no mouse message follows.
BOOL WINAPI SetCursorPos(int X, int Y) {
    POINT& cursor = CursorPosition();
    cursor.x = X < 0 ? 0 : (X >= kScreenWidth ? kScreenWidth - 1 : X);
    cursor.y = Y < 0 ? 0 : (Y >= kScreenHeight ? kScreenHeight - 1 : Y);
    return TRUE;
}
