// GDI's records on the simulated PC: pixel surfaces, the objects behind GDI handles, device
// contexts, and fonts read from real TrueType files. One table per machine; a handle is
// never reused within a run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace sim::win32 {
class Process;
}

namespace sim::win32::gdi32 {

// 32-bit pixels, 0x00RRGGBB, row by row from the top.
struct Surface {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    // What text drawing wrote on it since it was last filled whole: a window that shows a
    // copy of it shows that text.
    std::string text;

    Surface() = default;
    Surface(int w, int h, uint32_t fill = 0);
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    void Set(int x, int y, uint32_t pixel) {
        if (Contains(x, y)) {
            pixels[static_cast<size_t>(y) * width + x] = pixel;
        }
    }
    void Fill(const RECT& rect, uint32_t pixel);
    // `alpha` 0..255 of `pixel` over what is there.
    void Blend(int x, int y, uint32_t pixel, int alpha);
    // Copies `source` with its top left at (x, y), clipped.
    void Draw(const Surface& source, int x, int y);
};

uint32_t PixelFromColor(COLORREF color);
COLORREF ColorFromPixel(uint32_t pixel);

// What a font is asked for, as a LOGFONT says it.
struct FontRequest {
    std::string face;
    int height = 0;  // LOGFONT's: negative the em size, positive the cell height, 0 default
    int weight = FW_NORMAL;
    bool italic = false;
};

// A face at one pixel size, with Windows' metrics; text is measured and drawn through it.
class SizedFont {
  public:
    virtual ~SizedFont() = default;
    virtual const TEXTMETRICA& Metrics() const = 0;
    // Advance of the character in pixels.
    virtual int Advance(unsigned char c) const = 0;
    // Draws the characters with the baseline at y + ascent.
    virtual void Draw(Surface& surface, int x, int y, const std::string& text,
                      uint32_t pixel) const = 0;
    int Width(const std::string& text) const;
};

// The font for the request, made once per machine; the face names Windows programs use are
// mapped to the metric-compatible Liberation faces.
const SizedFont& FontFor(const FontRequest& request);
// A dialog template's font in points at 96 dpi.
FontRequest DialogFontRequest(const std::string& face, int points, int weight, bool italic);
// Dialog base units of the font: average width of the 52 letters, and the text height.
POINT DialogBaseUnitsOf(const FontRequest& request);

struct Bitmap {
    Surface surface;
};
struct Brush {
    COLORREF color = 0;
    bool hollow = false;
};
struct Font {
    FontRequest request;
};
struct Dc {
    HWND window = nullptr;  // a window's device context, else a memory one
    HBITMAP bitmap = nullptr;
    HFONT font = nullptr;
    HBRUSH brush = nullptr;
    COLORREF text_color = 0;
    COLORREF bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE;
};
using Object = std::variant<Bitmap, Brush, Font, Dc>;

// Object handles; stock objects are made on first use and not counted.
HGDIOBJ AddObject(Object object, bool stock = false);
Object* FindObject(HGDIOBJ handle);
template <class T>
T* Find(HGDIOBJ handle) {
    Object* object = FindObject(handle);
    return object == nullptr ? nullptr : std::get_if<T>(object);
}
bool RemoveObject(HGDIOBJ handle);
bool IsStock(HGDIOBJ handle);
// GetStockObject's indexes, and the system's own objects below 0.
constexpr int kFirstBitmap = -1;  // the 1x1 bitmap a new memory DC starts with
constexpr int kCaptionFont = -2;  // window captions
HGDIOBJ StockObject(int index);

// The device context of a window (BeginPaint, GetDC): one per window, attributes reset
// when it is handed out again.
HDC WindowDc(HWND hwnd);
Dc* FindDc(HDC hdc);

// Where a device context draws: its surface and the origin of its coordinates on it; null
// for a memory DC with no bitmap but the stock 1x1 one.
struct Target {
    Surface* surface = nullptr;
    POINT origin = {0, 0};
};
Target TargetOf(HDC hdc);
// The surface of a window, as big as its rectangle, its client area at the frame margins.
Surface& WindowSurface(HWND hwnd);

// The font a DC has selected: a CreateFont one, a dialog's WM_SETFONT one, or the system's.
const SizedFont& SelectedFont(const Dc& dc);
FontRequest FontRequestOf(HFONT font);

// The pixels of an icon at the size, from its resource's RT_ICON image; nullopt for an icon
// handle with no pixels behind it.
std::optional<Surface> IconPixels(HICON icon, int size);
// The same for icon group `name` ("128", "MAINICON") of the process's resources.
std::optional<Surface> IconPixelsOf(const Process* process, const std::string& name, int size);
// Decodes a BITMAPINFOHEADER image (the RT_BITMAP and BMP-in-ICO forms); `icon_mask` means
// the height counts the AND mask too, which sets the alpha of images without one.
struct DecodedImage {
    Surface surface;
    std::vector<uint8_t> alpha;  // 255 opaque
};
std::optional<DecodedImage> DecodeDib(const uint8_t* data, size_t size, bool icon_mask);

// Lines as DrawTextA breaks them: at line feeds, and with `width` (DT_WORDBREAK) before a
// word that would pass the right edge; a word wider than the line stays whole, and the
// spaces where a line breaks belong to neither line.
std::vector<std::string> BreakLines(const std::string& text, const SizedFont& font,
                                    std::optional<int> width);

// The pixel of a system colour (GetSysColor's index), and a one-pixel frame drawn along a
// rectangle's inside edge: how the screen's picture draws what the system draws.
uint32_t SystemPixel(int index);
void OutlineRect(Surface& surface, const RECT& rect, uint32_t pixel);

// Drawn over everything in the screen's picture: the open popup menu, and the balloons of the
// tray icons whose top-left corners are given in the tray's order.
void DrawOpenMenu(Surface& screen);
void DrawBalloons(Surface& screen, const std::vector<POINT>& icon_corners);

// The screen as RenderScreen's picture shows it (the snapshot's pixels).
Surface RenderScreen();

// An RT_ICON image: a PNG (as icons of 256 pixels are stored) or a BMP with its mask.
std::optional<DecodedImage> DecodeIconImage(const uint8_t* data, size_t size);

// Counts for the end of a run: GDI objects made and not deleted.
size_t OutstandingObjects();

}  // namespace sim::win32::gdi32
