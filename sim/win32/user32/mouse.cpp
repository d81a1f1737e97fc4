// The mouse: WindowFromPoint, TrackMouseEvent with hover and leave, and the input a move or
// a click of the cursor gives the window under it.
#include "win32/user32/mouse.h"

#include <windows.h>

#include <cstdlib>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

namespace sim::win32::user32 {
namespace {

// The system's hover settings: 400 ms within a 4 x 4 pixel square.
constexpr DWORD kHoverTimeMs = 400;
constexpr int kHoverSquare = 4;

RECT ScreenRect(const Window& window) {
    RECT rect;
    GetWindowRect(window.handle, &rect);
    return rect;
}

// Hidden and disabled windows take no mouse input, and plain statics let it through to
// their parent (their hit test answers HTTRANSPARENT).
bool TakesMouse(const Window& window) {
    if ((window.style & WS_VISIBLE) == 0 || (window.style & WS_DISABLED) != 0) {
        return false;
    }
    return window.window_class->name != "Static" || (window.style & SS_NOTIFY) != 0;
}

HWND DeepestChildAt(HWND parent, POINT point) {
    for (HWND child : ChildrenOf(parent)) {
        const Window* record = FindWindowRecord(child);
        RECT rect = ScreenRect(*record);
        if (TakesMouse(*record) && PtInRect(&rect, point)) {
            return DeepestChildAt(child, point);
        }
    }
    return parent;
}

LPARAM ClientPoint(HWND hwnd, POINT point) {
    ScreenToClient(hwnd, &point);
    return MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y));
}

bool InClientArea(HWND hwnd, POINT point) {
    RECT client;
    GetClientRect(hwnd, &client);
    ScreenToClient(hwnd, &point);
    return PtInRect(&client, point);
}

// Whether the cursor is on the client area of the window itself, not on a child of it.
bool OverClientOf(HWND hwnd, POINT point) {
    return WindowFromPoint(point) == hwnd && InClientArea(hwnd, point);
}

void PostInput(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    const Window* window = FindWindowRecord(hwnd);
    ThreadQueue* queue = window == nullptr ? nullptr : QueueOf(window->thread);
    if (queue == nullptr) {
        return;
    }
    // Moves are coalesced: a thread that has not looked yet sees only the latest.
    if (message == WM_MOUSEMOVE && !queue->input.empty() &&
        queue->input.back().message == WM_MOUSEMOVE && queue->input.back().hwnd == hwnd) {
        queue->input.pop_back();
    }
    queue->input.push_back(MakeMessage(hwnd, message, wparam, lparam));
    Wake(*queue, message == WM_MOUSEMOVE ? QS_MOUSEMOVE : QS_MOUSEBUTTON);
}

void ArmHover(MouseTracking& tracking, POINT cursor) {
    tracking.hover_origin = cursor;
    tracking.hover_due = CurrentScheduler().Now() + tracking.hover_period;
    if (const Window* window = FindWindowRecord(tracking.hwnd)) {
        if (ThreadQueue* queue = QueueOf(window->thread)) {
            Wake(*queue, 0);
        }
    }
}

}  // namespace

void CursorMoved() {
    POINT cursor = CursorPosition();
    HWND under = WindowFromPoint(cursor);
    MouseTracking& tracking = Tracking();
    WindowUnderCursor() = under;
    if (tracking.hwnd != nullptr && tracking.leave && !OverClientOf(tracking.hwnd, cursor)) {
        HWND left = tracking.hwnd;
        tracking = MouseTracking{};
        PostMessageA(left, WM_MOUSELEAVE, 0, 0);
    }
    if (tracking.hwnd != nullptr && tracking.hover &&
        (std::abs(cursor.x - tracking.hover_origin.x) > kHoverSquare / 2 ||
         std::abs(cursor.y - tracking.hover_origin.y) > kHoverSquare / 2)) {
        ArmHover(tracking, cursor);
    }
    if (under == nullptr || !InClientArea(under, cursor)) {
        return;
    }
    const Window* window = FindWindowRecord(under);
    if (ThreadQueue* queue = QueueOf(window->thread)) {
        QueueSentMessage(*queue, under, WM_SETCURSOR, reinterpret_cast<WPARAM>(under),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), nullptr);
    }
    PostInput(under, WM_MOUSEMOVE, 0, ClientPoint(under, cursor));
}

void WindowsChangedUnderCursor() {
    if (WindowFromPoint(CursorPosition()) != WindowUnderCursor()) {
        CursorMoved();
    }
}

