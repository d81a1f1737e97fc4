// Fonts and text: CreateFontA, CreateFontIndirectA, GetTextMetricsA, GetTextExtentPoint32A,
// TextOutA, SetTextColor, SetBkColor, SetBkMode and DrawTextA.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "win32/gdi32/gdi.h"
#include "win32/user32/dialog_template.h"

namespace sim::win32::gdi32 {

FontRequest FontRequestOf(HFONT font) {
    if (const Font* made = Find<Font>(font)) {
        return made->request;
    }
    if (const user32::DialogFont* dialog = user32::FontFromHandle(font)) {
        return DialogFontRequest(dialog->face, dialog->points, dialog->weight, dialog->italic);
    }
    return Find<Font>(StockObject(SYSTEM_FONT))->request;
}

const SizedFont& SelectedFont(const Dc& dc) {
    return FontFor(FontRequestOf(dc.font));
}

// Lines as DrawTextA breaks them: at line feeds, and with `width` (DT_WORDBREAK) before a
// word that would pass the right edge; a word wider than the line stays whole, and the
// spaces where a line breaks belong to neither line.
std::vector<std::string> BreakLines(const std::string& text, const SizedFont& font,
                                    std::optional<int> width) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        size_t end = text.find('\n', start);
        std::string paragraph = text.substr(start, end == std::string::npos ? end : end - start);
        if (!paragraph.empty() && paragraph.back() == '\r') {
            paragraph.pop_back();
        }
        if (!width) {
            lines.push_back(paragraph);
        } else {
            size_t pos = 0;
            do {
                size_t fit = std::string::npos;
                size_t next = pos;
                while (next < paragraph.size()) {
                    size_t word_end = paragraph.find_first_not_of(' ', next);
                    word_end = word_end == std::string::npos ? paragraph.size()
                                                             : paragraph.find(' ', word_end);
                    word_end = word_end == std::string::npos ? paragraph.size() : word_end;
                    std::string candidate = paragraph.substr(pos, word_end - pos);
                    size_t kept = candidate.find_last_not_of(' ');
                    candidate.resize(kept == std::string::npos ? 0 : kept + 1);
                    if (fit != std::string::npos && font.Width(candidate) > *width) {
                        break;
                    }
                    fit = word_end;
                    next = word_end;
                }
                fit = fit == std::string::npos ? paragraph.size() : fit;
                std::string line = paragraph.substr(pos, fit - pos);
                size_t kept = line.find_last_not_of(' ');
                line.resize(kept == std::string::npos ? 0 : kept + 1);
                lines.push_back(line);
                pos = paragraph.find_first_not_of(' ', fit);
            } while (pos != std::string::npos && pos < paragraph.size());
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

}  // namespace sim::win32::gdi32

using namespace sim::win32::gdi32;

namespace {

std::string TextOf(LPCSTR text, int count) {
    if (text == nullptr) {
        return {};
    }
    return count < 0 ? std::string(text) : std::string(text, static_cast<size_t>(count));
}

// Draws one run of text at (x, y) in the DC's coordinates, over its background when the
// DC is opaque.
void DrawRun(HDC hdc, const Dc& dc, int x, int y, const std::string& text) {
    Target target = TargetOf(hdc);
    if (target.surface == nullptr || text.empty()) {
        return;
    }
    const SizedFont& font = SelectedFont(dc);
    int left = x + target.origin.x, top = y + target.origin.y;
    if (dc.bk_mode == OPAQUE) {
        target.surface->Fill(
            RECT{left, top, left + font.Width(text), top + font.Metrics().tmHeight},
            PixelFromColor(dc.bk_color));
    }
    font.Draw(*target.surface, left, top, text, PixelFromColor(dc.text_color));
}

// The mnemonic marks taken out: "&&" is one '&', a lone '&' goes (its underline is not
// drawn).
std::string WithoutPrefixes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '&' && i + 1 < text.size()) {
            i++;
        } else if (text[i] == '&') {
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace

// A logical font as asked for; the face is matched when the font is used (Liberation faces
// stand in for Windows' own). Width, escapement, underline and strike-out are not modelled.
HFONT WINAPI CreateFontA(int cHeight, int, int, int, int cWeight, DWORD bItalic, DWORD, DWORD,
                         DWORD, DWORD, DWORD, DWORD, DWORD, LPCSTR pszFaceName) {
    FontRequest request{pszFaceName == nullptr ? "" : pszFaceName, cHeight,
                        cWeight == FW_DONTCARE ? FW_NORMAL : cWeight, bItalic != 0};
    return static_cast<HFONT>(AddObject(Font{request}));
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf) {
    if (lplf == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    char face[LF_FACESIZE + 1] = {};
    std::memcpy(face, lplf->lfFaceName, LF_FACESIZE);
    return CreateFontA(lplf->lfHeight, lplf->lfWidth, 0, 0, lplf->lfWeight, lplf->lfItalic, 0, 0, 0,
                       0, 0, 0, 0, face);
}

// The selected font's metrics, from its TrueType tables as GDI scales them.
BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA lptm) {
    const Dc* dc = FindDc(hdc);
    if (dc == nullptr || lptm == nullptr) {
        return FALSE;
    }
    *lptm = SelectedFont(*dc).Metrics();
    return TRUE;
}

// The sum of the characters' advances and the font's height; kerning is not applied, as
// GDI does not apply it.
BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    const Dc* dc = FindDc(hdc);
    if (dc == nullptr || psizl == nullptr || c < 0) {
        return FALSE;
    }
    const SizedFont& font = SelectedFont(*dc);
    psizl->cx = font.Width(TextOf(lpString, c));
    psizl->cy = font.Metrics().tmHeight;
    return TRUE;
}

// Draws the text with its cell's top left at (x, y); text alignment modes are not modelled.
BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    const Dc* dc = FindDc(hdc);
    if (dc == nullptr || c < 0) {
        return FALSE;
    }
    DrawRun(hdc, *dc, x, y, TextOf(lpString, c));
    return TRUE;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    Dc* dc = FindDc(hdc);
    if (dc == nullptr) {
        return CLR_INVALID;
    }
    return std::exchange(dc->text_color, color);
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    Dc* dc = FindDc(hdc);
    if (dc == nullptr) {
        return CLR_INVALID;
    }
    return std::exchange(dc->bk_color, color);
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    Dc* dc = FindDc(hdc);
    if (dc == nullptr || (mode != OPAQUE && mode != TRANSPARENT)) {
        return 0;
    }
    return std::exchange(dc->bk_mode, mode);
}

