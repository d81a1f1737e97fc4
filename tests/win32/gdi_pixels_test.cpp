// Pixels through GDI: FillRect, BitBlt, text colours, icons decoded from .ico images, the
// object count, and the screen's work area.
#include <windows.h>

#include <gtest/gtest.h>
#include <png.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "pc/machine.h"
#include "win32/gdi32/gdi.h"
#include "win32/process/process.h"
#include "win32/process/program_images.h"
#include "win32/user32/window_table.h"

namespace gdi_test {
namespace {

using sim::win32::gdi32::OutstandingObjects;

// A memory DC holding a new bitmap of the size; both deleted with it.
struct Canvas {
    Canvas(int width, int height)
        : dc(CreateCompatibleDC(NULL)), bitmap(CreateCompatibleBitmap(dc, width, height)) {
        old = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ old;
};

TEST(GdiPixels, FillRectExcludesTheRightAndBottomEdges) {
    sim::Machine machine(1);
    Canvas canvas(8, 8);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT rect = {2, 2, 5, 4};
    EXPECT_EQ(FillRect(canvas.dc, &rect, red), 1);
    EXPECT_EQ(GetPixel(canvas.dc, 2, 2), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 4, 3), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 5, 3), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 4, 4), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(canvas.dc, 8, 0), CLR_INVALID);
    // A system colour index plus one is a brush too, as window classes use it.
    RECT all = {0, 0, 8, 8};
    FillRect(canvas.dc, &all, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    EXPECT_EQ(GetPixel(canvas.dc, 0, 0), GetSysColor(COLOR_WINDOW));
    DeleteObject(red);
}

TEST(GdiPixels, BitBltCopiesClippedAndOverlappingCopiesReadTheOldPixels) {
    sim::Machine machine(1);
    Canvas from(4, 4), to(6, 6);
    RECT spot = {1, 1, 2, 2};
    FillRect(from.dc, &spot, GetSysColorBrush(COLOR_HIGHLIGHT));
    ASSERT_TRUE(BitBlt(to.dc, 2, 2, 4, 4, from.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(to.dc, 3, 3), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(to.dc, 2, 2), RGB(0, 0, 0));
    // Within one surface, shifted by one: the spot moves, it does not smear.
    ASSERT_TRUE(BitBlt(to.dc, 1, 0, 5, 6, to.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(to.dc, 4, 3), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(to.dc, 5, 3), RGB(0, 0, 0));
    EXPECT_FALSE(BitBlt(to.dc, 0, 0, 1, 1, from.dc, 0, 0, 0x00EE0086 /* SRCPAINT */));
}

TEST(GdiPixels, TextIsDrawnInTheTextColourOverAnOpaqueBackground) {
    sim::Machine machine(1);
    Canvas canvas(60, 20);
    HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
    HGDIOBJ old = SelectObject(canvas.dc, font);
    SetTextColor(canvas.dc, RGB(0, 0, 255));
    SetBkColor(canvas.dc, RGB(255, 255, 0));
    EXPECT_EQ(SetBkMode(canvas.dc, OPAQUE), OPAQUE);
    ASSERT_TRUE(TextOutA(canvas.dc, 0, 0, "I", 1));
    SIZE size;
    GetTextExtentPoint32A(canvas.dc, "I", 1, &size);
    int blue = 0, yellow = 0;
    for (int y = 0; y < size.cy; y++) {
        for (int x = 0; x < size.cx; x++) {
            COLORREF pixel = GetPixel(canvas.dc, x, y);
            // Antialiased: the stem's pixels lean to the text colour.
            blue += GetBValue(pixel) > 128 && GetRValue(pixel) < 128;
            yellow += pixel == RGB(255, 255, 0);
        }
    }
    EXPECT_GT(blue, 3);                                            // the stem of the I
    EXPECT_GT(yellow, 10);                                         // the cell around it
    EXPECT_EQ(GetPixel(canvas.dc, size.cx + 1, 1), RGB(0, 0, 0));  // past the cell: untouched
    // Transparent text leaves the background as it was.
    SetBkMode(canvas.dc, TRANSPARENT);
    TextOutA(canvas.dc, 30, 0, "I", 1);
    EXPECT_EQ(GetPixel(canvas.dc, 30, 0), RGB(0, 0, 0));
    SelectObject(canvas.dc, old);
    DeleteObject(font);
}

TEST(GdiPixels, ObjectsAreCountedUntilDeletedAndStockOnesNever) {
    sim::Machine machine(1);
    EXPECT_EQ(OutstandingObjects(), 0u);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
    GetStockObject(WHITE_BRUSH);
    GetSysColorBrush(COLOR_BTNFACE);
    EXPECT_EQ(OutstandingObjects(), 3u);
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // accepted, stays
    EXPECT_FALSE(DeleteObject(dc));                          // a DC is DeleteDC's
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_FALSE(DeleteObject(brush));  // already gone
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_EQ(OutstandingObjects(), 1u);  // the bitmap leaks
    DeleteObject(bitmap);
    EXPECT_EQ(OutstandingObjects(), 0u);
}

TEST(GdiPixels, SelectObjectReturnsWhatItReplaces) {
    sim::Machine machine(1);
    HDC dc = CreateCompatibleDC(NULL);
    HBITMAP first = CreateCompatibleBitmap(dc, 2, 2);
    HBITMAP second = CreateCompatibleBitmap(dc, 2, 2);
    HGDIOBJ stock = SelectObject(dc, first);
    EXPECT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(dc, second), first);
    EXPECT_EQ(SelectObject(dc, stock), second);
    EXPECT_EQ(SelectObject(dc, reinterpret_cast<HGDIOBJ>(0x1234)), nullptr);
    DeleteObject(first);
    DeleteObject(second);
    DeleteDC(dc);
}

std::vector<uint8_t> ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(GdiPixels, IconImagesDecodeWithTheirAlpha) {
    // The application's icon file: ICONDIR, then entries of 16 bytes (size, offset last).
    std::vector<uint8_t> ico = ReadFile(APP_ICON_FILE);
    ASSERT_GT(ico.size(), 22u);
    size_t count = ico[4] | (ico[5] << 8);
    for (size_t i = 0; i < count; i++) {
        const uint8_t* entry = ico.data() + 6 + 16 * i;
        int width = entry[0] == 0 ? 256 : entry[0];
        size_t bytes = entry[8] | (entry[9] << 8) | (entry[10] << 16);
        size_t offset = entry[12] | (entry[13] << 8) | (entry[14] << 16);
        ASSERT_LE(offset + bytes, ico.size());
        auto image = sim::win32::gdi32::DecodeDib(ico.data() + offset, bytes, true);
        ASSERT_TRUE(image) << width;
        EXPECT_EQ(image->surface.width, width);
        EXPECT_EQ(image->surface.height, width);
        size_t opaque = 0;
        for (uint8_t alpha : image->alpha) {
            opaque += alpha != 0;
        }
        EXPECT_GT(opaque, 0u) << width;
        EXPECT_LT(opaque, image->alpha.size()) << width;  // a shape, not a square
    }
    uint8_t short_header[20] = {40};
    EXPECT_FALSE(sim::win32::gdi32::DecodeDib(short_header, sizeof short_header, true));
}

TEST(GdiPixels, PngIconImagesDecodeWithTheirAlpha) {
    // A 2 x 1 image: opaque red, then half-transparent blue.
    const uint8_t rgba[] = {255, 0, 0, 255, 0, 0, 255, 128};
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgba, 0, nullptr));
    std::vector<uint8_t> png(size);
    ASSERT_TRUE(png_image_write_to_memory(&image, png.data(), &size, 0, rgba, 0, nullptr));
    auto decoded = sim::win32::gdi32::DecodeIconImage(png.data(), size);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->surface.width, 2);
    EXPECT_EQ(decoded->surface.At(0, 0), 0xFF0000u);
    EXPECT_EQ(decoded->surface.At(1, 0), 0x0000FFu);
    EXPECT_EQ(decoded->alpha[0], 255);
    EXPECT_EQ(decoded->alpha[1], 128);
    png[20] ^= 0xFF;  // a damaged header
    EXPECT_FALSE(sim::win32::gdi32::DecodeIconImage(png.data(), size));
}