bool ClickAtCursor() {
    POINT cursor = CursorPosition();
    HWND under = WindowFromPoint(cursor);
    if (under == nullptr) {
        return false;
    }
    if (ThreadQueue* queue = QueueOf(FindWindowRecord(under)->thread)) {
        NoteUserInput(queue->process_id);
    }
    LPARAM at = ClientPoint(under, cursor);
    PostInput(under, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostInput(under, WM_LBUTTONUP, 0, at);
    return true;
}

bool MouseActivate(const MSG& msg) {
    if (msg.message != WM_LBUTTONDOWN || !IsWindow(msg.hwnd)) {
        return true;
    }
    HWND top = RootOf(msg.hwnd);
    if (top == ForegroundWindow()) {
        return true;
    }
    LRESULT answer = SendMessageA(msg.hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top),
                                  MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN));
    if ((answer == MA_ACTIVATE || answer == MA_ACTIVATEANDEAT) && IsWindow(top)) {
        BringToForeground(top, WA_CLICKACTIVE);
    }
    return answer != MA_ACTIVATEANDEAT && answer != MA_NOACTIVATEANDEAT;
}

std::optional<Ticks> UpdateHover(const ThreadQueue& queue) {
    MouseTracking& tracking = Tracking();
    const Window* window = FindWindowRecord(tracking.hwnd);
    if (window == nullptr || !tracking.hover || window->thread != queue.thread) {
        return std::nullopt;
    }
    if (CurrentScheduler().Now() < tracking.hover_due) {
        return tracking.hover_due;
    }
    POINT cursor = CursorPosition();
    if (OverClientOf(tracking.hwnd, cursor)) {
        tracking.hover = false;
        PostMessageA(tracking.hwnd, WM_MOUSEHOVER, 0, ClientPoint(tracking.hwnd, cursor));
        return std::nullopt;
    }
    // Off the window the hover waits for the cursor's next move back onto it.
    ArmHover(tracking, cursor);
    return tracking.hover_due;
}

}  // namespace sim::win32::user32

using namespace sim::win32::user32;

// The deepest visible, enabled window under the point, top-level windows taken in z-order;
// NULL over the bare desktop.
HWND WINAPI WindowFromPoint(POINT Point) {
    for (HWND hwnd : ZOrder()) {
        const Window* window = FindWindowRecord(hwnd);
        RECT rect = window->rect;
        if (TakesMouse(*window) && PtInRect(&rect, Point)) {
            return DeepestChildAt(hwnd, Point);
        }
    }
    return NULL;
}

// Asks for WM_MOUSEHOVER once the cursor has rested on the window's client area for the
// hover time (HOVER_DEFAULT: the system's 400 ms) and WM_MOUSELEAVE once it leaves that area
// (moving onto a child window leaves it too); each comes once, both are posted. A window
// the cursor is not on gets WM_MOUSELEAVE at once. One window of the desktop is tracked at a
// time; TME_CANCEL takes requests back and TME_QUERY reports the current one. The window
// must be the calling thread's (else ERROR_ACCESS_DENIED); TME_NONCLIENT is not modelled
// and fails with ERROR_INVALID_PARAMETER, as does a wrong cbSize.
BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
    if (lpEventTrack == NULL || lpEventTrack->cbSize != sizeof(TRACKMOUSEEVENT) ||
        (lpEventTrack->dwFlags & TME_NONCLIENT) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    MouseTracking& tracking = Tracking();
    DWORD flags = lpEventTrack->dwFlags;
    if ((flags & TME_QUERY) != 0) {
        lpEventTrack->dwFlags = (tracking.hover ? TME_HOVER : 0) | (tracking.leave ? TME_LEAVE : 0);
        lpEventTrack->hwndTrack = tracking.hwnd;
        lpEventTrack->dwHoverTime = static_cast<DWORD>(tracking.hover_period / sim::kTicksPerMs);
        return TRUE;
    }
    HWND hwnd = lpEventTrack->hwndTrack;
    Window* window = WindowOrError(hwnd);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->thread != CurrentQueue().thread) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if ((flags & TME_CANCEL) != 0) {
        if (tracking.hwnd == hwnd) {
            tracking.hover = tracking.hover && (flags & TME_HOVER) == 0;
            tracking.leave = tracking.leave && (flags & TME_LEAVE) == 0;
            if (!tracking.hover && !tracking.leave) {
                tracking = MouseTracking{};
            }
        }
        return TRUE;
    }
    POINT cursor = CursorPosition();
    if (!OverClientOf(hwnd, cursor)) {
        if ((flags & TME_LEAVE) != 0) {
            PostMessageA(hwnd, WM_MOUSELEAVE, 0, 0);
        }
        return TRUE;
    }
    if (tracking.hwnd != hwnd) {
        tracking = MouseTracking{};
        tracking.hwnd = hwnd;
    }
    tracking.leave = tracking.leave || (flags & TME_LEAVE) != 0;
    if ((flags & TME_HOVER) != 0) {
        DWORD ms =
            lpEventTrack->dwHoverTime == HOVER_DEFAULT ? kHoverTimeMs : lpEventTrack->dwHoverTime;
        tracking.hover = true;
        tracking.hover_period = static_cast<sim::Ticks>(ms) * sim::kTicksPerMs;
        ArmHover(tracking, cursor);
    }
    return TRUE;
}
