#include "win32/user32/window_table.h"

#include <algorithm>
#include <cctype>

#include <strings.h>

#include "pc/machine.h"
#include "win32/user32/controls.h"
#include "win32/user32/user32_control.h"

namespace sim::win32::user32 {
namespace {

// Window handles look like Windows' (small, even) and never come back within a run.
constexpr uintptr_t kFirstWindowHandle = 0x00010010;
constexpr ATOM kFirstClassAtom = 0xC000;

struct WindowManager {
    WindowManager();
    std::map<uintptr_t, std::unique_ptr<Window>> windows;  // by handle: creation order
    uintptr_t next_handle = kFirstWindowHandle;
    std::vector<std::unique_ptr<WindowClass>> classes;
    ATOM next_atom = kFirstClassAtom;
    POINT cursor = {0, 0};
    Screen screen;
    std::vector<HWND> z_order;  // top-level windows, front first
    MouseTracking tracking;
    HWND under_cursor = nullptr;
    UiNamer namer;
    std::vector<LeftWindow> left;
};

// The system's classes exist before any program registers one of its own.
WindowManager::WindowManager() {
    const WindowClass system_classes[] = {
        {0, "Button", ButtonWindowProc, 0, nullptr},
        {0, "Edit", EditWindowProc, 0, nullptr},
        {0, "Static", StaticWindowProc, 0, nullptr},
        {0, kDialogClass, DialogWindowProc, DLGWINDOWEXTRA, nullptr},
    };
    for (const WindowClass& system_class : system_classes) {
        classes.push_back(std::make_unique<WindowClass>(system_class));
        classes.back()->atom = next_atom++;
    }
}

WindowManager& Manager() {
    return Machine::Current().Extension<WindowManager>();
}

uintptr_t Key(HWND hwnd) {
    return reinterpret_cast<uintptr_t>(hwnd);
}

std::vector<HWND> Select(bool (*test)(const Window&, const void*), const void* what) {
    std::vector<HWND> found;
    for (const auto& [key, window] : Manager().windows) {
        if (test(*window, what)) {
            found.push_back(window->handle);
        }
    }
    return found;
}

}  // namespace

Window* FindWindowRecord(HWND hwnd) {
    WindowManager& manager = Manager();
    auto found = manager.windows.find(Key(hwnd));
    return found == manager.windows.end() ? nullptr : found->second.get();
}

Window* WindowOrError(HWND hwnd) {
    Window* window = FindWindowRecord(hwnd);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    }
    return window;
}

Window& AddWindow(std::unique_ptr<Window> window) {
    WindowManager& manager = Manager();
    window->handle = reinterpret_cast<HWND>(manager.next_handle);
    manager.next_handle += 2;
    Window& added = *window;
    manager.windows.emplace(Key(added.handle), std::move(window));
    if (!added.IsChildWindow()) {
        PlaceInZOrder(added.handle, HWND_TOP);
    }
    return added;
}

void RemoveWindow(HWND hwnd) {
    WindowManager& manager = Manager();
    manager.windows.erase(Key(hwnd));
    std::erase(manager.z_order, hwnd);
    if (manager.tracking.hwnd == hwnd) {
        manager.tracking = MouseTracking{};
    }
    if (manager.under_cursor == hwnd) {
        manager.under_cursor = nullptr;
    }
}

void RemoveWithEndedThread(HWND hwnd) {
    if (const Window* window = FindWindowRecord(hwnd)) {
        Manager().left.push_back({hwnd, window->window_class->name, window->text,
                                  window->thread != nullptr ? window->thread->name() : ""});
        RemoveWindow(hwnd);
    }
}

const std::vector<LeftWindow>& WindowsLeftByEndedThreads() {
    return Manager().left;
}

std::vector<HWND> AllWindows() {
    return Select([](const Window&, const void*) { return true; }, nullptr);
}

std::vector<HWND> ChildrenOf(HWND parent) {
    return Select([](const Window& w, const void* p) { return w.parent == p; }, parent);
}

std::vector<HWND> OwnedBy(HWND owner) {
    return Select([](const Window& w, const void* o) { return w.owner != nullptr && w.owner == o; },
                  owner);
}

std::vector<HWND> WindowsOfThread(const SimThread* thread) {
    return Select([](const Window& w, const void* t) { return w.thread == t; }, thread);
}

// Class names compare without regard to case, as Windows' atoms do; an atom is a name too.
const WindowClass* FindClass(LPCSTR name_or_atom) {
    for (const auto& window_class : Manager().classes) {
        if (IS_INTRESOURCE(name_or_atom)
                ? window_class->atom == LOWORD(reinterpret_cast<uintptr_t>(name_or_atom))
                : strcasecmp(window_class->name.c_str(), name_or_atom) == 0) {
            return window_class.get();
        }
    }
    return nullptr;
}

const WindowClass* AddClass(WindowClass window_class) {
    WindowManager& manager = Manager();
    window_class.atom = manager.next_atom++;
    manager.classes.push_back(std::make_unique<WindowClass>(std::move(window_class)));
    return manager.classes.back().get();
}

LRESULT CallWindowProcedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    Window* window = FindWindowRecord(hwnd);
    if (window == nullptr || window->proc == nullptr || CurrentScheduler().Unwinding()) {
        return 0;
    }
    return window->proc(hwnd, msg, wparam, lparam);
}

