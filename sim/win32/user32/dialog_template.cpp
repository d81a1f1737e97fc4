#include "win32/user32/dialog_template.h"

#include <cstring>
#include <memory>

#include "pc/machine.h"
#include "win32/gdi32/gdi.h"

namespace sim::win32::user32 {
namespace {

constexpr WORD kOrdinalMark = 0xFFFF;
constexpr WORD kExtendedSignature = 0xFFFF;

// Reads little-endian fields from the template, stopping for good at its end.
class Reader {
  public:
    Reader(const void* data, size_t size)
        : start_(static_cast<const uint8_t*>(data)), size_(size) {}
    bool ok() const { return ok_; }

    template <class T>
    T Read() {
        T value{};
        if (!Have(sizeof(T))) {
            return value;
        }
        std::memcpy(&value, start_ + offset_, sizeof(T));
        offset_ += sizeof(T);
        return value;
    }
    void Skip(size_t bytes) {
        if (Have(bytes)) {
            offset_ += bytes;
        }
    }
    // Items start on a DWORD boundary of the template.
    void AlignToDword() { Skip((4 - offset_ % 4) % 4); }

    // A zero-terminated UTF-16 string, as the ANSI code page holds it: characters above
    // 0xFF become '?'.
    std::string String() {
        std::string text;
        for (WORD unit = Read<WORD>(); ok_ && unit != 0; unit = Read<WORD>()) {
            text.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
        }
        return text;
    }
    NameOrOrdinal Name() {
        NameOrOrdinal result;
        WORD first = Read<WORD>();
        if (first == 0) {
            return result;
        }
        if (first == kOrdinalMark) {
            result.ordinal = Read<WORD>();
            return result;
        }
        offset_ -= sizeof(WORD);
        result.name = String();
        return result;
    }

