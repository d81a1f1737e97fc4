// Conversions between the stand-in's UTF-16 strings and host strings (ASCII is all the
// simulated PC uses for names and IDs).
#pragma once

#include <ntddk.h>

#include <string>
#include <vector>

namespace sim {

std::string Narrow(const WCHAR* text, size_t units);
std::string Narrow(PCUNICODE_STRING text);
std::string NarrowZ(const WCHAR* text);
std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminate);
// A REG_MULTI_SZ / property list: each string NUL-terminated, then an empty string.
std::vector<uint8_t> Utf16MultiSz(const std::vector<std::string>& strings);

}  // namespace sim
