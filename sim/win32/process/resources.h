// A module's resources as the resource compiler wrote them (a .res file: one header record
// per resource, each DWORD-aligned), found by type and name as FindResource finds them.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sim::win32 {

// A resource type or name: an ordinal, or a string compared without regard to case.
struct ResourceId {
    uint16_t ordinal = 0;  // 0: named by `name`
    std::string name;      // upper case
    bool operator==(const ResourceId& other) const = default;
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    std::vector<uint8_t> data;
};

class Resources {
  public:
    // Reads a .res file; false (and no resources) if it cannot be read or is malformed.
    bool Load(const std::string& path);
    bool Parse(const std::vector<uint8_t>& bytes);

    bool empty() const { return entries_.empty(); }
    bool HasType(const ResourceId& type) const;
    // The first resource of that type and name, whatever its language; null if none.
    const ResourceEntry* Find(const ResourceId& type, const ResourceId& name) const;
    // String `id` of the string tables in the ANSI code page, an override first; nullopt
    // for a string that is absent or empty.
    std::optional<std::string> String(uint32_t id) const;

    std::map<uint32_t, std::string> string_overrides;

  private:
    std::deque<ResourceEntry> entries_;  // stable addresses: they are the HRSRC values
};

// Windows-1252, the ANSI code page of the simulated PC; '?' for what it cannot show.
std::string AnsiFromUtf16(const std::u16string& text);

}  // namespace sim::win32
