#include "ampsim/values.h"

#include <cstdio>

namespace ampsim {
namespace {

int DigitValue(char c, int base) {
    int value = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : 99;
    return value < base ? value : -1;
}

// Accumulates digits into *value; false on a non-digit or once the value passes `max`.
bool AccumulateDigits(const std::string& digits, int base, uint64_t max, uint64_t* value) {
    if (digits.empty()) {
        return false;
    }
    *value = 0;
    for (char c : digits) {
        int digit = DigitValue(c, base);
        if (digit < 0 || static_cast<uint64_t>(digit) > max ||
            *value > (max - static_cast<uint64_t>(digit)) / base) {
            return false;
        }
        *value = *value * base + static_cast<uint64_t>(digit);
    }
    return true;
}

}  // namespace

uint64_t ParseNumber(const Command& command, const std::string& text, int base, uint64_t max,
                     const std::string& what) {
    std::string digits = text;
    if (base == 0) {
        bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
        base = hex ? 16 : 10;
        digits = hex ? text.substr(2) : text;
    }
    uint64_t value = 0;
    if (!AccumulateDigits(digits, base, max, &value)) {
        throw ScenarioError(command.line, "bad " + what + " " + Quote(text) + " (0 to " +
                                              std::to_string(max) + ")");
    }
    return value;
}

bool ParseDecimal(const std::string& text, uint64_t max, uint64_t* value) {
    return AccumulateDigits(text, 10, max, value);
}

bool ParseSeedRange(const std::string& text, SeedRange* range) {
    size_t dots = text.find("..");
    return dots != std::string::npos &&
           ParseDecimal(text.substr(0, dots), UINT64_MAX, &range->first) &&
           ParseDecimal(text.substr(dots + 2), UINT64_MAX, &range->last) &&
           range->first <= range->last;
}

uint64_t NumberOption(const Command& command, const std::string& key, uint64_t fallback,
                      uint64_t max) {
    auto found = command.options.find(key);
    return found == command.options.end() ? fallback
                                          : ParseNumber(command, found->second, 0, max, key);
}

uint16_t Hex16Option(const Command& command, const std::string& key, uint16_t fallback) {
    auto found = command.options.find(key);
    if (found == command.options.end()) {
        return fallback;
    }
    std::string text = found->second;
    if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
        text = text.substr(2);
    }
    uint64_t value = 0;
    if (!AccumulateDigits(text, 16, 0xFFFF, &value)) {
        throw ScenarioError(command.line,
                            "bad " + key + " " + Quote(found->second) + " (hex, 0 to FFFF)");
    }
    return static_cast<uint16_t>(value);
}

std::vector<uint8_t> ParseHexBytes(const Command& command, const std::string& text) {
    if (text.size() % 2 != 0) {
        throw ScenarioError(command.line, "hex data needs an even number of digits");
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        bytes.push_back(
            static_cast<uint8_t>(ParseNumber(command, text.substr(i, 2), 16, 0xFF, "hex byte")));
    }
    return bytes;
}

sim::Ticks ParseDuration(const Command& command, const std::string& text, sim::Ticks max) {
    size_t unit = text.find_first_not_of("0123456789.");
    if (unit == 0 || unit == std::string::npos) {
        throw ScenarioError(command.line, "bad duration " + Quote(text) + " (use 5s or 300ms)");
    }
    std::string suffix = text.substr(unit);
    sim::Ticks per_unit = suffix == "s" ? sim::kTicksPerSecond : sim::kTicksPerMs;
    if (suffix != "s" && suffix != "ms") {
        throw ScenarioError(command.line, "bad duration unit " + Quote(suffix) + " (use s or ms)");
    }
    std::string amount = text.substr(0, unit);
    size_t dot = amount.find('.');
    std::string whole = amount.substr(0, dot);
    std::string fraction = dot == std::string::npos ? "" : amount.substr(dot + 1);
    if ((whole.empty() && fraction.empty()) || fraction.find('.') != std::string::npos) {
        throw ScenarioError(command.line, "bad duration " + Quote(text) + " (use 5s or 300ms)");
    }
    std::string too_long = "duration " + Quote(text) + " is longer than " + FormatDuration(max);
    // Whole units are counted only up to the limit, so that no digit string can overflow.
    uint64_t whole_units = 0;
    if (!whole.empty() &&
        !AccumulateDigits(whole, 10, static_cast<uint64_t>(max / per_unit), &whole_units)) {
        throw ScenarioError(command.line, too_long);
    }
    // per_unit is 10^7 or 10^4 ticks: each decimal place is worth a tenth of the one before.
    sim::Ticks ticks = static_cast<sim::Ticks>(whole_units) * per_unit;
    sim::Ticks place = per_unit;
    for (char c : fraction) {
        place /= 10;
        if (place == 0 && c != '0') {
            throw ScenarioError(command.line, "duration " + Quote(text) + " is finer than 100 ns");
        }
        ticks += (c - '0') * place;
    }
    if (ticks > max) {
        throw ScenarioError(command.line, too_long);
    }
    return ticks;
}

std::vector<std::string> SplitBars(const Command& command, const std::string& text,
                                   const std::string& what) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bar = text.find('|', start);
        parts.push_back(text.substr(start, bar - start));
        if (parts.back().empty()) {
            throw ScenarioError(command.line, "empty " + what + " in " + Quote(text));
        }
        if (bar == std::string::npos) {
            return parts;
        }
        start = bar + 1;
    }
}

std::string Quote(const std::string& text) {
    // A message is read on one line; the start of a long word names it well enough.
    const size_t kLongest = 60;
    std::string quoted = "'";
    for (char c : text.substr(0, kLongest)) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + (text.size() > kLongest ? "...'" : "'");
}

std::string FormatDuration(sim::Ticks ticks) {
    if (ticks % sim::kTicksPerSecond == 0) {
        return std::to_string(ticks / sim::kTicksPerSecond) + "s";
    }
    std::string ms = std::to_string(ticks / sim::kTicksPerMs);
    sim::Ticks rest = ticks % sim::kTicksPerMs;
    if (rest != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%04lld", static_cast<long long>(rest));
        ms += fraction;
        while (ms.back() == '0') {
            ms.pop_back();
        }
    }
    return ms + "ms";
}

std::string Format(const char* format, unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace ampsim
