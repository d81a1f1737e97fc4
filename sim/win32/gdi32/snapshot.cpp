// The simulated screen as a picture: the desktop, the taskbar and tray, and the windows.
// Top-level windows are stacked in their z-order; overlapping children are drawn over their
// parent in creation order (the children's own z-order is not modelled).
#include "win32/gdi32/screen_control.h"

#include "win32/gdi32/gdi.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "win32/process/process.h"
#include "win32/shell32/tray_control.h"
#include "win32/user32/controls.h"
#include "win32/user32/menu_table.h"
#include "win32/user32/window_table.h"

namespace sim::win32::gdi32 {
namespace {

using user32::Window;

constexpr int kTrayIconSize = 16;
constexpr int kTrayIconGap = 4;

// Text in the window's font (a dialog's WM_SETFONT one, else the GUI font).
void UseWindowFont(HDC dc, const Window& window, COLORREF color) {
    Dc* state = FindDc(dc);
    state->font =
        window.font != nullptr ? window.font : static_cast<HFONT>(StockObject(DEFAULT_GUI_FONT));
    state->text_color = color;
    state->bk_mode = TRANSPARENT;
}

void Text(HDC dc, const Window& window, const std::string& text, RECT rect, UINT format,
          COLORREF color) {
    UseWindowFont(dc, window, color);
    DrawTextA(dc, text.c_str(), -1, &rect, format);
}

// The frame and caption that the window manager draws around the client area.
void DrawNonClient(const Window& window, Surface& surface) {
    RECT margins = user32::NonClientMargins(window.style, window.ex_style);
    RECT all = {0, 0, surface.width, surface.height};
    surface.Fill(all, SystemPixel(COLOR_BTNFACE));
    if (margins.left > 0) {
        OutlineRect(surface, all, SystemPixel(COLOR_WINDOWFRAME));
    }
    if ((window.style & WS_CAPTION) == WS_CAPTION) {
        RECT caption = {margins.left, margins.left, surface.width - margins.right, margins.top - 1};
        surface.Fill(caption, SystemPixel(COLOR_ACTIVECAPTION));
        HDC dc = WindowDc(window.handle);
        // The caption lies outside the client area, where the window DC starts.
        RECT text = {caption.left + 4 - margins.left, caption.top - margins.top,
                     caption.right - margins.left, caption.bottom - margins.top};
        Dc* state = FindDc(dc);
        state->font = static_cast<HFONT>(StockObject(kCaptionFont));
        state->text_color = GetSysColor(COLOR_CAPTIONTEXT);
        state->bk_mode = TRANSPARENT;
        DrawTextA(dc, window.text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    }
}

// The standard controls, drawn as the classic theme draws them; false for other classes.
bool DrawControl(const Window& window, Surface& surface) {
    const std::string& name = window.window_class->name;
    HDC dc = WindowDc(window.handle);
    RECT client = {0, 0, surface.width, surface.height};
    bool enabled = (window.style & WS_DISABLED) == 0;
    COLORREF text = GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
    if (name == "Button") {
        DWORD type = window.style & BS_TYPEMASK;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
            surface.Fill(client, SystemPixel(COLOR_BTNFACE));
            int top = (surface.height - 13) / 2;
            RECT box = {0, top, 13, top + 13};
            surface.Fill(box, SystemPixel(COLOR_WINDOW));
            OutlineRect(surface, box, SystemPixel(COLOR_BTNSHADOW));
            if (window.check == BST_CHECKED) {
                surface.Fill(RECT{3, top + 3, 10, top + 10}, PixelFromColor(text));
            }
            Text(dc, window, window.text, RECT{17, 0, client.right, client.bottom},
                 DT_SINGLELINE | DT_VCENTER, text);
        } else {
            surface.Fill(client, SystemPixel(COLOR_BTNFACE));
            OutlineRect(
                surface, client,
                SystemPixel(type == BS_DEFPUSHBUTTON ? COLOR_WINDOWFRAME : COLOR_BTNSHADOW));
            if ((window.style & BS_MULTILINE) != 0) {
                // Wrapped lines, centred as a block.
                RECT measured = {2, 0, client.right - 2, 0};
                UseWindowFont(dc, window, text);
                DrawTextA(dc, window.text.c_str(), -1, &measured,
                          DT_WORDBREAK | DT_CENTER | DT_CALCRECT);
                int top = (client.bottom - measured.bottom) / 2;
                Text(dc, window, window.text, RECT{2, top, client.right - 2, client.bottom},
                     DT_WORDBREAK | DT_CENTER, text);
            } else {
                Text(dc, window, window.text, client, DT_SINGLELINE | DT_VCENTER | DT_CENTER, text);
            }
        }
        return true;
    }
    if (name == "Static") {
        surface.Fill(client, SystemPixel(COLOR_BTNFACE));
        if ((window.style & SS_TYPEMASK) == SS_ICON) {
            if (window.static_icon != nullptr) {
                DrawIconEx(dc, 0, 0, window.static_icon, 0, 0, 0, NULL, DI_NORMAL);
            }
        } else {
            UINT align = (window.style & SS_TYPEMASK) == 1   ? DT_CENTER
                         : (window.style & SS_TYPEMASK) == 2 ? DT_RIGHT
                                                             : DT_LEFT;
            Text(dc, window, window.text, client, DT_WORDBREAK | align, text);
        }
        return true;
    }
    if (name == "Edit") {
        surface.Fill(client, SystemPixel(enabled ? COLOR_WINDOW : COLOR_BTNFACE));
        OutlineRect(surface, client, SystemPixel(COLOR_BTNSHADOW));
        Text(dc, window, window.text, RECT{3, 0, client.right - 3, client.bottom},
             DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, GetSysColor(COLOR_WINDOWTEXT));
        return true;
    }
    return false;
}

// The window's surface as it looks now; then its visible children over it.
void DrawWindow(HWND hwnd, Surface& screen, POINT at) {
    Window* window = user32::FindWindowRecord(hwnd);
    if (window == nullptr || (window->style & WS_VISIBLE) == 0) {
        return;
    }
    Surface& surface = WindowSurface(hwnd);
    if (!DrawControl(*window, surface)) {
        DrawNonClient(*window, surface);
        RECT margins = user32::NonClientMargins(window->style, window->ex_style);
        bool dialog = window->window_class->name == user32::kDialogClass;
        surface.Fill(RECT{margins.left, margins.top, surface.width - margins.right,
                          surface.height - margins.bottom},
                     SystemPixel(dialog ? COLOR_BTNFACE : COLOR_WINDOW));
        HDC dc = WindowDc(hwnd);
        SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        if (user32::FindWindowRecord(hwnd) == nullptr) {
            return;
        }
        SendMessageA(hwnd, WM_PAINT, 0, 0);
        window = user32::FindWindowRecord(hwnd);
        if (window == nullptr) {
            return;
        }
    }
    screen.Draw(WindowSurface(hwnd), at.x, at.y);
    RECT margins = user32::NonClientMargins(window->style, window->ex_style);
    for (HWND child : user32::ChildrenOf(hwnd)) {
        if (const Window* record = user32::FindWindowRecord(child)) {
            DrawWindow(child, screen,
                       POINT{at.x + margins.left + record->rect.left,
                             at.y + margins.top + record->rect.top});
        }
    }
}

// How far an animated window's picture still lies off its place: a slide enters from the
// side its direction names, in proportion to the time gone.
POINT AnimationShift(const Window& window, int width, int height) {
    Ticks gone = CurrentScheduler().Now() - window.animation_start;
    double left = 1.0 - std::min(1.0, static_cast<double>(gone) / window.animation_length);
    DWORD flags = window.animation_flags;
    int dx = static_cast<int>(width * left), dy = static_cast<int>(height * left);
    return POINT{(flags & AW_HOR_POSITIVE) != 0   ? -dx
                 : (flags & AW_HOR_NEGATIVE) != 0 ? dx
                                                  : 0,
                 (flags & AW_VER_POSITIVE) != 0   ? -dy
                 : (flags & AW_VER_NEGATIVE) != 0 ? dy
                                                  : 0};
}

// Draws the taskbar and its tray icons; returns where each icon went.
std::vector<POINT> DrawTaskbar(Surface& screen) {
    const user32::Screen& shape = user32::TheScreen();
    std::vector<POINT> corners;
    if (shape.taskbar <= 0) {
        return corners;
    }
    RECT bar = {0, shape.height - shape.taskbar, shape.width, shape.height};
    screen.Fill(bar, SystemPixel(COLOR_BTNFACE));
    screen.Fill(RECT{bar.left, bar.top, bar.right, bar.top + 1}, SystemPixel(COLOR_BTNHIGHLIGHT));
    std::vector<TrayIcon> icons = TrayIcons();
    int x = shape.width - kTrayIconGap -
            static_cast<int>(icons.size()) * (kTrayIconSize + kTrayIconGap);
    int y = bar.top + (shape.taskbar - kTrayIconSize) / 2;
    for (const TrayIcon& icon : icons) {
        corners.push_back(POINT{x, y});
        const Window* owner = user32::FindWindowRecord(icon.window);
        const Process* process =
            owner == nullptr ? nullptr
                             : ProcessOfInstance(reinterpret_cast<uintptr_t>(owner->instance));
        if (std::optional<Surface> pixels = IconPixelsOf(process, icon.icon, kTrayIconSize)) {
            for (int row = 0; row < pixels->height; row++) {
                for (int column = 0; column < pixels->width; column++) {
                    uint32_t pixel = pixels->At(column, row);
                    screen.Blend(x + column, y + row, pixel & 0xFFFFFF,
                                 static_cast<int>(pixel >> 24));
                }
            }
        }
        x += kTrayIconSize + kTrayIconGap;
    }
    return corners;
}

}  // namespace

uint32_t SystemPixel(int index) {
    return PixelFromColor(GetSysColor(index));
}

void OutlineRect(Surface& surface, const RECT& rect, uint32_t pixel) {
    surface.Fill(RECT{rect.left, rect.top, rect.right, rect.top + 1}, pixel);
    surface.Fill(RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}, pixel);
    surface.Fill(RECT{rect.left, rect.top, rect.left + 1, rect.bottom}, pixel);
    surface.Fill(RECT{rect.right - 1, rect.top, rect.right, rect.bottom}, pixel);
}

