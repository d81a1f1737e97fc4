// Fonts and text through GDI: metrics of the faces programs name, extents, and how
// DrawTextA breaks, places and measures lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "pc/machine.h"

namespace gdi_test {
namespace {

// A memory DC with a font of `points` selected; both go with the fixture.
class GdiText : public ::testing::Test {
  protected:
    void Use(const char* face, int points, int weight = FW_NORMAL) {
        font_ = CreateFontA(-MulDivPoints(points), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, 0, 0, 0, 0, face);
        SelectObject(dc_, font_);
    }
    static int MulDivPoints(int points) { return (points * 96 * 2 + 72) / (2 * 72); }
    void TearDown() override {
        DeleteDC(dc_);
        DeleteObject(font_);
    }
    SIZE Extent(const std::string& text) {
        SIZE size = {};
        EXPECT_TRUE(GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &size));
        return size;
    }

    sim::Machine machine_{1};
    HDC dc_ = CreateCompatibleDC(NULL);
    HFONT font_ = NULL;
};

struct MetricsCase {
    const char* face;
    int points;
    LONG height, ascent, descent, internal_leading, average_width;
};

// Arial's (Liberation Sans's) tables scaled and rounded per value, as GDI scales
// usWinAscent, usWinDescent and xAvgCharWidth.
const MetricsCase kMetricsCases[] = {
    {"Arial", 8, 12, 10, 2, 1, 5},
    {"Arial", 9, 14, 11, 3, 2, 5},
    {"MS Shell Dlg", 8, 12, 10, 2, 1, 5},
    {"Arial", 12, 17, 14, 3, 1, 7},
};

TEST_F(GdiText, MetricsOfArialAtDialogSizes) {
    for (const MetricsCase& entry : kMetricsCases) {
        Use(entry.face, entry.points);
        TEXTMETRICA tm = {};
        ASSERT_TRUE(GetTextMetricsA(dc_, &tm));
        std::string what = std::string(entry.face) + " " + std::to_string(entry.points);
        EXPECT_EQ(tm.tmHeight, entry.height) << what;
        EXPECT_EQ(tm.tmAscent, entry.ascent) << what;
        EXPECT_EQ(tm.tmDescent, entry.descent) << what;
        EXPECT_EQ(tm.tmInternalLeading, entry.internal_leading) << what;
        EXPECT_EQ(tm.tmAveCharWidth, entry.average_width) << what;
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent) << what;
    }
}

TEST_F(GdiText, ExtentsAddAdvancesAndBoldIsWider) {
    Use("Arial", 9);
    SIZE hello = Extent("Hello");
    EXPECT_EQ(Extent("Hel").cx + Extent("lo").cx, hello.cx);
    EXPECT_EQ(hello.cy, 14);
    EXPECT_EQ(Extent("").cx, 0);
    Use("Arial", 12);
    LONG regular = Extent("ooooo").cx;
    Use("Arial", 12, FW_BOLD);
    EXPECT_GT(Extent("ooooo").cx, regular);
    Use("Courier New", 9);
    EXPECT_EQ(Extent("iiii").cx, Extent("WWWW").cx);
}

TEST_F(GdiText, CalcRectMeasuresWithoutDrawing) {
    Use("Arial", 8);
    RECT rect = {10, 20, 500, 500};
    int height = DrawTextA(dc_, "Charging", -1, &rect, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(height, 12);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.right, 10 + Extent("Charging").cx);
    EXPECT_EQ(rect.bottom, 32);
    // Line feeds make lines even without DT_WORDBREAK; the widest sets the width.
    rect = {0, 0, 500, 500};
    EXPECT_EQ(DrawTextA(dc_, "a\r\nlonger line\nb", -1, &rect, DT_CALCRECT), 36);
    EXPECT_EQ(rect.right, Extent("longer line").cx);
}

TEST_F(GdiText, WordBreakFillsLinesGreedilyAndDropsTheBreakingSpaces) {
    Use("Arial", 8);
    std::string text = "one two one two";
    // Wide enough for "one two" but not "one two three".
    LONG width = Extent("one two").cx + 1;
    RECT rect = {0, 0, width, 1000};
    EXPECT_EQ(DrawTextA(dc_, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK), 2 * 12);
    EXPECT_EQ(rect.right, Extent("one two").cx);
    // Exactly the width of a line still fits it.
    rect = {0, 0, Extent("one two").cx, 1000};
    EXPECT_EQ(DrawTextA(dc_, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK), 2 * 12);
    // A word wider than the line stays whole on a line of its own.
    rect = {0, 0, Extent("on").cx, 1000};
    EXPECT_EQ(DrawTextA(dc_, "one two", -1, &rect, DT_CALCRECT | DT_WORDBREAK), 2 * 12);
    EXPECT_EQ(rect.right, Extent("one").cx);
    // DT_SINGLELINE wins over DT_WORDBREAK.
    rect = {0, 0, width, 1000};
    EXPECT_EQ(DrawTextA(dc_, text.c_str(), -1, &rect, DT_CALCRECT | DT_WORDBREAK | DT_SINGLELINE),
              12);
}

TEST_F(GdiText, PrefixesAreTakenOutUnlessNoPrefix) {
    Use("Arial", 8);
    RECT rect = {0, 0, 500, 500};
    DrawTextA(dc_, "&Exit", -1, &rect, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(rect.right, Extent("Exit").cx);
    rect = {0, 0, 500, 500};
    DrawTextA(dc_, "A&&B", -1, &rect, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(rect.right, Extent("A&B").cx);
    rect = {0, 0, 500, 500};
    DrawTextA(dc_, "&Exit", -1, &rect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(rect.right, Extent("&Exit").cx);
}

}  // namespace
}  // namespace gdi_test
