// The values a scenario line holds: numbers, hex bytes, durations, lists, names. Each parser
// reports a bad value as a ScenarioError on the command's line, naming what was expected.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ampsim/scenario.h"
#include "sched/scheduler.h"

namespace ampsim {

// The longest a single `wait` (and every wait of a scenario together) may last: far beyond
// any scenario worth running, and far below where the 64-bit clock of 100 ns ticks ends.
constexpr sim::Ticks kMaxWait = 1'000'000 * sim::kTicksPerSecond;
// The longest a device may take to answer one request.
constexpr sim::Ticks kMaxLatency = 10 * sim::kTicksPerSecond;

// Digits in `base` (10 or 16), or with base 0 decimal or hexadecimal after "0x"; no sign, no
// blanks, at most `max`.
uint64_t ParseNumber(const Command& command, const std::string& text, int base, uint64_t max,
                     const std::string& what);
// Decimal digits only, at most `max`; false for anything else (command-line arguments).
bool ParseDecimal(const std::string& text, uint64_t max, uint64_t* value);
// A range of seeds "A..B", both included, A no greater than B.
struct SeedRange {
    uint64_t first = 0;
    uint64_t last = 0;
};
bool ParseSeedRange(const std::string& text, SeedRange* range);
// The option's number (decimal, or hexadecimal with 0x), or `fallback` when it is absent.
uint64_t NumberOption(const Command& command, const std::string& key, uint64_t fallback,
                      uint64_t max);
// The option's 16-bit hexadecimal value (with or without 0x), or `fallback`.
uint16_t Hex16Option(const Command& command, const std::string& key, uint16_t fallback);
// Hex digits, two a byte.
std::vector<uint8_t> ParseHexBytes(const Command& command, const std::string& text);
// DIGITS[.DIGITS] followed by s or ms, from 0 up to `max`, in whole 100 ns ticks.
sim::Ticks ParseDuration(const Command& command, const std::string& text, sim::Ticks max);
// "A|B|C" split at the bars; an empty part is refused as `what`.
std::vector<std::string> SplitBars(const Command& command, const std::string& text,
                                   const std::string& what);
// The text in single quotes for a message, with control bytes written as \xNN so that none
// cuts the message short or garbles the terminal.
std::string Quote(const std::string& text);
// A duration as people write it: "1.5s", "300ms".
std::string FormatDuration(sim::Ticks ticks);
// One number in a printf format of a line ("0x%08lx", "0x%lx").
std::string Format(const char* format, unsigned long value);

}  // namespace ampsim
