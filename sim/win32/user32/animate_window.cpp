// AnimateWindow, on the virtual clock.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

namespace {

constexpr DWORD kDirections = AW_HOR_POSITIVE | AW_HOR_NEGATIVE | AW_VER_POSITIVE | AW_VER_NEGATIVE;

}  // namespace

// Shows (or with AW_HIDE hides) the window over dwTime ms: the calling thread is busy for
// that time and handles no messages meanwhile, as the real call blocks. The window is shown
// at the start, without activation unless AW_ACTIVATE, and a picture of the screen taken
// during the animation shows the part already slid in; a hidden window goes at the end. Fails
// with ERROR_INVALID_PARAMETER as Windows does: a window already in the state asked for, a
// slide without direction, AW_BLEND for a child; a window of another thread fails too.
BOOL WINAPI AnimateWindow(HWND hWnd, DWORD dwTime, DWORD dwFlags) {
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    bool hide = (dwFlags & AW_HIDE) != 0;
    bool visible = (window->style & WS_VISIBLE) != 0;
    bool slide_without_direction =
        (dwFlags & (AW_BLEND | AW_CENTER)) == 0 && (dwFlags & kDirections) == 0;
    if (hide != visible || slide_without_direction ||
        ((dwFlags & AW_BLEND) != 0 && window->IsChildWindow()) ||
        window->thread != CurrentQueue().thread) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    window->animation_start = scheduler.Now();
    window->animation_length = static_cast<sim::Ticks>(dwTime) * sim::kTicksPerMs;
    window->animation_flags = dwFlags;
    if (!hide) {
        UINT activate = (dwFlags & AW_ACTIVATE) != 0 ? 0 : SWP_NOACTIVATE;
        SetWindowPos(hWnd, NULL, 0, 0, 0, 0,
                     SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | activate);
    }
    if (dwTime != 0) {
        scheduler.SleepFor(window->animation_length, "AnimateWindow");
    }
    window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    window->animation_length = 0;
    if (hide) {
        SetWindowPos(hWnd, NULL, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}
