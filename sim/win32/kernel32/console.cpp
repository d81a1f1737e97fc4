// The console of a console program: its command line and its standard output and error. The
// console's lines are the event log's `proc NAME TEXT` lines (NAME the program's, whichever
// run of it wrote them), one a line as it ends (LF, a CR before it dropped). Input, screen
// buffers, colours and code pages are not modelled.
#include <windows.h>

#include <string>

#include "win32/kernel32/console.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/process.h"

namespace {

// The pseudo-handles Windows gave console streams before Windows 8, which no handle table
// hands out.
constexpr uintptr_t kConsoleOutput = 0x7;
constexpr uintptr_t kConsoleError = 0xB;

void ShowLine(const sim::win32::Process& process, std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    sim::win32::Log("proc", process.image() + " " + line);
}

}  // namespace

namespace sim::win32 {

bool IsConsoleHandle(uintptr_t handle) {
    return handle == kConsoleOutput || handle == kConsoleError;
}

bool WriteConsoleText(const void* bytes, size_t length) {
    Process& process = CurrentProcess();
    if (!process.console) {
        return false;
    }
    process.console_text.append(static_cast<const char*>(bytes), length);
    for (size_t end = process.console_text.find('\n'); end != std::string::npos;
         end = process.console_text.find('\n')) {
        ShowLine(process, process.console_text.substr(0, end));
        process.console_text.erase(0, end + 1);
    }
    return true;
}

void EndConsoleLine(Process& process) {
    if (!process.console_text.empty()) {
        ShowLine(process, process.console_text);
        process.console_text.clear();
    }
}

}  // namespace sim::win32

// The console's output and error streams of a program started with a console (both write to
// the one console, as in a command prompt's window); NULL for the input stream, which is not
// modelled, and for a program without a console (a GUI program), as Windows documents for a
// process without standard handles. Another number fails with ERROR_INVALID_HANDLE.
HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
    if (nStdHandle != STD_INPUT_HANDLE && nStdHandle != STD_OUTPUT_HANDLE &&
        nStdHandle != STD_ERROR_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (nStdHandle == STD_INPUT_HANDLE || !sim::win32::CurrentProcess().console) {
        return NULL;
    }
    return reinterpret_cast<HANDLE>(nStdHandle == STD_OUTPUT_HANDLE ? kConsoleOutput
                                                                    : kConsoleError);
}

// The command line the process was started with, the program's name first; the text stays
// for the process's life. Threads no program started see an empty one.
LPSTR WINAPI GetCommandLineA(void) {
    return const_cast<LPSTR>(sim::win32::CurrentProcess().command_line().c_str());
}
