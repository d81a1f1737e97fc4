// DrawIconEx and DrawIcon: an icon's pixels from its RT_ICON image in the module that
// loaded it (a BMP with its mask, or a PNG), the entry of its group closest to the size.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include <png.h>

#include "win32/gdi32/gdi.h"
#include "win32/process/icon_handles.h"
#include "win32/process/process.h"

namespace sim::win32::gdi32 {
namespace {

constexpr uint16_t kIconType = 3;
constexpr uint16_t kGroupIconType = 14;

ResourceId IdFromText(const std::string& text) {
    bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return std::isdigit(c) != 0;
    });
    return digits ? ResourceId{static_cast<uint16_t>(std::stoi(text)), ""} : ResourceId{0, text};
}

bool Loaded(const Process& process, HICON icon) {
    for (const auto& [name, handle] : process.icons) {
        if (handle == reinterpret_cast<uintptr_t>(icon)) {
            return true;
        }
    }
    return false;
}

// The process whose LoadIconA made the handle: the caller's, else any started one.
const Process* LoaderOf(HICON icon) {
    if (Loaded(CurrentProcess(), icon)) {
        return &CurrentProcess();
    }
    for (const auto& process : StartedProcesses()) {
        if (Loaded(*process, icon)) {
            return process.get();
        }
    }
    return nullptr;
}

}  // namespace

std::optional<DecodedImage> DecodeIconImage(const uint8_t* data, size_t size) {
    static constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size < sizeof kPngSignature || !std::equal(kPngSignature, kPngSignature + 8, data)) {
        return DecodeDib(data, size, true);
    }
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, data, size) == 0 || image.width > 4096 ||
        image.height > 4096) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) == 0) {
        return std::nullopt;
    }
    int width = static_cast<int>(image.width), height = static_cast<int>(image.height);
    DecodedImage decoded{Surface(width, height), std::vector<uint8_t>(rgba.size() / 4)};
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            decoded.surface.Set(x, y, (p[0] << 16) | (p[1] << 8) | p[2]);
            decoded.alpha[static_cast<size_t>(y) * width + x] = p[3];
        }
    }
    return decoded;
}

std::optional<Surface> IconPixels(HICON icon, int size) {
    return IconPixelsOf(LoaderOf(icon), IconResourceId(icon), size);
}

std::optional<Surface> IconPixelsOf(const Process* process, const std::string& name, int size) {
    if (process == nullptr) {
        return std::nullopt;
    }
    const ResourceEntry* group = process->resources.Find({kGroupIconType, ""}, IdFromText(name));
    if (group == nullptr || group->data.size() < 6) {
        return std::nullopt;
    }
    const std::vector<uint8_t>& data = group->data;
    size_t count = data[4] | (data[5] << 8);
    // The entry of exactly the size, else the largest (scaled down).
    int best_width = -1;
    uint16_t best_id = 0;
    for (size_t i = 0; i < count && 6 + (i + 1) * 14 <= data.size(); i++) {
        const uint8_t* entry = data.data() + 6 + i * 14;
        int width = entry[0] == 0 ? 256 : entry[0];
        uint16_t id = static_cast<uint16_t>(entry[12] | (entry[13] << 8));
        if (best_width != size && (width == size || width > best_width)) {
            best_width = width;
            best_id = id;
        }
    }
    const ResourceEntry* image = process->resources.Find({kIconType, ""}, {best_id, ""});
    if (image == nullptr) {
        return std::nullopt;
    }
    std::optional<DecodedImage> decoded = DecodeIconImage(image->data.data(), image->data.size());
    if (!decoded) {
        return std::nullopt;
    }
    // The alpha travels in the top byte of each pixel for the caller to blend with.
    Surface scaled(size, size);
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            int sx = x * decoded->surface.width / size, sy = y * decoded->surface.height / size;
            uint32_t alpha = decoded->alpha[static_cast<size_t>(sy) * decoded->surface.width + sx];
            scaled.Set(x, y, decoded->surface.At(sx, sy) | (alpha << 24));
        }
    }
    return scaled;
}

}  // namespace sim::win32::gdi32

using namespace sim::win32::gdi32;

// Draws the icon blended by its alpha (or cut out by its mask) at the size, 0 meaning the
// icon's own 32 pixels (SM_CXICON) with DI_DEFAULTSIZE or without. The flicker-free brush
// and animated cursors' steps are not modelled; DI_MASK alone draws nothing.
BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT,
                       HBRUSH, UINT diFlags) {
    if (hdc == NULL || hIcon == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Target target = TargetOf(hdc);
    if (target.surface == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    int size = cxWidth > 0 ? cxWidth : (cyWidth > 0 ? cyWidth : GetSystemMetrics(SM_CXICON));
    std::optional<Surface> pixels = IconPixels(hIcon, size);
    if (!pixels || (diFlags & DI_IMAGE) == 0) {
        return TRUE;
    }
    for (int y = 0; y < pixels->height; y++) {
        for (int x = 0; x < pixels->width; x++) {
            uint32_t pixel = pixels->At(x, y);
            target.surface->Blend(xLeft + x + target.origin.x, yTop + y + target.origin.y,
                                  pixel & 0xFFFFFF, static_cast<int>(pixel >> 24));
        }
    }
    return TRUE;
}

// DrawIconEx at the icon's default size.
BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
    return DrawIconEx(hDC, X, Y, hIcon, 0, 0, 0, NULL, DI_NORMAL | DI_DEFAULTSIZE);
}
