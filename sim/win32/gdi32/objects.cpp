// The GDI object table and device contexts: SelectObject, DeleteObject, GetStockObject,
// CreateCompatibleDC, DeleteDC, GetDC and ReleaseDC.
#include <windows.h>

#include <algorithm>
#include <map>

#include "pc/machine.h"
#include "win32/gdi32/gdi.h"
#include "win32/process/process.h"
#include "win32/user32/dialog_template.h"
#include "win32/user32/window_table.h"

namespace sim::win32::gdi32 {
namespace {

constexpr uintptr_t kFirstObject = 0x0E000000;
// Window DCs are the window handle marked, as BeginPaint has always handed them out.
constexpr uintptr_t kWindowDcBase = 0x0D000000;

struct Table {
    Table();
    std::map<uintptr_t, Object> objects;
    std::map<uintptr_t, uint32_t> owner;  // the process that made the object
    std::map<uintptr_t, bool> stock;
    std::map<int, HGDIOBJ> stock_by_index;
    std::map<uintptr_t, Dc> window_dcs;
    std::map<HWND, Surface> window_surfaces;
    uintptr_t next = kFirstObject;
};

Table& Objects() {
    return Machine::Current().Extension<Table>();
}

// A terminated program had no chance to delete its objects, and Windows frees a process's
// GDI objects as it ends: they go. What a program that ended on its own did not delete stays
// counted, as its leak.
Table::Table() {
    AddProcessEndHook([](uint32_t process_id, bool terminated) {
        if (!terminated) {
            return;
        }
        Table& table = Objects();
        std::erase_if(table.owner, [&table, process_id](const auto& entry) {
            if (entry.second != process_id) {
                return false;
            }
            table.objects.erase(entry.first);
            return true;
        });
    });
}

}  // namespace

Surface::Surface(int w, int h, uint32_t fill)
    : width(std::max(w, 0)),
      height(std::max(h, 0)),
      pixels(static_cast<size_t>(width) * height, fill) {}

void Surface::Fill(const RECT& rect, uint32_t pixel) {
    int left = std::max<int>(rect.left, 0), right = std::min<int>(rect.right, width);
    int top = std::max<int>(rect.top, 0), bottom = std::min<int>(rect.bottom, height);
    if (left == 0 && top == 0 && right == width && bottom == height) {
        text.clear();
    }
    for (int y = top; y < bottom; y++) {
        std::fill_n(pixels.begin() + static_cast<ptrdiff_t>(y) * width + left,
                    std::max(right - left, 0), pixel);
    }
}

void Surface::Blend(int x, int y, uint32_t pixel, int alpha) {
    if (!Contains(x, y) || alpha <= 0) {
        return;
    }
    uint32_t under = At(x, y);
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = (pixel >> shift) & 0xFF, b = (under >> shift) & 0xFF;
        out |= static_cast<uint32_t>((a * alpha + b * (255 - alpha) + 127) / 255) << shift;
    }
    Set(x, y, out);
}

void Surface::Draw(const Surface& source, int x, int y) {
    for (int row = 0; row < source.height; row++) {
        for (int column = 0; column < source.width; column++) {
            Set(x + column, y + row, source.At(column, row));
        }
    }
}

