// GetSystemMetrics, SystemParametersInfoA, GetCursorPos and SetCursorPos: the machine's
// screen (1280 x 800 with a 40-pixel taskbar unless the scenario says otherwise) at 96 dpi
// with the classic metrics.
#include <windows.h>

#include "win32/user32/mouse.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

struct Metric {
    int index;
    int value;
};

const Metric kMetrics[] = {
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
    {SM_CXMOUSEHOVER, 4},
    {SM_CYMOUSEHOVER, 4},
};

}  // namespace

// The metric's value; 0 for one the simulated PC does not know, as Windows answers an
// unknown index (without an error).
int WINAPI GetSystemMetrics(int nIndex) {
    const Screen& screen = TheScreen();
    RECT work = screen.WorkArea();
    switch (nIndex) {
        case SM_CXSCREEN:
            return screen.width;
        case SM_CYSCREEN:
            return screen.height;
        case SM_CXFULLSCREEN:
            return work.right - work.left;
        case SM_CYFULLSCREEN:
            return work.bottom - work.top - kCaptionHeight;
        case SM_CXMAXIMIZED:
            return work.right - work.left + 2 * kThickFrameWidth;
        case SM_CYMAXIMIZED:
            return work.bottom - work.top + 2 * kThickFrameWidth;
        default:
            break;
    }
    for (const Metric& metric : kMetrics) {
        if (metric.index == nIndex) {
            return metric.value;
        }
    }
    return 0;
}

// SPI_GETWORKAREA: the screen less the taskbar; SPI_GETMOUSEHOVERTIME: 400 ms. Other
// actions are not modelled and fail with ERROR_INVALID_PARAMETER.
BOOL WINAPI SystemParametersInfoA(UINT uiAction, UINT, PVOID pvParam, UINT) {
    // The new time-out is the pointer's value itself.
    if (uiAction == SPI_SETFOREGROUNDLOCKTIMEOUT) {
        ForegroundLockTimeoutMs() = static_cast<UINT>(reinterpret_cast<uintptr_t>(pvParam));
        return TRUE;
    }
    if (pvParam == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    switch (uiAction) {
        case SPI_GETWORKAREA:
            *static_cast<RECT*>(pvParam) = TheScreen().WorkArea();
            return TRUE;
        case SPI_GETMOUSEHOVERTIME:
            *static_cast<UINT*>(pvParam) = 400;
            return TRUE;
        case SPI_GETFOREGROUNDLOCKTIMEOUT:
            *static_cast<UINT*>(pvParam) = ForegroundLockTimeoutMs();
            return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
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

// Moves the cursor, kept on the screen; the window under it gets the move as from the mouse.
BOOL WINAPI SetCursorPos(int X, int Y) {
    POINT& cursor = CursorPosition();
    const Screen& screen = TheScreen();
    cursor.x = X < 0 ? 0 : (X >= screen.width ? screen.width - 1 : X);
    cursor.y = Y < 0 ? 0 : (Y >= screen.height ? screen.height - 1 : Y);
    CursorMoved();
    return TRUE;
}
