#include "ampsim/scenario.h"

#include "ampsim/values.h"

namespace ampsim {
namespace {

struct Words {
    std::vector<std::string> words;
    // Where each word's first '=' outside quotes stands; npos for none.
    std::vector<size_t> equals;
    bool background = false;
};

Words SplitWords(const std::string& line, int number) {
    Words result;
    std::string word;
    bool in_word = false;
    bool quoted = false;
    bool was_quoted = false;
    size_t equals = std::string::npos;
    auto end_word = [&] {
        if (result.background) {
            throw ScenarioError(number, "'&' must end the line");
        }
        if (word == "&" && !was_quoted) {
            result.background = true;
        } else {
            result.words.push_back(word);
            result.equals.push_back(equals);
        }
        word.clear();
        equals = std::string::npos;
        in_word = false;
        was_quoted = false;
    };
    for (char c : line) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\r') || byte == 0x7F) {
            throw ScenarioError(number,
                                "control character " + Quote(std::string(1, c)) + " in the line");
        }
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
            was_quoted = true;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (in_word) {
                end_word();
            }
        } else {
            if (c == '=' && equals == std::string::npos) {
                equals = word.size();
            }
            word += c;
            in_word = true;
        }
    }
    if (quoted) {
        throw ScenarioError(number, "unterminated quoted value");
    }
    if (in_word) {
        end_word();
    }
    if (result.background && result.words.empty()) {
        throw ScenarioError(number, "'&' needs a command before it");
    }
    return result;
}

}  // namespace

bool CommandReader::Next(Command* command) {
    const std::string& text = *text_;
    while (position_ < text.size()) {
        size_t end = text.find('\n', position_);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(position_, end - position_);
        position_ = end + 1;
        int number = ++line_;
        Words split = SplitWords(line, number);
        if (split.words.empty()) {
            continue;
        }
        const std::vector<std::string>& words = split.words;
        *command = Command{};
        command->line = number;
        command->verb = words[0];
        command->background = split.background;
        command->args.assign(words.begin() + 1, words.end());
        for (size_t i = 1; i < words.size(); ++i) {
            size_t equals = split.equals[i];
            if (equals == std::string::npos || equals == 0) {
                command->words.push_back(words[i]);
                continue;
            }
            std::string key = words[i].substr(0, equals);
            if (!command->options.emplace(key, words[i].substr(equals + 1)).second) {
                throw ScenarioError(number, "option " + key + " given twice");
            }
        }
        return true;
    }
    return false;
}

}  // namespace ampsim