uint32_t PixelFromColor(COLORREF color) {
    return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

COLORREF ColorFromPixel(uint32_t pixel) {
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

HGDIOBJ AddObject(Object object, bool stock) {
    Table& table = Objects();
    uintptr_t handle = table.next;
    table.next += 4;
    table.objects.emplace(handle, std::move(object));
    if (stock) {
        table.stock[handle] = true;
    } else {
        table.owner[handle] = CurrentProcess().id();
    }
    return reinterpret_cast<HGDIOBJ>(handle);
}

Object* FindObject(HGDIOBJ handle) {
    Table& table = Objects();
    auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return found == table.objects.end() ? nullptr : &found->second;
}

bool IsStock(HGDIOBJ handle) {
    return Objects().stock.count(reinterpret_cast<uintptr_t>(handle)) != 0;
}

bool RemoveObject(HGDIOBJ handle) {
    Objects().owner.erase(reinterpret_cast<uintptr_t>(handle));
    return Objects().objects.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

HGDIOBJ StockObject(int index) {
    Table& table = Objects();
    if (auto found = table.stock_by_index.find(index); found != table.stock_by_index.end()) {
        return found->second;
    }
    Object object;
    switch (index) {
        case WHITE_BRUSH:
            object = Brush{RGB(255, 255, 255)};
            break;
        case LTGRAY_BRUSH:
            object = Brush{RGB(192, 192, 192)};
            break;
        case GRAY_BRUSH:
            object = Brush{RGB(128, 128, 128)};
            break;
        case DKGRAY_BRUSH:
            object = Brush{RGB(64, 64, 64)};
            break;
        case BLACK_BRUSH:
            object = Brush{RGB(0, 0, 0)};
            break;
        case NULL_BRUSH:
            object = Brush{0, true};
            break;
        case SYSTEM_FONT:
            object = Font{FontRequest{"System", 16, FW_BOLD, false}};
            break;
        case DEFAULT_GUI_FONT:
            object = Font{DialogFontRequest("MS Shell Dlg", 8, FW_NORMAL, false)};
            break;
        case kFirstBitmap:
            object = Bitmap{Surface(1, 1, 0)};
            break;
        case kCaptionFont:
            object = Font{DialogFontRequest("MS Shell Dlg", 8, FW_BOLD, false)};
            break;
        default:
            return nullptr;
    }
    HGDIOBJ handle = AddObject(std::move(object), true);
    table.stock_by_index[index] = handle;
    return handle;
}

HDC WindowDc(HWND hwnd) {
    uintptr_t handle = kWindowDcBase | reinterpret_cast<uintptr_t>(hwnd);
    Objects().window_dcs[handle] = Dc{hwnd};
    return reinterpret_cast<HDC>(handle);
}

Dc* FindDc(HDC hdc) {
    Table& table = Objects();
    if (auto found = table.window_dcs.find(reinterpret_cast<uintptr_t>(hdc));
        found != table.window_dcs.end()) {
        return user32::FindWindowRecord(found->second.window) != nullptr ? &found->second : nullptr;
    }
    return Find<Dc>(reinterpret_cast<HGDIOBJ>(hdc));
}

Surface& WindowSurface(HWND hwnd) {
    Surface& surface = Objects().window_surfaces[hwnd];
    const user32::Window* window = user32::FindWindowRecord(hwnd);
    int width = window == nullptr ? 0 : window->rect.right - window->rect.left;
    int height = window == nullptr ? 0 : window->rect.bottom - window->rect.top;
    if (surface.width != width || surface.height != height) {
        surface = Surface(width, height, 0xFFFFFF);
    }
    return surface;
}

Target TargetOf(HDC hdc) {
    Dc* dc = FindDc(hdc);
    if (dc == nullptr) {
        return {};
    }
    if (dc->window != nullptr) {
        const user32::Window* window = user32::FindWindowRecord(dc->window);
        RECT margins = user32::NonClientMargins(window->style, window->ex_style);
        return {&WindowSurface(dc->window), POINT{margins.left, margins.top}};
    }
    Bitmap* bitmap = Find<Bitmap>(dc->bitmap);
    return {bitmap == nullptr ? nullptr : &bitmap->surface, POINT{0, 0}};
}

size_t OutstandingObjects() {
    Table& table = Objects();
    return table.objects.size() - table.stock.size();
}

}  // namespace sim::win32::gdi32

using namespace sim::win32::gdi32;

// A memory DC with the stock 1x1 bitmap, the system font and the white brush selected,
// whatever DC it is made compatible with (every DC here is 32 bits a pixel).
HDC WINAPI CreateCompatibleDC(HDC) {
    Dc dc;
    dc.bitmap = static_cast<HBITMAP>(StockObject(kFirstBitmap));
    dc.brush = static_cast<HBRUSH>(StockObject(WHITE_BRUSH));
    return reinterpret_cast<HDC>(AddObject(dc));
}

// Deletes a memory DC; the objects selected into it stay (the caller deletes them).
BOOL WINAPI DeleteDC(HDC hdc) {
    if (Find<Dc>(reinterpret_cast<HGDIOBJ>(hdc)) == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return RemoveObject(reinterpret_cast<HGDIOBJ>(hdc)) ? TRUE : FALSE;
}

// Selects a bitmap (memory DCs only), font or brush and returns the one it replaces. A
// bitmap already selected into another DC is not refused; regions and pens are not modelled.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    Dc* dc = FindDc(hdc);
    Object* object = FindObject(h);
    if (dc == nullptr) {
        return NULL;
    }
    // The fonts the dialog manager made for templates are fonts too (WM_GETFONT's).
    if (object == nullptr && sim::win32::user32::FontFromHandle(static_cast<HFONT>(h)) != nullptr) {
        HGDIOBJ previous = dc->font != nullptr ? dc->font : StockObject(SYSTEM_FONT);
        dc->font = static_cast<HFONT>(h);
        return previous;
    }
    if (object == nullptr) {
        return NULL;
    }
    HGDIOBJ previous = NULL;
    if (std::holds_alternative<Bitmap>(*object)) {
        if (dc->window != nullptr) {
            return NULL;
        }
        previous = dc->bitmap;
        dc->bitmap = static_cast<HBITMAP>(h);
    } else if (std::holds_alternative<Font>(*object)) {
        previous = dc->font != nullptr ? dc->font : StockObject(SYSTEM_FONT);
        dc->font = static_cast<HFONT>(h);
    } else if (std::holds_alternative<Brush>(*object)) {
        previous = dc->brush != nullptr ? dc->brush : StockObject(WHITE_BRUSH);
        dc->brush = static_cast<HBRUSH>(h);
    }
    return previous;
}

// Deletes a font, brush or bitmap; stock objects stay and the call still succeeds. DCs
// are DeleteDC's. Deleting an object still selected into a DC is not refused.
BOOL WINAPI DeleteObject(HGDIOBJ ho) {
    Object* object = FindObject(ho);
    if (object == nullptr || std::holds_alternative<Dc>(*object)) {
        return FALSE;
    }
    return IsStock(ho) ? TRUE : (RemoveObject(ho) ? TRUE : FALSE);
}

// The stock brushes and fonts; others (pens, palettes) are not modelled and give NULL.
HGDIOBJ WINAPI GetStockObject(int i) {
    return i < 0 ? NULL : StockObject(i);
}

// The window's device context with default attributes; NULL for the screen's, which
// nothing here draws on.
HDC WINAPI GetDC(HWND hWnd) {
    if (hWnd == NULL || sim::win32::user32::WindowOrError(hWnd) == nullptr) {
        return NULL;
    }
    return WindowDc(hWnd);
}

// Window DCs are not a scarce resource here: releasing one is always accepted.
int WINAPI ReleaseDC(HWND, HDC hDC) {
    return FindDc(hDC) != nullptr ? 1 : 0;
}
