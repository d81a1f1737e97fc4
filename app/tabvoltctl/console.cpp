#include "console.h"

#include <windows.h>

#include <stdio.h>

namespace {

// Line ends as Windows' text files and consoles take them, CR LF.
void WriteLine(DWORD stream, const std::string& text) {
    std::string line;
    for (char c : text + "\n") {
        line += c == '\n' ? "\r\n" : std::string(1, c);
    }
    HANDLE handle = GetStdHandle(stream);
    DWORD written = 0;
    if (handle != NULL && handle != INVALID_HANDLE_VALUE) {
        WriteFile(handle, line.data(), (DWORD)line.size(), &written, NULL);
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

// The rules of Microsoft's C runtime: blanks separate arguments except inside double quotes;
// 2n backslashes before a quote are n backslashes and the quote opens or closes; 2n+1 are n
// and a literal quote; other backslashes are literal. The program's name ends at the first
// blank outside quotes and takes no backslash rule.
std::vector<std::string> CommandArguments() {
    const char* at = GetCommandLineA();
    bool quoted = false;
    for (; *at != '\0' && (quoted || !IsBlank(*at)); ++at) {
        if (*at == '"') {
            quoted = !quoted;
        }
    }
    std::vector<std::string> arguments;
    while (true) {
        while (IsBlank(*at)) {
            ++at;
        }
        if (*at == '\0') {
            return arguments;
        }
        std::string argument;
        quoted = false;
        for (; *at != '\0' && (quoted || !IsBlank(*at)); ++at) {
            size_t backslashes = 0;
            while (*at == '\\') {
                ++backslashes;
                ++at;
            }
            if (*at == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else {
                    quoted = !quoted;
                }
            } else {
                argument.append(backslashes, '\\');
                if (*at == '\0' || (!quoted && IsBlank(*at))) {
                    break;
                }
                argument += *at;
            }
        }
        arguments.push_back(argument);
    }
}

void WriteOut(const std::string& line) {
    WriteLine(STD_OUTPUT_HANDLE, line);
}

void WriteErr(const std::string& line) {
    WriteLine(STD_ERROR_HANDLE, line);
}

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += (char)c;
        } else if (c < 0x20 || c > 0x7E) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            json += escaped;
        } else {
            json += (char)c;
        }
    }
    return json + "\"";
}
