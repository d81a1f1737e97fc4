#include "kernel/wide_text.h"

namespace sim {

std::string Narrow(const WCHAR* text, size_t units) {
    std::string narrow;
    for (size_t i = 0; i < units; ++i) {
        narrow += static_cast<char>(text[i] & 0xFF);
    }
    return narrow;
}

std::string Narrow(PCUNICODE_STRING text) {
    if (text == nullptr || text->Buffer == nullptr) {
        return "";
    }
    return Narrow(text->Buffer, text->Length / sizeof(WCHAR));
}

std::string NarrowZ(const WCHAR* text) {
    size_t units = 0;
    while (text[units] != 0) {
        ++units;
    }
    return Narrow(text, units);
}

std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminate) {
    std::vector<uint8_t> bytes;
    for (char c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    if (terminate) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

std::vector<uint8_t> Utf16MultiSz(const std::vector<std::string>& strings) {
    std::vector<uint8_t> bytes;
    for (const std::string& text : strings) {
        std::vector<uint8_t> one = Utf16Bytes(text, true);
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

}  // namespace sim