  private:
    bool Have(size_t bytes) {
        if (!ok_ || offset_ + bytes > size_) {
            ok_ = false;
        }
        return ok_;
    }
    const uint8_t* start_;
    size_t size_;
    size_t offset_ = 0;
    bool ok_ = true;
};

const char* const kItemClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
constexpr WORD kFirstItemClass = 0x0080;

bool ReadItemClass(Reader& reader, DialogItem* item) {
    NameOrOrdinal name = reader.Name();
    if (name.ordinal == 0) {
        item->window_class = name.name;
        return true;
    }
    size_t index = static_cast<size_t>(name.ordinal - kFirstItemClass);
    if (name.ordinal < kFirstItemClass || index >= std::size(kItemClasses)) {
        return false;
    }
    item->window_class = kItemClasses[index];
    return true;
}

// DLGITEMTEMPLATEEX, or DLGITEMTEMPLATE, then class, title and creation data.
bool ReadItem(Reader& reader, bool extended, DialogItem* item) {
    reader.AlignToDword();
    if (extended) {
        reader.Read<DWORD>();  // help identifier
        item->ex_style = reader.Read<DWORD>();
        item->style = reader.Read<DWORD>();
    } else {
        item->style = reader.Read<DWORD>();
        item->ex_style = reader.Read<DWORD>();
    }
    item->x = reader.Read<short>();
    item->y = reader.Read<short>();
    item->cx = reader.Read<short>();
    item->cy = reader.Read<short>();
    item->id = extended ? reader.Read<DWORD>() : reader.Read<WORD>();
    if (!ReadItemClass(reader, item)) {
        return false;
    }
    item->title = reader.Name();
    // The extended form counts the bytes that follow; the old one counts its count too.
    WORD creation_bytes = reader.Read<WORD>();
    if (extended) {
        reader.Skip(creation_bytes);
    } else if (creation_bytes > sizeof(WORD)) {
        reader.Skip(creation_bytes - sizeof(WORD));
    }
    return reader.ok();
}

struct Fonts {
    std::vector<std::unique_ptr<DialogFont>> made;
};

// Font handles are the machine's, one per face, size, weight and slant.
constexpr uintptr_t kFirstFontHandle = 0x0F000010;

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(const void* data, size_t size) {
    Reader reader(data, size);
    DialogTemplate dialog;
    WORD version = reader.Read<WORD>();
    WORD signature = reader.Read<WORD>();
    dialog.extended = version == 1 && signature == kExtendedSignature;
    reader = Reader(data, size);
    WORD count = 0;
    if (dialog.extended) {
        reader.Skip(2 * sizeof(WORD));
        reader.Read<DWORD>();  // help identifier
        dialog.ex_style = reader.Read<DWORD>();
        dialog.style = reader.Read<DWORD>();
    } else {
        dialog.style = reader.Read<DWORD>();
        dialog.ex_style = reader.Read<DWORD>();
    }
    count = reader.Read<WORD>();
    dialog.x = reader.Read<short>();
    dialog.y = reader.Read<short>();
    dialog.cx = reader.Read<short>();
    dialog.cy = reader.Read<short>();
    dialog.menu = reader.Name();
    dialog.window_class = reader.Name();
    dialog.title = reader.String();
    if ((dialog.style & DS_SETFONT) != 0) {
        DialogFont font;
        font.points = reader.Read<WORD>();
        if (dialog.extended) {
            font.weight = reader.Read<WORD>();
            font.italic = reader.Read<BYTE>() != 0;
            reader.Read<BYTE>();  // character set
        }
        font.face = reader.String();
        dialog.font = font;
    }
    for (WORD i = 0; i < count && reader.ok(); i++) {
        DialogItem item;
        if (!ReadItem(reader, dialog.extended, &item)) {
            return std::nullopt;
        }
        dialog.items.push_back(item);
    }
    if (!reader.ok()) {
        return std::nullopt;
    }
    return dialog;
}

// The simulated PC's one font metric, whatever the face: a cell of 1.2 times the point size
// at 96 dpi, and an average letter width of 6/13 of that cell, so "MS Shell Dlg" 8 gives
// the familiar 6 x 13. A dialog without DS_SETFONT uses the system font's 8 x 16.
BaseUnits DialogBaseUnits(const std::optional<DialogFont>& font) {
    if (!font) {
        return BaseUnits{8, 16};
    }
    // The font's own metrics, as the dialog manager measures the font it makes.
    POINT units = gdi32::DialogBaseUnitsOf(
        gdi32::DialogFontRequest(font->face, font->points, font->weight, font->italic));
    return BaseUnits{units.x, units.y};
}

namespace {

// MulDiv's rounding: to the nearest, halves away from zero.
int MulDivRounded(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

}  // namespace

int HorizontalPixels(int units, const BaseUnits& base) {
    return MulDivRounded(units, base.x, 4);
}

int VerticalPixels(int units, const BaseUnits& base) {
    return MulDivRounded(units, base.y, 8);
}

HFONT FontHandle(const DialogFont& font) {
    auto& made = Machine::Current().Extension<Fonts>().made;
    for (size_t i = 0; i < made.size(); i++) {
        const DialogFont& known = *made[i];
        if (known.face == font.face && known.points == font.points && known.weight == font.weight &&
            known.italic == font.italic) {
            return reinterpret_cast<HFONT>(kFirstFontHandle + 4 * i);
        }
    }
    made.push_back(std::make_unique<DialogFont>(font));
    return reinterpret_cast<HFONT>(kFirstFontHandle + 4 * (made.size() - 1));
}

const DialogFont* FontFromHandle(HFONT font) {
    auto& made = Machine::Current().Extension<Fonts>().made;
    uintptr_t value = reinterpret_cast<uintptr_t>(font);
    if (value < kFirstFontHandle || (value - kFirstFontHandle) % 4 != 0) {
        return nullptr;
    }
    size_t index = (value - kFirstFontHandle) / 4;
    return index < made.size() ? made[index].get() : nullptr;
}

}  // namespace sim::win32::user32
