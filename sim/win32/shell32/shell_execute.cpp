// ShellExecuteExA for programs: cmd.exe (built in) and the program images the host knows,
// started as processes of their own. Verbs other than "open" and "runas", documents and
// their associations, DDE, working directories and the consent prompt of "runas" (the
// caller already runs elevated) are not modelled.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>

#include "pc/machine.h"
#include "win32/ascii_lower.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/process.h"
#include "win32/process/program_images.h"
#include "win32/shell32/cmd_exe.h"
#include "win32/shell32/shell_control.h"

namespace sim::win32 {
namespace {

// The size a 32-bit program passes in cbSize.
constexpr DWORD kExecuteInfoSize = 60;
// What hInstApp holds after success: any value above 32.
constexpr INT_PTR kStarted = 42;

struct Started {
    std::vector<StartedCommand> commands;
};

bool IsCmdExe(const std::string& file) {
    std::string name = AsciiLower(file);
    for (const char* known : {"cmd", "cmd.exe", "c:\\windows\\system32\\cmd.exe"}) {
        if (name == known) {
            return true;
        }
    }
    return false;
}

BOOL Fail(SHELLEXECUTEINFOA* info, DWORD error, INT_PTR code) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(code);
    SetLastError(error);
    return FALSE;
}

}  // namespace

std::vector<StartedCommand> StartedCommands() {
    return Machine::Current().Extension<Started>().commands;
}

}  // namespace sim::win32

// Starts the program and returns at once; hProcess receives a handle to the new process with
// SEE_MASK_NOCLOSEPROCESS (the caller closes it). Each start is a "proc" event, "FILE PARAMETERS".
// A cbSize other than the 32-bit form's fails with ERROR_ACCESS_DENIED; a program that is not
// there, or the "cmd.exe" fault, with ERROR_FILE_NOT_FOUND and SE_ERR_FNF in hInstApp.
BOOL WINAPI ShellExecuteExA(SHELLEXECUTEINFOA* pExecInfo) {
    using namespace sim::win32;
    if (pExecInfo == NULL || pExecInfo->cbSize != kExecuteInfoSize) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    pExecInfo->hProcess = NULL;
    std::string verb = pExecInfo->lpVerb == NULL ? "open" : AsciiLower(pExecInfo->lpVerb);
    if (verb != "open" && verb != "runas") {
        return Fail(pExecInfo, ERROR_NO_ASSOCIATION, SE_ERR_NOASSOC);
    }
    std::string file = pExecInfo->lpFile == NULL ? "" : pExecInfo->lpFile;
    std::string parameters = pExecInfo->lpParameters == NULL ? "" : pExecInfo->lpParameters;
    std::shared_ptr<Process> process;
    if (IsCmdExe(file)) {
        if (!FaultHits("cmd.exe")) {
            process = StartBuiltinProcess("cmd.exe", parameters,
                                          [parameters] { return RunCmdExe(parameters); });
        }
    } else if (FindProgramImage(file) != nullptr) {
        process = StartProcess(file, parameters);
    }
    if (process == nullptr) {
        return Fail(pExecInfo, ERROR_FILE_NOT_FOUND, SE_ERR_FNF);
    }
    if (LogWants("proc")) {
        Log("proc", file + (parameters.empty() ? "" : " " + parameters));
    }
    sim::Machine::Current().Extension<Started>().commands.push_back(
        {file, parameters, process->id()});
    pExecInfo->hInstApp = reinterpret_cast<HINSTANCE>(kStarted);
    if ((pExecInfo->fMask & SEE_MASK_NOCLOSEPROCESS) != 0) {
        pExecInfo->hProcess = reinterpret_cast<HANDLE>(InsertObjectHandle(process));
    }
    return TRUE;
}
