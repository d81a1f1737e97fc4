// What the snapshot draws over the windows: the open popup menu, as the classic theme draws
// it where TrackPopupMenu was asked to put it, and the tray's balloons above their icons.
// Keyboard highlighting, check marks, submenus and the balloon's tail are not drawn.
#include "win32/gdi32/gdi.h"

#include <algorithm>

#include "win32/shell32/tray_control.h"
#include "win32/user32/menu_table.h"
#include "win32/user32/window_table.h"

namespace sim::win32::gdi32 {
namespace {

constexpr int kMenuBorder = 3;
constexpr int kMenuGutter = 17;  // room for a check mark left and an arrow right
constexpr int kSeparatorHeight = 9;
constexpr int kBalloonMargin = 8;
constexpr int kBalloonMaxText = 320;

const SizedFont& GuiFont(int weight = FW_NORMAL) {
    FontRequest request = FontRequestOf(static_cast<HFONT>(StockObject(DEFAULT_GUI_FONT)));
    request.weight = weight;
    return FontFor(request);
}

// A raised edge: light top and left, dark bottom and right.
void RaisedEdge(Surface& screen, const RECT& r) {
    screen.Fill(RECT{r.left, r.top, r.right, r.top + 1}, SystemPixel(COLOR_BTNHIGHLIGHT));
    screen.Fill(RECT{r.left, r.top, r.left + 1, r.bottom}, SystemPixel(COLOR_BTNHIGHLIGHT));
    screen.Fill(RECT{r.left, r.bottom - 1, r.right, r.bottom}, SystemPixel(COLOR_WINDOWFRAME));
    screen.Fill(RECT{r.right - 1, r.top, r.right, r.bottom}, SystemPixel(COLOR_WINDOWFRAME));
    screen.Fill(RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1},
                SystemPixel(COLOR_BTNSHADOW));
    screen.Fill(RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1},
                SystemPixel(COLOR_BTNSHADOW));
}

// The menu's rectangle: its size from its items, its corner from the point and the
// alignment flags, then moved onto the screen.
RECT PlaceMenu(const user32::TrackedMenu& open, int width, int height) {
    int x = open.at.x, y = open.at.y;
    x -= (open.flags & TPM_RIGHTALIGN) != 0    ? width
         : (open.flags & TPM_CENTERALIGN) != 0 ? width / 2
                                               : 0;
    y -= (open.flags & TPM_BOTTOMALIGN) != 0    ? height
         : (open.flags & TPM_VCENTERALIGN) != 0 ? height / 2
                                                : 0;
    const user32::Screen& shape = user32::TheScreen();
    x = std::clamp(x, 0, std::max(0, shape.width - width));
    y = std::clamp(y, 0, std::max(0, shape.height - height));
    return RECT{x, y, x + width, y + height};
}

}  // namespace

void DrawOpenMenu(Surface& screen) {
    const std::optional<user32::TrackedMenu>& open = user32::OpenMenu();
    const user32::Menu* menu = open ? user32::MenuOrError(open->menu) : nullptr;
    if (menu == nullptr) {
        return;
    }
    const SizedFont& font = GuiFont();
    const int item_height = font.Metrics().tmHeight + 5;
    int width = 0, height = 2 * kMenuBorder;
    for (const user32::MenuItem& item : menu->items) {
        width = std::max(width, item.separator() ? 0 : font.Width(item.text));
        height += item.separator() ? kSeparatorHeight : item_height;
    }
    width += 2 * (kMenuBorder + kMenuGutter);
    RECT box = PlaceMenu(*open, width, height);
    screen.Fill(box, SystemPixel(COLOR_MENU));
    RaisedEdge(screen, box);
    int y = box.top + kMenuBorder;
    for (const user32::MenuItem& item : menu->items) {
        if (item.separator()) {
            int middle = y + kSeparatorHeight / 2;
            screen.Fill(
                RECT{box.left + kMenuBorder + 1, middle - 1, box.right - kMenuBorder - 1, middle},
                SystemPixel(COLOR_BTNSHADOW));
            screen.Fill(
                RECT{box.left + kMenuBorder + 1, middle, box.right - kMenuBorder - 1, middle + 1},
                SystemPixel(COLOR_BTNHIGHLIGHT));
            y += kSeparatorHeight;
            continue;
        }
        int text_y = y + (item_height - font.Metrics().tmHeight) / 2;
        font.Draw(screen, box.left + kMenuBorder + kMenuGutter, text_y, item.text,
                  SystemPixel(COLOR_MENUTEXT));
        y += item_height;
    }
}

void DrawBalloons(Surface& screen, const std::vector<POINT>& icon_corners) {
    std::vector<TrayIcon> icons = TrayIcons();
    const SizedFont& title_font = GuiFont(FW_BOLD);
    const SizedFont& font = GuiFont();
    const int line_height = font.Metrics().tmHeight;
    for (size_t i = 0; i < icons.size() && i < icon_corners.size(); i++) {
        const TrayIcon& icon = icons[i];
        if (icon.balloon_text.empty()) {
            continue;
        }
        std::vector<std::string> lines = BreakLines(icon.balloon_text, font, kBalloonMaxText);
        int width = title_font.Width(icon.balloon_title);
        for (const std::string& line : lines) {
            width = std::max(width, font.Width(line));
        }
        bool titled = !icon.balloon_title.empty();
        int height = (static_cast<int>(lines.size()) + (titled ? 1 : 0)) * line_height +
                     (titled ? kBalloonMargin / 2 : 0);
        width += 2 * kBalloonMargin;
        height += 2 * kBalloonMargin;
        const user32::Screen& shape = user32::TheScreen();
        int right = std::min(shape.width, static_cast<int>(icon_corners[i].x) + width / 2);
        RECT box = {std::max(0, right - width),
                    std::max(0, static_cast<int>(icon_corners[i].y) - height - 4), right, 0};
        box.bottom = box.top + height;
        screen.Fill(box, SystemPixel(COLOR_INFOBK));
        OutlineRect(screen, box, SystemPixel(COLOR_WINDOWFRAME));
        int y = box.top + kBalloonMargin;
        if (titled) {
            title_font.Draw(screen, box.left + kBalloonMargin, y, icon.balloon_title,
                            SystemPixel(COLOR_INFOTEXT));
            y += line_height + kBalloonMargin / 2;
        }
        for (const std::string& line : lines) {
            font.Draw(screen, box.left + kBalloonMargin, y, line, SystemPixel(COLOR_INFOTEXT));
            y += line_height;
        }
    }
}

}  // namespace sim::win32::gdi32
