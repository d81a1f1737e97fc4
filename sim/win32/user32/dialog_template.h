// Dialog templates as resource compilers write them (DLGTEMPLATE and DLGTEMPLATEEX, with
// their items DWORD-aligned), dialog base units, and the fonts dialogs are given.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::win32::user32 {

// A name that is either a string or a 16-bit ordinal (0xFFFF then the number).
struct NameOrOrdinal {
    std::string name;
    WORD ordinal = 0;  // 0 when it is a name
};

struct DialogFont {
    std::string face;
    int points = 0;
    int weight = 0;
    bool italic = false;
};

struct DialogItem {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    std::string window_class;  // ordinals 0x0080..0x0085 as their class names
    NameOrOrdinal title;
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal window_class;
    std::string title;
    std::optional<DialogFont> font;  // with DS_SETFONT
    std::vector<DialogItem> items;
};

// Reads a template from its first byte; nullopt if it runs past `size` bytes or names an
// item class by an ordinal outside the system's.
std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size);

// Dialog base units in pixels: the font's average character width and its height.
struct BaseUnits {
    int x;
    int y;
};
BaseUnits DialogBaseUnits(const std::optional<DialogFont>& font);
// x pixels = units * base x / 4, y pixels = units * base y / 8, rounded as MulDiv rounds.
int HorizontalPixels(int units, const BaseUnits& base);
int VerticalPixels(int units, const BaseUnits& base);

// A font handle per face and size, for WM_SETFONT; GDI's stand-in reads the font back.
HFONT FontHandle(const DialogFont& font);
const DialogFont* FontFromHandle(HFONT font);

}  // namespace sim::win32::user32