// Formats text in the rectangle: lines broken at line feeds and, with DT_WORDBREAK, between
// words; DT_CENTER / DT_RIGHT per line; DT_VCENTER / DT_BOTTOM for a single line;
// DT_CALCRECT only measures, widening or narrowing the rectangle to the text. Returns the
// text's height. Tabs, ellipses and clipping to the rectangle are not modelled.
int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    const Dc* dc = FindDc(hdc);
    if (dc == nullptr || lprc == nullptr) {
        return 0;
    }
    const SizedFont& font = SelectedFont(*dc);
    std::string text = TextOf(lpchText, cchText);
    if ((format & DT_NOPREFIX) == 0) {
        text = WithoutPrefixes(text);
    }
    bool single = (format & DT_SINGLELINE) != 0;
    std::vector<std::string> lines;
    if (single) {
        text.erase(
            std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }),
            text.end());
        lines.push_back(text);
    } else {
        std::optional<int> width;
        if ((format & DT_WORDBREAK) != 0) {
            width = lprc->right - lprc->left;
        }
        lines = BreakLines(text, font, width);
    }
    int line_height = font.Metrics().tmHeight;
    int height = line_height * static_cast<int>(lines.size());
    if ((format & DT_CALCRECT) != 0) {
        int widest = 0;
        for (const std::string& line : lines) {
            widest = std::max(widest, font.Width(line));
        }
        lprc->right = lprc->left + widest;
        lprc->bottom = lprc->top + height;
        return height;
    }
    int top = lprc->top;
    if (single && (format & DT_VCENTER) != 0) {
        top = lprc->top + (lprc->bottom - lprc->top - line_height) / 2;
    } else if (single && (format & DT_BOTTOM) != 0) {
        top = lprc->bottom - line_height;
    }
    for (const std::string& line : lines) {
        int width = font.Width(line);
        int left = lprc->left;
        if ((format & DT_CENTER) != 0) {
            left = lprc->left + (lprc->right - lprc->left - width) / 2;
        } else if ((format & DT_RIGHT) != 0) {
            left = lprc->right - width;
        }
        DrawRun(hdc, *dc, left, top, line);
        top += line_height;
    }
    // Only a bitmap carries its text on to the windows it is copied to; a window's own text
    // would only pile up with every repaint.
    if (Surface* surface = TargetOf(hdc).surface; surface != nullptr && dc->window == nullptr) {
        surface->text += (surface->text.empty() ? "" : " ") + text;
    }
    return top - lprc->top;
}