Surface RenderScreen() {
    const user32::Screen& shape = user32::TheScreen();
    Surface screen(shape.width, shape.height, SystemPixel(COLOR_DESKTOP));
    // The taskbar is a topmost window older than any program's: above the other windows,
    // below the topmost ones.
    std::vector<HWND> order = user32::ZOrder();
    bool taskbar_drawn = false;
    std::vector<POINT> icon_corners;
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const Window* window = user32::FindWindowRecord(*it);
        if (window == nullptr) {
            continue;
        }
        if (!taskbar_drawn && (window->ex_style & WS_EX_TOPMOST) != 0) {
            icon_corners = DrawTaskbar(screen);
            taskbar_drawn = true;
        }
        if (window->animation_length == 0) {
            DrawWindow(*it, screen, POINT{window->rect.left, window->rect.top});
            continue;
        }
        RECT rect = window->rect;
        Surface alone(rect.right - rect.left, rect.bottom - rect.top, SystemPixel(COLOR_DESKTOP));
        POINT shift = AnimationShift(*window, alone.width, alone.height);
        DrawWindow(*it, alone, POINT{0, 0});
        for (int y = 0; y < alone.height; y++) {
            for (int x = 0; x < alone.width; x++) {
                int from_x = x - shift.x, from_y = y - shift.y;
                if (alone.Contains(from_x, from_y)) {
                    screen.Set(rect.left + x, rect.top + y, alone.At(from_x, from_y));
                }
            }
        }
    }
    if (!taskbar_drawn) {
        icon_corners = DrawTaskbar(screen);
    }
    DrawBalloons(screen, icon_corners);
    DrawOpenMenu(screen);
    return screen;
}

}  // namespace sim::win32::gdi32

namespace sim::win32 {

void SetScreen(int width, int height, int taskbar) {
    user32::TheScreen() = {width, height, taskbar};
}

size_t OutstandingUserWindows() {
    return user32::AllWindows().size() + user32::WindowsLeftByEndedThreads().size();
}

size_t OutstandingGdiObjects() {
    return gdi32::OutstandingObjects();
}

size_t OutstandingUserMenus() {
    return user32::MenuCount();
}

bool SaveSnapshot(const std::string& path, std::string* error) {
    gdi32::Surface screen = gdi32::RenderScreen();
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) {
        *error = "cannot write " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        *error = "cannot encode " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(screen.width),
                 static_cast<png_uint_32>(screen.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<png_byte> row(static_cast<size_t>(screen.width) * 3);
    for (int y = 0; y < screen.height; y++) {
        for (int x = 0; x < screen.width; x++) {
            uint32_t pixel = screen.At(x, y);
            row[x * 3] = static_cast<png_byte>(pixel >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(pixel >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(pixel);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace sim::win32
