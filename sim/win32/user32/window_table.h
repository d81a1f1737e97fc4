// The window manager's records: window classes and windows, per machine. A handle is never
// reused within a run; a destroyed window's record is gone, so every call finds a window
// again by its handle after anything that could run the program's code.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sched/scheduler.h"
#include "win32/user32/user32_control.h"

namespace sim::win32::user32 {

struct ThreadQueue;

struct WindowClass {
    ATOM atom = 0;
    std::string name;
    WNDPROC proc = nullptr;
    int window_extra = 0;
    HICON icon = nullptr;
};

// The dialog manager's part of a dialog window.
struct DialogState {
    bool modal = false;
    int template_id = 0;  // the RT_DIALOG resource it came from; 0 for a template in memory
    bool ended = false;
    INT_PTR result = 0;
    int base_x = 0;  // dialog base units of the template's font, in pixels
    int base_y = 0;
};

struct Window {
    HWND handle = nullptr;
    const WindowClass* window_class = nullptr;
    std::string text;
    DWORD style = 0;
    DWORD ex_style = 0;
    HWND parent = nullptr;  // child windows: WS_CHILD without WS_POPUP
    HWND owner = nullptr;   // top-level windows
    UINT_PTR id = 0;        // a child's control identifier
    HINSTANCE instance = nullptr;
    SimThread* thread = nullptr;
    WNDPROC proc = nullptr;
    LONG_PTR user_data = 0;
    std::vector<unsigned char> extra;  // cbWndExtra bytes (a dialog's DWLP_ values)
    std::map<std::string, HANDLE> props;
    RECT rect = {0, 0, 0, 0};  // screen coordinates for top-level windows, else the parent's client
    bool iconic = false;
    bool needs_paint = false;
    bool destroying = false;
    HICON icon_big = nullptr;
    HICON icon_small = nullptr;
    // Dialogs and controls: the font of WM_SETFONT; a button's check state, a static's icon.
    HFONT font = nullptr;
    WPARAM check = BST_UNCHECKED;
    HICON static_icon = nullptr;
    bool pressed = false;        // a button the left mouse button went down on
    HWND saved_focus = nullptr;  // a dialog's focus control while it is inactive
    std::string shown_text;      // the text last reported as painted on it
    // AnimateWindow's showing, on the virtual clock: when it began and how long it takes.
    Ticks animation_start = 0;
    Ticks animation_length = 0;
    DWORD animation_flags = 0;
    std::unique_ptr<DialogState> dialog;

