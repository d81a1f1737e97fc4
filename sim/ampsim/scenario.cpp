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

unsigned long ParseNumber(const Command& command, const std::string& text, int base,
                          unsigned long max, const std::string& what) {
    size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(text, &used, base);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || value > max) {
        throw ScenarioError(command.line, "bad " + what + " '" + text + "'");
    }
    return value;
}

unsigned long DecimalOption(const Command& command, const std::string& key, unsigned long fallback,
                            unsigned long max) {
    auto found = command.options.find(key);
    return found == command.options.end() ? fallback
                                          : ParseNumber(command, found->second, 0, max, key);
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

}  // namespace ampsim