// Pixels of the canvas that are not the black it started as.
int Drawn(HDC dc, int size) {
    int drawn = 0;
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            drawn += GetPixel(dc, x, y) != RGB(0, 0, 0);
        }
    }
    return drawn;
}

TEST(GdiPixels, IconsOfTheProcessDrawAtTheSizeAsked) {
    sim::Machine machine(1);
    const sim::win32::ProgramImage* image = sim::win32::FindProgramImage("win32_test_program");
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(sim::win32::CurrentProcess().resources.Load(image->resource_path));
    HINSTANCE self = reinterpret_cast<HINSTANCE>(sim::win32::CurrentProcess().instance());
    HICON icon = LoadIconA(self, MAKEINTRESOURCE(128));
    ASSERT_NE(icon, nullptr);
    Canvas canvas(40, 40);
    ASSERT_TRUE(DrawIconEx(canvas.dc, 0, 0, icon, 16, 16, 0, NULL, DI_NORMAL));
    int small = Drawn(canvas.dc, 40);
    EXPECT_GT(small, 0);
    EXPECT_EQ(Drawn(canvas.dc, 16), small);  // nothing past 16 x 16
    ASSERT_TRUE(DrawIcon(canvas.dc, 0, 0, icon));
    EXPECT_GT(Drawn(canvas.dc, 40), small);
    EXPECT_EQ(Drawn(canvas.dc, 32), Drawn(canvas.dc, 40));
    EXPECT_FALSE(DrawIconEx(canvas.dc, 0, 0, NULL, 0, 0, 0, NULL, DI_NORMAL));
}

TEST(GdiScreen, WorkAreaLeavesOutTheTaskbar) {
    sim::Machine machine(1);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1280);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 800);
    RECT work = {};
    ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));
    EXPECT_EQ(work.right, 1280);
    EXPECT_EQ(work.bottom, 760);
    sim::win32::user32::TheScreen() = {1024, 768, 30};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_EQ(work.bottom, 738);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1024);
    EXPECT_FALSE(SystemParametersInfoA(0x0001, 0, &work, 0));
}

}  // namespace
}  // namespace gdi_test
