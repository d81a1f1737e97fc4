#include <windows.h>

#include <string>

#include "win32/kernel32/machine_link.h"
#include "win32/process/process.h"

// Hands the text to the debugger: on the simulated PC, the event log's "app" category as
// "dbg TEXT" ("dbg#2 TEXT" from the second copy of a program), one event for each line of the
// text as a debugger shows them, without the final line feed. A NULL pointer prints nothing;
// the Unicode conversion Windows 10 does for wide debuggers is not modelled.
void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
    if (lpOutputString == NULL || !sim::win32::LogWants("app")) {
        return;
    }
    std::string text = lpOutputString;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    int copy = sim::win32::CurrentProcess().copy();
    std::string tag = copy <= 1 ? "dbg " : "dbg#" + std::to_string(copy) + " ";
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        sim::win32::Log("app", tag + text.substr(start, end - start));
        start = end + 1;
    }
    sim::win32::Log("app", tag + text.substr(start));
}
