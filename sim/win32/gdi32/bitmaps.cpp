// Bitmaps and brushes: CreateCompatibleBitmap, CreateBitmap, LoadBitmapA, GetPixel, BitBlt,
// CreateSolidBrush, GetSysColor, GetSysColorBrush and FillRect. Every bitmap holds 32-bit
// pixels, whatever depth it was asked for.
#include <windows.h>

#include <cstring>
#include <map>

#include "pc/machine.h"
#include "win32/gdi32/gdi.h"
#include "win32/process/resource_ids.h"
#include "win32/user32/window_table.h"

namespace sim::win32::gdi32 {
namespace {

uint32_t Read32(const uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

uint16_t Read16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

// The classic scheme's colours, as a fresh Windows 2000-style desktop has them.
COLORREF SystemColor(int index) {
    switch (index) {
        case COLOR_BACKGROUND:
            return RGB(58, 110, 165);
        case COLOR_ACTIVECAPTION:
            return RGB(10, 36, 106);
        case COLOR_INACTIVECAPTION:
            return RGB(128, 128, 128);
        case COLOR_MENU:
            return RGB(212, 208, 200);
        case COLOR_WINDOW:
            return RGB(255, 255, 255);
        case COLOR_WINDOWFRAME:
            return RGB(0, 0, 0);
        case COLOR_MENUTEXT:
            return RGB(0, 0, 0);
        case COLOR_WINDOWTEXT:
            return RGB(0, 0, 0);
        case COLOR_CAPTIONTEXT:
            return RGB(255, 255, 255);
        case COLOR_HIGHLIGHT:
            return RGB(10, 36, 106);
        case COLOR_HIGHLIGHTTEXT:
            return RGB(255, 255, 255);
        case COLOR_BTNFACE:
            return RGB(212, 208, 200);
        case COLOR_BTNSHADOW:
            return RGB(128, 128, 128);
        case COLOR_GRAYTEXT:
            return RGB(128, 128, 128);
        case COLOR_BTNTEXT:
            return RGB(0, 0, 0);
        case COLOR_BTNHIGHLIGHT:
            return RGB(255, 255, 255);
        case COLOR_INFOTEXT:
            return RGB(0, 0, 0);
        case COLOR_INFOBK:
            return RGB(255, 255, 225);
        default:
            return RGB(192, 192, 192);
    }
}

struct SystemBrushes {
    std::map<int, HBRUSH> brushes;
};

}  // namespace

std::optional<DecodedImage> DecodeDib(const uint8_t* data, size_t size, bool icon_mask) {
    if (size < 40 || Read32(data) < 40) {
        return std::nullopt;
    }
    uint32_t header = Read32(data);
    int width = static_cast<int32_t>(Read32(data + 4));
    int height = static_cast<int32_t>(Read32(data + 8));
    int bits = Read16(data + 14);
    uint32_t compression = Read32(data + 16);
    uint32_t colours = Read32(data + 32);
    bool top_down = height < 0;
    height = top_down ? -height : height;
    if (icon_mask) {
        height /= 2;
    }
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096 || compression != 0 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)) {
        return std::nullopt;
    }
    size_t palette_size = bits <= 8 ? (colours != 0 ? colours : (1u << bits)) : 0;
    size_t stride = ((static_cast<size_t>(width) * bits + 31) / 32) * 4;
    size_t mask_stride = ((static_cast<size_t>(width) + 31) / 32) * 4;
    size_t pixels_at = header + palette_size * 4;
    size_t needed = pixels_at + stride * height + (icon_mask ? mask_stride * height : 0);
    if (needed > size) {
        return std::nullopt;
    }
    const uint8_t* palette = data + header;
    DecodedImage image{Surface(width, height),
                       std::vector<uint8_t>(static_cast<size_t>(width) * height, 255)};
    bool any_alpha = false;
    for (int row = 0; row < height; row++) {
        const uint8_t* line = data + pixels_at + stride * row;
        int y = top_down ? row : height - 1 - row;
        for (int x = 0; x < width; x++) {
            uint32_t pixel = 0;
            uint8_t alpha = 255;
            if (bits == 32) {
                const uint8_t* p = line + x * 4;
                pixel = (p[2] << 16) | (p[1] << 8) | p[0];
                alpha = p[3];
                any_alpha = any_alpha || alpha != 0;
            } else if (bits == 24) {
                const uint8_t* p = line + x * 3;
                pixel = (p[2] << 16) | (p[1] << 8) | p[0];
            } else {
                int per_byte = 8 / bits;
                int shift = (per_byte - 1 - x % per_byte) * bits;
                size_t index = (line[x / per_byte] >> shift) & ((1 << bits) - 1);
                if (index < palette_size) {
                    const uint8_t* p = palette + index * 4;
                    pixel = (p[2] << 16) | (p[1] << 8) | p[0];
                }
            }
            image.surface.Set(x, y, pixel);
            image.alpha[static_cast<size_t>(y) * width + x] = alpha;
        }
    }
    // Icons without an alpha channel are cut out by their AND mask (1: transparent).
    if (icon_mask && (bits != 32 || !any_alpha)) {
        const uint8_t* mask = data + pixels_at + stride * height;
        for (int row = 0; row < height; row++) {
            int y = top_down ? row : height - 1 - row;
            for (int x = 0; x < width; x++) {
                bool clear = (mask[mask_stride * row + x / 8] >> (7 - x % 8)) & 1;
                image.alpha[static_cast<size_t>(y) * width + x] = clear ? 0 : 255;
            }
        }
    }
    return image;
}

}  // namespace sim::win32::gdi32

