#include "compiled_resources.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace user32_test {
namespace {

uint32_t Dword(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    uint16_t value = 0;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

// An ordinal (0xFFFF, number) or -1 for a string name; moves past it.
int NameAt(const std::vector<uint8_t>& bytes, size_t* at) {
    if (Word(bytes, *at) == 0xFFFF) {
        int ordinal = Word(bytes, *at + 2);
        *at += 4;
        return ordinal;
    }
    while (Word(bytes, *at) != 0) {
        *at += 2;
    }
    *at += 2;
    return -1;
}

}  // namespace

std::vector<uint8_t> CompiledResource(const std::string& res_file, uint16_t type, uint16_t name) {
    std::ifstream file(res_file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    size_t at = 0;
    while (at + 8 <= bytes.size()) {
        uint32_t data_size = Dword(bytes, at);
        uint32_t header_size = Dword(bytes, at + 4);
        size_t names = at + 8;
        int found_type = NameAt(bytes, &names);
        int found_name = NameAt(bytes, &names);
        size_t data = at + header_size;
        if (found_type == type && found_name == name && data + data_size <= bytes.size()) {
            return std::vector<uint8_t>(bytes.begin() + data, bytes.begin() + data + data_size);
        }
        at = (data + data_size + 3) & ~static_cast<size_t>(3);
    }
    return {};
}

}  // namespace user32_test
