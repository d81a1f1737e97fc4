#include "win32/shell32/cmd_exe.h"

#include <windows.h>

#include <algorithm>
#include <sstream>
#include <vector>

#include "pc/machine.h"
#include "win32/ascii_lower.h"
#include "win32/kernel32/file_system.h"
#include "win32/shell32/powercfg.h"
#include "win32/shell32/shell_control.h"

namespace sim::win32 {
namespace {

constexpr uint32_t kNotRecognised = 9009;  // cmd.exe's exit code for an unknown command

struct CmdSettings {
    uint32_t duration_ms = 150;
};

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    return words;
}

// The command, and the file its output goes to ("" for none; `append` for ">>").
struct Parsed {
    std::string command;
    std::string target;
    bool append = false;
};

Parsed Parse(const std::string& line) {
    Parsed parsed;
    size_t redirect = line.find('>');
    parsed.command = Trim(line.substr(0, redirect));
    if (redirect != std::string::npos) {
        parsed.append = line.compare(redirect, 2, ">>") == 0;
        parsed.target = Trim(line.substr(redirect + (parsed.append ? 2 : 1)));
    }
    return parsed;
}

CommandResult RunCommand(const std::string& command) {
    std::vector<std::string> words = Words(command);
    if (words.empty()) {
        return {"", 0};
    }
    std::string program = AsciiLower(words[0]);
    if (program == "powercfg" || program == "powercfg.exe") {
        return RunPowercfg(std::vector<std::string>(words.begin() + 1, words.end()));
    }
    // The complaint goes to the standard error, which is not redirected.
    return {"", kNotRecognised};
}

}  // namespace

// Opens the redirection first (so a reader meanwhile finds the file empty), spends the
// command's time, then writes what the command printed. A target that cannot be opened ends
// the run with exit code 1, as cmd.exe does after its message. Output without redirection,
// the standard error, "/k", pipes and everything but POWERCFG are not modelled.
uint32_t RunCmdExe(const std::string& parameters) {
    std::string line = Trim(parameters);
    if (line.size() < 2 || (line.compare(0, 2, "/c") != 0 && line.compare(0, 2, "/C") != 0)) {
        return 1;
    }
    Parsed parsed = Parse(line.substr(2));
    std::shared_ptr<OpenFile> output;
    if (!parsed.target.empty()) {
        uint32_t error = 0;
        output = OpenFileByPath(parsed.target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                parsed.append ? OPEN_ALWAYS : CREATE_ALWAYS, &error);
        if (output == nullptr) {
            return 1;
        }
        if (parsed.append) {
            output->SeekToEnd();
        }
    }
    Sleep(Machine::Current().Extension<CmdSettings>().duration_ms);
    CommandResult result = RunCommand(parsed.command);
    if (output != nullptr) {
        output->Write(result.output.data(), result.output.size());
    }
    return result.exit_code;
}

void SetCommandDuration(uint32_t milliseconds) {
    Machine::Current().Extension<CmdSettings>().duration_ms = milliseconds;
}

}  // namespace sim::win32