using namespace sim::win32::gdi32;

// A bitmap of the size, black, in the simulated screen's 32-bit format.
HBITMAP WINAPI CreateCompatibleBitmap(HDC, int cx, int cy) {
    if (cx < 0 || cy < 0) {
        return NULL;
    }
    return static_cast<HBITMAP>(AddObject(Bitmap{Surface(cx, cy, 0)}));
}

// A bitmap from 1-bit or 32-bit rows (each row WORD-aligned, as CreateBitmap takes them);
// other depths are held as 32-bit too, their initial bits ignored.
HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const void* lpBits) {
    if (nWidth < 0 || nHeight < 0 || nPlanes != 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    Bitmap bitmap{Surface(nWidth, nHeight, 0)};
    const auto* bits = static_cast<const uint8_t*>(lpBits);
    if (bits != nullptr && (nBitCount == 1 || nBitCount == 32)) {
        size_t stride = ((static_cast<size_t>(nWidth) * nBitCount + 15) / 16) * 2;
        for (int y = 0; y < nHeight; y++) {
            const uint8_t* row = bits + stride * y;
            for (int x = 0; x < nWidth; x++) {
                uint32_t pixel = nBitCount == 32 ? (Read32(row + x * 4) & 0xFFFFFF)
                                 : ((row[x / 8] >> (7 - x % 8)) & 1) != 0 ? 0xFFFFFF
                                                                          : 0;
                bitmap.surface.Set(x, y, pixel);
            }
        }
    }
    return static_cast<HBITMAP>(AddObject(std::move(bitmap)));
}

// The module's RT_BITMAP resource as a new bitmap the caller deletes. The system's OBM_
// bitmaps (NULL instance) are not modelled.
HBITMAP WINAPI LoadBitmapA(HINSTANCE hInstance, LPCSTR lpBitmapName) {
    sim::win32::Process* process =
        hInstance == NULL ? nullptr : sim::win32::ProcessOfModule(hInstance);
    if (process == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    const sim::win32::ResourceEntry* entry =
        process->resources.Find({2, ""}, sim::win32::ResourceIdFromArgument(lpBitmapName));
    if (entry == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    std::optional<DecodedImage> image = DecodeDib(entry->data.data(), entry->data.size(), false);
    if (!image) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return NULL;
    }
    return static_cast<HBITMAP>(AddObject(Bitmap{std::move(image->surface)}));
}

// A bitmap's BITMAP record (32 bits a pixel, no bits pointer: the pixels are GDI's); with a
// null buffer the size the record needs. Other objects are not modelled and answer 0.
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    const Bitmap* bitmap = Find<Bitmap>(static_cast<HGDIOBJ>(h));
    if (bitmap == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (pv == NULL) {
        return static_cast<int>(sizeof(BITMAP));
    }
    if (c < static_cast<int>(sizeof(BITMAP))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    BITMAP record = {
        0, bitmap->surface.width, bitmap->surface.height, bitmap->surface.width * 4, 1, 32, NULL};
    *static_cast<BITMAP*>(pv) = record;
    return static_cast<int>(sizeof(BITMAP));
}

// The pixel's colour; CLR_INVALID outside the DC's surface (clipping regions are not
// modelled).
COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    Target target = TargetOf(hdc);
    x += target.origin.x;
    y += target.origin.y;
    if (target.surface == nullptr || !target.surface->Contains(x, y)) {
        return CLR_INVALID;
    }
    return ColorFromPixel(target.surface->At(x, y));
}

// Copies a rectangle between DCs, clipped to both surfaces; only SRCCOPY is modelled.
BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    Target to = TargetOf(hdc);
    Target from = TargetOf(hdcSrc);
    if (to.surface == nullptr || from.surface == nullptr || rop != SRCCOPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Through a copy, so that overlapping copies within one surface read the old pixels.
    Surface source = *from.surface;
    for (int row = 0; row < cy; row++) {
        for (int column = 0; column < cx; column++) {
            int sx = x1 + column + from.origin.x, sy = y1 + row + from.origin.y;
            if (source.Contains(sx, sy)) {
                to.surface->Set(x + column + to.origin.x, y + row + to.origin.y, source.At(sx, sy));
            }
        }
    }
    to.surface->text = source.text;
    if (const Dc* dc = FindDc(hdc); dc != nullptr && dc->window != nullptr) {
        sim::win32::user32::NoteShownText(dc->window, source.text);
    }
    return TRUE;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    return static_cast<HBRUSH>(AddObject(Brush{color & 0xFFFFFF}));
}

DWORD WINAPI GetSysColor(int nIndex) {
    return SystemColor(nIndex);
}

// The system's brush of the colour: made once, never counted, never deleted.
HBRUSH WINAPI GetSysColorBrush(int nIndex) {
    auto& brushes = sim::Machine::Current().Extension<SystemBrushes>().brushes;
    auto [entry, made] = brushes.try_emplace(nIndex, nullptr);
    if (made) {
        entry->second = static_cast<HBRUSH>(AddObject(Brush{SystemColor(nIndex)}, true));
    }
    return entry->second;
}

// Fills the rectangle (right and bottom edges excluded) with the brush; a brush handle may
// also be a system colour index plus one, as window classes give it.
int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    Target target = TargetOf(hDC);
    uintptr_t value = reinterpret_cast<uintptr_t>(hbr);
    const Brush* brush = Find<Brush>(hbr);
    if (target.surface == nullptr || lprc == nullptr ||
        (brush == nullptr && (value == 0 || value > 31))) {
        return 0;
    }
    COLORREF color = brush != nullptr ? brush->color : SystemColor(static_cast<int>(value) - 1);
    if (brush != nullptr && brush->hollow) {
        return 1;
    }
    RECT rect = {lprc->left + target.origin.x, lprc->top + target.origin.y,
                 lprc->right + target.origin.x, lprc->bottom + target.origin.y};
    target.surface->Fill(rect, PixelFromColor(color));
    return 1;
}
