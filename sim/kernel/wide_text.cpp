#include "kernel/wide_text.h"

namespace sim {

std::string Narrow(const WCHAR* text, size_t units) {
    std::string narrow;
    narrow.reserve(units);
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

namespace {

// Appends the text's UTF-16 units, and a terminating NUL if asked, to `bytes`.
void AppendUtf16(const std::string& text, bool terminate, std::vector<uint8_t>* bytes) {
    size_t at = bytes->size();
    // Zeros: the high byte of every unit and the terminator.
    bytes->resize(at + 2 * (text.size() + (terminate ? 1 : 0)));
    for (char c : text) {
        (*bytes)[at] = static_cast<uint8_t>(c);
        at += 2;
    }
}

}  // namespace

std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminate) {
    std::vector<uint8_t> bytes;
    AppendUtf16(text, terminate, &bytes);
    return bytes;
}

std::vector<uint8_t> Utf16MultiSz(const std::vector<std::string>& strings) {
    size_t units = 1;
    for (const std::string& text : strings) {
        units += text.size() + 1;
    }
    std::vector<uint8_t> bytes;
    bytes.reserve(2 * units);
    for (const std::string& text : strings) {
        AppendUtf16(text, true, &bytes);
    }
    bytes.resize(2 * units);
    return bytes;
}

}  // namespace sim
