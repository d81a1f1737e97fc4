// ampsim's scenario language: one command a line, words separated by blanks, a value in
// double quotes may hold blanks, '#' starts a comment, blank lines are ignored.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace ampsim {

// A line that cannot be run; nothing of the scenario runs then.
struct ScenarioError : std::runtime_error {
    ScenarioError(int line, const std::string& message) : std::runtime_error(message), line(line) {}
    int line;
};

struct Command {
    int line = 0;
    std::string verb;
    // Every word after the verb; those without '=' in order; and KEY=VALUE options.
    std::vector<std::string> args;
    std::vector<std::string> words;
    std::map<std::string, std::string> options;
};

// Splits the text into commands; reports unbalanced quotes and repeated options.
std::vector<Command> ParseScenario(const std::string& text);

// Value parsers shared by the commands; each reports a bad value as a ScenarioError naming
// `what` (or the option's key).
unsigned long ParseNumber(const Command& command, const std::string& text, int base,
                          unsigned long max, const std::string& what);
// The option's number (decimal, or hexadecimal with 0x), or `fallback` when it is absent.
unsigned long DecimalOption(const Command& command, const std::string& key, unsigned long fallback,
                            unsigned long max);
// Hex digits, two a byte.
std::vector<uint8_t> ParseHexBytes(const Command& command, const std::string& text);

}  // namespace ampsim
