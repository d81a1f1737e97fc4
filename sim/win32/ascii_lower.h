// Windows compares names (files, fonts, verbs, switches) without regard to case; the stand-in
// keeps them in lower case. ASCII only: every name it compares is ASCII.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>

namespace sim::win32 {

inline std::string AsciiLower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace sim::win32
