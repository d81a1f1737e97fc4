// ampsim's scenario language: one command a line, words separated by blanks, a value in
// double quotes may hold blanks (and an '=' that does not make it an option), '#' starts a
// comment, blank lines are ignored, and a line ending in '&' runs beside the lines after it.
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

// Reads the text's commands one line at a time, so that a long scenario is never held
// parsed in whole; reports unbalanced quotes, control characters, a misplaced '&' and
// repeated options. A copy goes on from where the original stood, to read a part again.
class CommandReader {
  public:
    explicit CommandReader(const std::string& text) : text_(&text) {}
    // The next command; false at the end of the text.
    bool Next(Command* command);

  private:
    const std::string* text_;
    size_t position_ = 0;
    int line_ = 0;
};

}  // namespace ampsim
