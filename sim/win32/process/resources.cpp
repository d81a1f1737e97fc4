#include "win32/process/resources.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace sim::win32 {
namespace {

constexpr uint16_t kStringType = 6;

class Reader {
  public:
    explicit Reader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    size_t offset() const { return offset_; }
    bool AtEnd() const { return offset_ >= bytes_.size(); }
    void Seek(size_t offset) {
        ok_ = ok_ && offset <= bytes_.size();
        offset_ = offset;
    }
    uint16_t Word() {
        uint16_t value = 0;
        Copy(&value, 2);
        return value;
    }
    uint32_t Dword() {
        uint32_t value = 0;
        Copy(&value, 4);
        return value;
    }
    // An ordinal (0xFFFF, then the number) or a zero-terminated UTF-16 string.
    ResourceId Id() {
        ResourceId id;
        uint16_t first = Word();
        if (first == 0xFFFF) {
            id.ordinal = Word();
            return id;
        }
        std::u16string text;
        for (uint16_t c = first; ok_ && c != 0; c = Word()) {
            text.push_back(static_cast<char16_t>(c));
        }
        id.name = AnsiFromUtf16(text);
        for (char& c : id.name) {
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
        return id;
    }
    void AlignDword() { Seek((offset_ + 3) & ~size_t{3}); }

  private:
    void Copy(void* out, size_t size) {
        if (!ok_ || offset_ + size > bytes_.size()) {
            ok_ = false;
            return;
        }
        memcpy(out, bytes_.data() + offset_, size);
        offset_ += size;
    }
    const std::vector<uint8_t>& bytes_;
    size_t offset_ = 0;
    bool ok_ = true;
};

// Code points 0x80-0x9F of Windows-1252, where it differs from Latin-1.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char AnsiChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<char>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c && c != 0) {
            return static_cast<char>(0x80 + i);
        }
    }
    return '?';
}

}  // namespace

std::string AnsiFromUtf16(const std::u16string& text) {
    std::string ansi;
    for (char16_t c : text) {
        ansi.push_back(AnsiChar(c));
    }
    return ansi;
}

bool Resources::Load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    return Parse(bytes);
}

// Each record: DataSize, HeaderSize, type, name, DWORD alignment, DataVersion, MemoryFlags,
// LanguageId, Version, Characteristics, then the data, padded to a DWORD. The first record
// is the empty one that marks a 32-bit .res file.
bool Resources::Parse(const std::vector<uint8_t>& bytes) {
    entries_.clear();
    Reader reader(bytes);
    while (!reader.AtEnd()) {
        size_t start = reader.offset();
        uint32_t data_size = reader.Dword();
        uint32_t header_size = reader.Dword();
        ResourceEntry entry;
        entry.type = reader.Id();
        entry.name = reader.Id();
        reader.AlignDword();
        reader.Dword();  // DataVersion
        reader.Word();   // MemoryFlags
        entry.language = reader.Word();
        reader.Seek(start + header_size);
        if (!reader.ok() || reader.offset() + data_size > bytes.size() || header_size < 32) {
            entries_.clear();
            return false;
        }
        entry.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(reader.offset()),
                          bytes.begin() + static_cast<std::ptrdiff_t>(reader.offset() + data_size));
        reader.Seek(reader.offset() + data_size);
        reader.AlignDword();
        bool empty_marker = data_size == 0 && entry.type.ordinal == 0 && entry.type.name.empty();
        if (!empty_marker) {
            entries_.push_back(std::move(entry));
        }
    }
    return true;
}

bool Resources::HasType(const ResourceId& type) const {
    for (const ResourceEntry& entry : entries_) {
        if (entry.type == type) {
            return true;
        }
    }
    return false;
}

const ResourceEntry* Resources::Find(const ResourceId& type, const ResourceId& name) const {
    for (const ResourceEntry& entry : entries_) {
        if (entry.type == type && entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

// Strings come in blocks of 16: block id/16 + 1 holds string id, at index id % 16, each a
// count of UTF-16 units and the units, without terminator.
std::optional<std::string> Resources::String(uint32_t id) const {
    if (auto found = string_overrides.find(id); found != string_overrides.end()) {
        return found->second.empty() ? std::nullopt : std::optional(found->second);
    }
    if (id > 0xFFFF) {
        return std::nullopt;
    }
    const ResourceEntry* block =
        Find(ResourceId{kStringType, ""}, ResourceId{static_cast<uint16_t>(id / 16 + 1), ""});
    if (block == nullptr) {
        return std::nullopt;
    }
    Reader reader(block->data);
    for (uint32_t index = 0; index < 16 && reader.ok(); ++index) {
        uint16_t length = reader.Word();
        std::u16string text;
        for (uint16_t i = 0; i < length && reader.ok(); ++i) {
            text.push_back(static_cast<char16_t>(reader.Word()));
        }
        if (index == id % 16) {
            if (!reader.ok() || text.empty()) {
                return std::nullopt;
            }
            return AnsiFromUtf16(text);
        }
    }
    return std::nullopt;
}

}  // namespace sim::win32
