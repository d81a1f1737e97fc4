// Fonts from the Liberation TrueType files through FreeType: Windows' face names mapped to
// the metric-compatible faces, TEXTMETRIC as GDI computes it from the font's tables, and
// antialiased glyphs. Windows-1252's 0x80..0x9F are drawn as the Latin-1 code points.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <mutex>
#include <stdexcept>
#include <tuple>

#include "win32/gdi32/gdi.h"
#include "win32/ascii_lower.h"

namespace sim::win32::gdi32 {
namespace {

constexpr const char* kFontFolder = "/usr/share/fonts/truetype/liberation/";

// The Liberation family standing in for the face; unknown faces get the sans serif one,
// as Windows falls back to its default GUI face.
std::string FamilyFor(const std::string& face) {
    std::string name = AsciiLower(face);
    if (name == "times new roman" || name == "liberation serif") {
        return "Serif";
    }
    if (name == "courier new" || name == "courier" || name == "liberation mono") {
        return "Mono";
    }
    return "Sans";
}

std::string FileFor(const FontRequest& request) {
    bool bold = request.weight >= 600;
    std::string style =
        bold ? (request.italic ? "BoldItalic" : "Bold") : (request.italic ? "Italic" : "Regular");
    return std::string(kFontFolder) + "Liberation" + FamilyFor(request.face) + "-" + style + ".ttf";
}

// FreeType's faces are shared by every machine of the host process, and a face loads one
// glyph at a time: whoever reads or draws glyphs holds this.
std::mutex& FreeTypeLock() {
    static std::mutex lock;
    return lock;
}

FT_Library Library() {
    static FT_Library library = [] {
        FT_Library made = nullptr;
        if (FT_Init_FreeType(&made) != 0) {
            throw std::runtime_error("FreeType does not start");
        }
        return made;
    }();
    return library;
}

int RoundScaled(long units, int ppem, int units_per_em) {
    return static_cast<int>((units * ppem * 2 + units_per_em) / (2L * units_per_em));
}

class FreeTypeFont final : public SizedFont {
  public:
    FreeTypeFont(const std::string& file, const FontRequest& request) {
        if (FT_New_Face(Library(), file.c_str(), 0, &face_) != 0) {
            throw std::runtime_error("cannot read the font " + file +
                                     " (the fonts-liberation package installs it)");
        }
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
        const auto* hhea =
            static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face_, FT_SFNT_HHEA));
        int upem = face_->units_per_EM;
        long win_ascent = os2->usWinAscent, win_descent = os2->usWinDescent;
        // Negative heights are the em size; positive ones the cell, ascent plus descent.
        int ppem =
            request.height < 0 ? -request.height
            : request.height > 0
                ? static_cast<int>((request.height * upem * 2L + (win_ascent + win_descent)) /
                                   (2 * (win_ascent + win_descent)))
                : 16;
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(ppem));
        TEXTMETRICA& tm = metrics_;
        tm.tmAscent = RoundScaled(win_ascent, ppem, upem);
        tm.tmDescent = RoundScaled(win_descent, ppem, upem);
        tm.tmHeight = tm.tmAscent + tm.tmDescent;
        tm.tmInternalLeading = tm.tmHeight - ppem;
        long gap =
            hhea->Line_Gap - ((win_ascent + win_descent) - (hhea->Ascender - hhea->Descender));
        tm.tmExternalLeading = std::max(0, RoundScaled(gap, ppem, upem));
        tm.tmAveCharWidth = RoundScaled(WeightedAverageWidth(), ppem, upem);
        tm.tmWeight = request.weight >= 600 ? FW_BOLD : FW_NORMAL;
        tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
        tm.tmFirstChar = 0x1E;
        tm.tmLastChar = 0xFF;
        tm.tmDefaultChar = 0x1F;
        tm.tmBreakChar = 0x20;
        tm.tmItalic = request.italic ? 1 : 0;
        tm.tmPitchAndFamily = 0x06 | (FamilyFor(request.face) == "Serif" ? 0x10 : 0x20);
        if (FamilyFor(request.face) == "Mono") {
            tm.tmPitchAndFamily = 0x06 | 0x30;
        }
        for (int c = 0; c < 256; c++) {
            advances_[c] = 0;
            if (FT_Load_Char(face_, static_cast<FT_ULong>(c), FT_LOAD_DEFAULT) == 0) {
                advances_[c] = static_cast<int>((face_->glyph->advance.x + 32) >> 6);
            }
            tm.tmMaxCharWidth = std::max<LONG>(tm.tmMaxCharWidth, advances_[c]);
        }
    }
    ~FreeTypeFont() override { FT_Done_Face(face_); }
    FreeTypeFont(const FreeTypeFont&) = delete;
    FreeTypeFont& operator=(const FreeTypeFont&) = delete;

    const TEXTMETRICA& Metrics() const override { return metrics_; }

    // The average width as Arial's own tables give it (the weighted lowercase letters and
    // space of the older OS/2 tables), which newer faces like Liberation no longer store.
    long WeightedAverageWidth() const {
        static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                             56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
        long sum = 0;
        for (int i = 0; i < 27; i++) {
            FT_ULong c = i < 26 ? static_cast<FT_ULong>('a' + i) : ' ';
            if (FT_Load_Char(face_, c, FT_LOAD_NO_SCALE) == 0) {
                sum += face_->glyph->advance.x * kWeights[i];
            }
        }
        return sum / 1000;
    }
    int Advance(unsigned char c) const override { return advances_[c]; }

    void Draw(Surface& surface, int x, int y, const std::string& text,
              uint32_t pixel) const override {
        std::lock_guard<std::mutex> hold(FreeTypeLock());
        int pen = x;
        int baseline = y + metrics_.tmAscent;
        for (unsigned char c : text) {
            if (FT_Load_Char(face_, c, FT_LOAD_RENDER) == 0) {
                const FT_Bitmap& glyph = face_->glyph->bitmap;
                int left = pen + face_->glyph->bitmap_left;
                int top = baseline - face_->glyph->bitmap_top;
                for (unsigned row = 0; row < glyph.rows; row++) {
                    for (unsigned column = 0; column < glyph.width; column++) {
                        int coverage = glyph.buffer[row * glyph.pitch + column];
                        surface.Blend(left + static_cast<int>(column), top + static_cast<int>(row),
                                      pixel, coverage);
                    }
                }
            }
            pen += advances_[c];
        }
    }

  private:
    FT_Face face_ = nullptr;
    TEXTMETRICA metrics_{};
    std::array<int, 256> advances_{};
};