bool IsShown(HWND hwnd) {
    for (Window* window = FindWindowRecord(hwnd); window != nullptr;
         window = FindWindowRecord(window->parent)) {
        if ((window->style & WS_VISIBLE) == 0) {
            return false;
        }
        if (window->parent == nullptr) {
            return true;
        }
    }
    return false;
}

HWND RootOf(HWND hwnd) {
    Window* window = FindWindowRecord(hwnd);
    while (window != nullptr && window->IsChildWindow()) {
        window = FindWindowRecord(window->parent);
    }
    return window == nullptr ? nullptr : window->handle;
}

bool IsSelfOrDescendant(HWND ancestor, HWND hwnd) {
    for (Window* window = FindWindowRecord(hwnd); window != nullptr;
         window = FindWindowRecord(window->parent)) {
        if (window->handle == ancestor) {
            return true;
        }
    }
    return false;
}

POINT& CursorPosition() {
    return Manager().cursor;
}

Screen& TheScreen() {
    return Manager().screen;
}

std::vector<HWND> ZOrder() {
    return Manager().z_order;
}

void PlaceInZOrder(HWND hwnd, HWND insert_after) {
    std::vector<HWND>& order = Manager().z_order;
    Window* window = FindWindowRecord(hwnd);
    if (window == nullptr || window->IsChildWindow()) {
        return;
    }
    if (insert_after == HWND_TOPMOST) {
        window->ex_style |= WS_EX_TOPMOST;
    } else if (insert_after == HWND_NOTOPMOST) {
        window->ex_style &= ~WS_EX_TOPMOST;
    }
    std::erase(order, hwnd);
    bool topmost = (window->ex_style & WS_EX_TOPMOST) != 0;
    auto in_band = [topmost](HWND other) {
        const Window* record = FindWindowRecord(other);
        return record != nullptr && ((record->ex_style & WS_EX_TOPMOST) != 0) == topmost;
    };
    // The topmost band comes first, so the other band begins where it ends.
    auto band_begin = topmost ? order.begin() : std::find_if(order.begin(), order.end(), in_band);
    auto band_end = std::find_if_not(band_begin, order.end(), in_band);
    auto at = band_begin;
    if (insert_after == HWND_BOTTOM) {
        at = band_end;
    } else if (insert_after != HWND_TOP && insert_after != HWND_TOPMOST &&
               insert_after != HWND_NOTOPMOST) {
        auto behind = std::find(band_begin, band_end, insert_after);
        at = behind == band_end ? band_begin : behind + 1;
    }
    order.insert(at, hwnd);
}

MouseTracking& Tracking() {
    return Manager().tracking;
}

HWND& WindowUnderCursor() {
    return Manager().under_cursor;
}

std::string UiName(const Window& window) {
    if (const UiNamer& namer = Manager().namer) {
        const Window* owner = FindWindowRecord(window.owner);
        std::string name = namer(UiNaming{window.window_class->name, window.text,
                                          window.dialog ? window.dialog->template_id : 0,
                                          owner == nullptr ? "" : UiName(*owner)});
        if (!name.empty()) {
            return name;
        }
    }
    if (window.IsChildWindow()) {
        const Window* parent = FindWindowRecord(window.parent);
        return (parent == nullptr ? std::string("?") : UiName(*parent)) + "." +
               std::to_string(window.id);
    }
    std::string name;
    for (unsigned char c : window.text.empty() ? window.window_class->name : window.text) {
        if (c != ' ' && c != '\t') {
            name += static_cast<char>(std::tolower(c));
        }
    }
    return name;
}

void LogUi(const Window& window, const std::string& what) {
    Machine::Current().Log("ui", UiName(window) + " " + what);
}

void LogUiPlace(const Window& window, const char* what) {
    const RECT& r = window.rect;
    if (r.right - r.left <= 1 && r.bottom - r.top <= 1) {
        LogUi(window, "parked");
        return;
    }
    LogUi(window, std::string(what) + " x=" + std::to_string(r.left) +
                      " y=" + std::to_string(r.top) + " w=" + std::to_string(r.right - r.left) +
                      " h=" + std::to_string(r.bottom - r.top));
}

void NoteShownText(HWND hwnd, const std::string& text) {
    Window* window = FindWindowRecord(hwnd);
    if (window == nullptr || window->shown_text == text) {
        return;
    }
    window->shown_text = text;
    LogUi(*window, "text \"" + text + "\"");
}

UiNamer& TheUiNamer() {
    return Manager().namer;
}

RECT NonClientMargins(DWORD style, DWORD ex_style) {
    int frame = 0;
    if ((style & WS_THICKFRAME) != 0) {
        frame = kThickFrameWidth;
    } else if ((style & WS_DLGFRAME) != 0 || (ex_style & WS_EX_DLGMODALFRAME) != 0) {
        frame = kDialogFrameWidth;
    } else if ((style & WS_BORDER) != 0) {
        frame = kBorderWidth;
    }
    int caption = (style & WS_CAPTION) == WS_CAPTION ? kCaptionHeight : 0;
    return RECT{frame, frame + caption, frame, frame};
}

}  // namespace sim::win32::user32