    bool IsChildWindow() const { return parent != nullptr; }
};

// The window behind a handle, or null (no such window, or destroyed).
Window* FindWindowRecord(HWND hwnd);
// As FindWindowRecord, setting ERROR_INVALID_WINDOW_HANDLE when there is none.
Window* WindowOrError(HWND hwnd);
Window& AddWindow(std::unique_ptr<Window> window);
void RemoveWindow(HWND hwnd);

// A window its thread did not destroy before it ended: gone, but remembered for the
// end-of-run listing.
struct LeftWindow {
    HWND handle;
    std::string window_class;
    std::string title;
    std::string thread;
};
void RemoveWithEndedThread(HWND hwnd);
const std::vector<LeftWindow>& WindowsLeftByEndedThreads();
// Live windows in creation order.
std::vector<HWND> AllWindows();
std::vector<HWND> ChildrenOf(HWND parent);
std::vector<HWND> OwnedBy(HWND owner);
std::vector<HWND> WindowsOfThread(const SimThread* thread);

const WindowClass* FindClass(LPCSTR name_or_atom);
const WindowClass* AddClass(WindowClass window_class);

// Whether the window and every parent above it have WS_VISIBLE.
bool IsShown(HWND hwnd);
// The top-level window that is or holds `hwnd`; null for a window that is gone.
HWND RootOf(HWND hwnd);
// Whether `hwnd` is `ancestor` or lies below it.
bool IsSelfOrDescendant(HWND ancestor, HWND hwnd);

// The desktop's state: the cursor, and the foreground window, which is the active window of
// the foreground thread (null while none has it, or the shell's taskbar does).
POINT& CursorPosition();
HWND ForegroundWindow();

// Makes `top` (a top-level window of the queue's thread, or null) that thread's active
// window: WM_ACTIVATE with WA_INACTIVE to the one active before, then with `how` (WA_ACTIVE,
// WA_CLICKACTIVE) to the new one; `other` stands for the window of another thread that the
// messages name. Runs on the queue's thread. Returns the window active before.
HWND ActivateInThread(ThreadQueue& queue, HWND top, WORD how, HWND other = nullptr);
// Makes the window's thread the foreground one with the window its active window; the thread
// that had the foreground is deactivated. A thread other than the caller's does its part when
// it runs its sent messages: the caller never waits for it.
void BringToForeground(HWND top, WORD how);
// Whether a process may set the foreground window now, by the rules SetForegroundWindow
// documents.
bool MayTakeForeground(uint32_t process_id);
// Activation asked for by SetWindowPos or ShowWindow (of a hidden window too): the
// foreground if the calling process
// may take it, else the window's taskbar button flashes and, from the window's own thread,
// it becomes that thread's active window.
void ActivateShown(HWND top);
// After the active window of its thread was hidden or before it is destroyed: activation goes
// to its owner, else to the next window in z-order that can take it, as Windows hands it on;
// the foreground too when the window had it.
void HandOnActivation(HWND hwnd);
// An input event of the user's that reached a window of this process (0: the shell's taskbar).
void NoteUserInput(uint32_t process_id);
// SPI_GETFOREGROUNDLOCKTIMEOUT: how long after the last input another process may take the
// foreground.
UINT& ForegroundLockTimeoutMs();

// Top-level windows front to back: the topmost band (WS_EX_TOPMOST) above the others. A new
// window enters at the top of its band.
std::vector<HWND> ZOrder();
// SetWindowPos's insert-after: HWND_TOP, HWND_BOTTOM, HWND_TOPMOST, HWND_NOTOPMOST or a window
// to go behind (within the band the moved window ends up in).
void PlaceInZOrder(HWND hwnd, HWND insert_after);

// TrackMouseEvent's request: one window of the desktop at a time.
struct MouseTracking {
    HWND hwnd = nullptr;
    bool leave = false;
    bool hover = false;
    Ticks hover_period = 0;
    Ticks hover_due = 0;
    POINT hover_origin = {0, 0};
};
MouseTracking& Tracking();
// The window the cursor's last move went to.
HWND& WindowUnderCursor();

// Calls the window's procedure, unless the calling thread is unwinding (then nothing of the
// program runs and the result is 0).
LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// The screen: its size and the taskbar along its bottom edge, which the work area leaves
// out. Set per machine (the scenario's `screen` command) before windows are made.
struct Screen {
    int width = 1280;
    int height = 800;
    int taskbar = 40;
    RECT WorkArea() const { return RECT{0, 0, width, height - taskbar}; }
};
Screen& TheScreen();

// Classic metrics at 96 dpi, for the frames and GetSystemMetrics alike.
constexpr int kCaptionHeight = 18;
constexpr int kBorderWidth = 1;
constexpr int kDialogFrameWidth = 3;
constexpr int kThickFrameWidth = 4;
constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;

// `ui` lines: what the user sees change. A top-level window is named by its title, else
// its class, lower case with blanks taken out; a child as its parent's name, '/', its id.
std::string UiName(const Window& window);
void LogUi(const Window& window, const std::string& what);
// "shown" or "moved" with the window's rectangle on the screen.
// A rectangle of one pixel or less is reported as "parked": a window kept out of sight that
// way rather than hidden.
void LogUiPlace(const Window& window, const char* what);
// The test surface's namer (SetUiNamer), empty for the default names.
UiNamer& TheUiNamer();
// Text that a bitmap copied onto the window brought with it; reported when it changes.
void NoteShownText(HWND hwnd, const std::string& text);

// The screen position of a window's client area's top-left corner.
POINT ClientOrigin(const Window& window);

// The frame around the client area that the styles give a window, in pixels.
RECT NonClientMargins(DWORD style, DWORD ex_style);

}  // namespace sim::win32::user32