struct FontCache {
    std::map<std::tuple<std::string, int, int, bool>, std::unique_ptr<SizedFont>> fonts;
};

}  // namespace

int SizedFont::Width(const std::string& text) const {
    int width = 0;
    for (unsigned char c : text) {
        width += Advance(c);
    }
    return width;
}

const SizedFont& FontFor(const FontRequest& request) {
    // Kept for the whole host process: a font file's metrics never change, and reading
    // each once keeps runs and tests fast. Simulated threads may be host threads.
    static FontCache cache;
    std::lock_guard<std::mutex> hold(FreeTypeLock());
    auto& fonts = cache.fonts;
    std::string file = FileFor(request);
    auto key = std::make_tuple(file, request.height, request.weight >= 600 ? 1 : 0, request.italic);
    auto found = fonts.find(key);
    if (found == fonts.end()) {
        found = fonts.emplace(key, std::make_unique<FreeTypeFont>(file, request)).first;
    }
    return *found->second;
}

FontRequest DialogFontRequest(const std::string& face, int points, int weight, bool italic) {
    // -MulDiv(points, 96, 72), as a template's font is made at 96 dpi.
    int height = -((points * 96 * 2 + 72) / (2 * 72));
    return FontRequest{face, height, weight == 0 ? FW_NORMAL : weight, italic};
}

POINT DialogBaseUnitsOf(const FontRequest& request) {
    const SizedFont& font = FontFor(request);
    int letters = font.Width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return POINT{(letters / 26 + 1) / 2, font.Metrics().tmHeight};
}

}  // namespace sim::win32::gdi32
