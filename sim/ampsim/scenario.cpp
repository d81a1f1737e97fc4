#include "ampsim/scenario.h"

#include <sstream>

namespace ampsim {
namespace {

std::vector<std::string> SplitWords(const std::string& line, int number) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
            continue;
        }
        if (c == '#') {
            break;
        }
        if (c == '"') {
            quoted = true;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) {
                words.push_back(word);
                word.clear();
                in_word = false;
            }
        } else {
            word += c;
            in_word = true;
        }
    }
    if (quoted) {
        throw ScenarioError(number, "unterminated quoted value");
    }
    if (in_word) {
        words.push_back(word);
    }
    return words;
}

}  // namespace

std::vector<Command> ParseScenario(const std::string& text) {
    std::vector<Command> commands;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        std::vector<std::string> words = SplitWords(line, number);
        if (words.empty()) {
            continue;
        }
        Command command;
        command.line = number;
        command.verb = words[0];
        command.args.assign(words.begin() + 1, words.end());
        for (size_t i = 1; i < words.size(); ++i) {
            size_t equals = words[i].find('=');
            if (equals == std::string::npos || equals == 0) {
                command.words.push_back(words[i]);
                continue;
            }
            std::string key = words[i].substr(0, equals);
            if (!command.options.emplace(key, words[i].substr(equals + 1)).second) {
                throw ScenarioError(number, "option " + key + " given twice");
            }
        }
        commands.push_back(std::move(command));
    }
    return commands;
}

}  // namespace ampsim
