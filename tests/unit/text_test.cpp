// The driver's text routines: narrowing UTF-16 in place, upper-casing, and hexadecimal IDs.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "filter.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kGuard = 0xCC;
constexpr size_t kGuardBytes = 16;

// The units laid out little-endian, followed by guard bytes.
Bytes WideBuffer(const std::vector<uint16_t>& units) {
    Bytes bytes;
    for (uint16_t unit : units) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.insert(bytes.end(), kGuardBytes, kGuard);
    return bytes;
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    char piece[4];
    for (uint8_t byte : bytes) {
        std::snprintf(piece, sizeof piece, "%02x ", byte);
        text += piece;
    }
    return text;
}

struct NarrowCase {
    const char* name;
    std::vector<uint16_t> units;
    size_t buffer_size;   // bytes handed to the routine
    std::string written;  // the bytes it must write at the start, NUL included where written
};

const NarrowCase kNarrowCases[] = {
    {"stops at the first zero unit", {'A', 'B', 0, 'C', 0}, 10, std::string("AB\0", 3)},
    {"empty text", {0, 'A', 0}, 6, std::string("\0", 1)},
    {"zero low byte with a high byte is no terminator but a NUL",
     {0x4141, 0x4100, 0x4142, 0},
     8,
     std::string("A\0B\0", 4)},
    {"keeps the low byte of every unit", {0x00E9, 0x4E2D, 0}, 6, std::string("\xE9\x2D\0", 3)},
    {"no zero unit within the buffer: no terminator", {'A', 'B', 'C', 'D'}, 8, "ABCD"},
    {"the buffer size bounds the text", {'A', 'B', 'C', 'D', 0}, 6, "ABC"},
    {"an odd size leaves the half unit alone", {'A', 'B', 'C', 0}, 5, "AB"},
    {"a one-byte buffer holds no unit", {'A', 0}, 1, ""},
    {"a zero-byte buffer is left alone", {'A', 0}, 0, ""},
};

// Only the converted bytes change: nothing behind them, and nothing past the buffer.
TEST(NarrowWideString, WritesOnlyTheConvertedText) {
    for (const NarrowCase& c : kNarrowCases) {
        const Bytes before = WideBuffer(c.units);
        Bytes expected = before;
        std::copy(c.written.begin(), c.written.end(), expected.begin());

        Bytes buffer = before;
        NarrowWideString(buffer.data(), c.buffer_size);
        EXPECT_EQ(buffer, expected)
            << c.name << "\n  got      " << Hex(buffer) << "\n  expected " << Hex(expected);
    }
}

// 600 units without a zero unit among the first 512: the conversion stops after 512 units
// even though the buffer is larger, and writes no terminator.
TEST(NarrowWideString, HandlesAtMost512Units) {
    std::vector<uint16_t> units;
    for (uint16_t i = 0; i < 600; ++i) {
        // A non-zero high byte, so that no unit is a terminator; letters repeat every 26.
        units.push_back(static_cast<uint16_t>(0x0100 | ('a' + i % 26)));
    }
    units[520] = 0;  // a terminator the conversion must not reach
    const Bytes before = WideBuffer(units);
    Bytes buffer = before;

    NarrowWideString(buffer.data(), 1200);

    for (size_t i = 0; i < 512; ++i) {
        ASSERT_EQ(buffer[i], 'a' + i % 26) << "byte " << i;
    }
    EXPECT_TRUE(std::equal(buffer.begin() + 512, buffer.end(), before.begin() + 512))
        << "bytes from 512 on must stay as they were";
}

struct UpperCase {
    std::string text;  // may hold a NUL
    size_t buffer_size;
    std::string expected;
};

const UpperCase kUpperCases[] = {
    {"usb\\vid_04e8&pid_6860", 21, "USB\\VID_04E8&PID_6860"},
    {"abcdefghijklmnopqrstuvwxyz", 26, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
    // The neighbours of the letters and every non-ASCII byte stay.
    {"`a{z@[", 6, "`A{Z@["},
    {"\xE9\xE0\xFF", 3, "\xE9\xE0\xFF"},
    {std::string("ab\0cd", 5), 5, std::string("AB\0cd", 5)},
    {"abcd", 2, "ABcd"},
    {"abcd", 0, "abcd"},
};

TEST(StrToUpperInPlace, LettersUpToTheTerminatorOrTheBufferEnd) {
    for (const UpperCase& c : kUpperCases) {
        std::string buffer = c.text + std::string(kGuardBytes, 'g');
        StrToUpperInPlace(buffer.data(), c.buffer_size);
        EXPECT_EQ(buffer, c.expected + std::string(kGuardBytes, 'g')) << c.text;
    }
}

struct HexCase {
    const char* text;
    ULONG value;
};

const HexCase kHexCases[] = {
    {"05AC", 0x05AC},
    {"05ac", 0x05AC},
    {"12AB", 0x12AB},
    {"FFFF", 0xFFFF},
    {"12345678", 0x12345678},
    {"0X5A", 0x5A},
    {"0x5a", 0x5A},
    {"0X", 0},
    {"0x", 0},
    {"", 0},
    {"0", 0},
    // Only one leading "0X" is skipped; the next 'X' is a non-digit.
    {"0X0X1", 0},
    {"00X1", 0},
    {"05AG", 0},
    {"12 ", 0},
    {" 12", 0},
    {"-12", 0},
    {"1.5", 0},
    {"12G", 0},
    // 'H' ends the number and keeps what was read.
    {"12H", 0x12},
    {"12h", 0x12},
    {"12HZZ", 0x12},
    {"12H5", 0x12},
    {"H", 0},
    // A '.' after the 'H' followed by anything but '0' adds one.
    {"12H.5", 0x13},
    {"12h.5", 0x13},
    {"12H.0", 0x12},
    {"12H.05", 0x12},
    // Read literally, the NUL after the '.' is a character other than '0', so it adds one.
    {"12H.", 0x13},
    {"0X12H.1", 0x13},
    // Any length parses; beyond eight digits only the low 32 bits remain.
    {"000000000000ABCD", 0xABCD},
    {"0000000000000ABCD", 0xABCD},
    {"1111111111111111111111111111111111111111", 0x11111111},
    {"0X00000000000000000000000000000012H.1", 0x13},
};

TEST(HexStrToInt, Cases) {
    for (const HexCase& c : kHexCases) {
        EXPECT_EQ(HexStrToInt(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(HexStrToInt, LeavesTheCallersTextAlone) {
    char text[] = "0x5a";
    EXPECT_EQ(HexStrToInt(text), 0x5Au);
    EXPECT_STREQ(text, "0x5a");
}

}  // namespace
