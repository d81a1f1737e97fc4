// The test surface of the window manager, for ampsim and tests (never for the program):
// system events delivered to the windows, keys, the cursor, what SendMessageA carries, and
// the windows alive at the end of a run. Plain types only, so that callers that also see
// the kernel's headers can include it; a window is Windows' HWND either way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HWND__;

namespace sim {
class SimThread;
}

namespace sim::win32 {

using WindowHandle = HWND__*;

// WM_POWERBROADCAST with `event` to every top-level window, queued as a sent message; from
// the host or any simulated thread. With a patience, a simulated caller waits until every
// window has run it or that much virtual time has passed, as Windows waits for programs
// before it sleeps; the others still get it when their thread runs it.
void BroadcastPowerEvent(uintptr_t event, int64_t patience = 0);

// A key press and release (WM_KEYDOWN, WM_KEYUP) in the input queue of the window's thread,
// addressed to the window, as the keyboard delivers them to the focus.
void PressKey(WindowHandle hwnd, uint32_t virtual_key);

// A click on the shell's taskbar (at a program's tray icon, or on the entry that starts a
// program): the taskbar takes the foreground, the click is the last input event, and the
// shell lets `allowed_process` (the icon's or the started program's; 0 for none) set the
// foreground window, as AllowSetForegroundWindow does.
void TaskbarClicked(uint32_t allowed_process);

// Moves the cursor as the mouse does (SetCursorPos): the window under it gets the move, and
// tracked windows their hover and leave.
void MoveCursor(int x, int y);
// Moves the cursor to the middle of a shown window and clicks the left button there; what
// lies under the cursor gets the click. False for a window that is not shown.
bool ClickWindow(WindowHandle hwnd);
// The front-most shown top-level window of that `ui` name (made by one of `threads`, when
// given), or with `control_id` >= 0 its child of that identifier; null if there is none.
WindowHandle FindShownWindow(const std::string& ui_name, int control_id,
                             const std::vector<const SimThread*>& threads = {});
// Where keys go: the focus of the foreground thread, else its active window; null when no
// thread has the foreground.
WindowHandle FocusWindow();

// Called on every SendMessageA, by the sending thread (null on the host), before delivery.
using SendObserver = std::function<void(const SimThread* sender, WindowHandle hwnd,
                                        uint32_t message, uintptr_t wparam, intptr_t lparam)>;
void SetSendObserver(SendObserver observer);

// Names for the `ui` lines: what the namer returns for a window, unless empty (then the
// window's title, else its class; a child is its parent's name, '.', its id, as `click` names it).
struct UiNaming {
    std::string window_class;
    std::string title;
    int dialog_template;     // the dialog resource a dialog came from, else 0
    std::string owner_name;  // the owner's `ui` name, "" without owner
};
using UiNamer = std::function<std::string(const UiNaming&)>;
void SetUiNamer(UiNamer namer);

struct LiveWindow {
    WindowHandle hwnd;
    std::string window_class;
    std::string title;
    std::string thread;  // the name of the thread that created it
    bool thread_ended;   // gone with its thread, never destroyed by the program
};
// Windows the program has not destroyed, in creation order: those alive, and those whose
// thread ended without destroying them (which Windows then destroys), so that the listing
// after a run shows what the program left.
std::vector<LiveWindow> LiveWindows();

}  // namespace sim::win32
