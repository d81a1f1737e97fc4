// The window manager's side of the mouse, for the test surface and the message queue.
#pragma once

#include <windows.h>

#include <optional>

#include "sched/scheduler.h"

namespace sim::win32::user32 {

struct ThreadQueue;

// After the cursor moved: WM_MOUSELEAVE for a tracked window it left, a new hover wait if it
// left the hover square, and WM_SETCURSOR (sent) and WM_MOUSEMOVE (input) to the window under
// it when that is a client area.
void CursorMoved();
// After windows were shown, hidden or moved: when another window is now under the cursor it
// gets a move, as Windows sends one to the window that appears under a still cursor.
void WindowsChangedUnderCursor();
// WM_LBUTTONDOWN and WM_LBUTTONUP to the window under the cursor; false over the desktop.
bool ClickAtCursor();
// Mouse activation as a thread takes WM_LBUTTONDOWN from its input: WM_MOUSEACTIVATE to the
// window, then activation of its top-level window if it asks for it. False when the answer
// eats the click.
bool MouseActivate(const MSG& msg);
// Posts WM_MOUSEHOVER to the thread's tracked window when the hover time is up; returns the
// next hover deadline of the thread.
std::optional<Ticks> UpdateHover(const ThreadQueue& queue);

}  // namespace sim::win32::user32
