// ampsim's scenario language: one command a line, words separated by blanks, a value in
// double quotes may hold blanks, '#' starts a comment, blank lines are ignored, and a line
// ending in '&' runs beside the lines after it.
#pragma once

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
    // The line ended in '&': it runs on a thread of its own while the scenario goes on.
    bool background = false;
};

// Splits the text into commands; reports unbalanced quotes, control characters, a
// misplaced '&' and repeated options.
std::vector<Command> ParseScenario(const std::string& text);

}  // namespace ampsim
