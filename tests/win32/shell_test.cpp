// ShellExecuteExA starting cmd.exe with POWERCFG command lines: the power plans they change,
// the redirection they write, their exit codes and time, and the calls that fail.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pc/machine.h"
#include "win32/kernel32/file_system.h"
#include "win32/shell32/shell_control.h"

namespace {

const std::string kBalanced = "381b4222-f694-41f0-9685-ff5bb260df2e";
const std::string kUsb =
    "2a737441-1930-4402-8d77-b2bebba308a3 48e6b7a6-50f5-4782-a5d4-53bb8f07e226";
const char kActiveScheme[] =
    "Power Scheme GUID: 381b4222-f694-41f0-9685-ff5bb260df2e  (Balanced)\r\n";
const char kDoesNotExist[] = "The power scheme, subgroup or setting specified does not exist.\r\n";
const char kInvalid[] = "Invalid Parameters -- try \"/?\" for help\r\n";

// Starts cmd.exe as Ampwise does and returns the call's result; *process gets the handle.
BOOL Start(const std::string& parameters, HANDLE* process, DWORD mask = SEE_MASK_NOCLOSEPROCESS,
           DWORD size = 60, const char* file = "cmd.exe", const char* verb = "open") {
    SHELLEXECUTEINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.cbSize = size;
    info.fMask = mask | SEE_MASK_FLAG_DDEWAIT;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters.c_str();
    info.nShow = 0;
    BOOL started = ShellExecuteExA(&info);
    EXPECT_EQ(started != FALSE, (INT_PTR)info.hInstApp > 32) << parameters;
    *process = info.hProcess;
    return started;
}

// Runs `body` on a thread of a fresh machine and returns the machine's "proc" lines.
std::vector<std::string> OnMachine(const std::function<void()>& body) {
    sim::Machine machine(0);
    machine.scheduler.Spawn("program", body);
    sim::RunOutcome outcome = machine.scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    return machine.log.Texts("proc");
}

struct CommandCase {
    std::string parameters;
    DWORD exit_code;
    const char* file;      // the redirection target
    const char* content;   // what it holds afterwards, nullptr for no file
    std::string balanced;  // Balanced's line afterwards
    std::string applied;   // "ac=N dc=N" in force afterwards
};

TEST(Shell, PowercfgCommandLinesChangeThePowerPlansAndWriteTheirRedirection) {
    const std::string balanced = kBalanced + " (Balanced) ";
    const CommandCase cases[] = {
        {"/c POWERCFG -GETACTIVESCHEME > c:\\a.out", 0, "c:\\a.out", kActiveScheme,
         balanced + "ac=1 dc=1 active", "ac=1 dc=1"},
        {"/c POWERCFG -SetAcValueIndex " + kBalanced + " " + kUsb + " 000", 0, nullptr, nullptr,
         balanced + "ac=0 dc=1 active", "ac=1 dc=1"},
        {"/c POWERCFG -SETDCVALUEINDEX " + kBalanced + " " + kUsb + " 000", 0, nullptr, nullptr,
         balanced + "ac=0 dc=0 active", "ac=1 dc=1"},
        {"/c POWERCFG -SETACTIVE " + kBalanced, 0, nullptr, nullptr, balanced + "ac=0 dc=0 active",
         "ac=0 dc=0"},
        {"/c powercfg /setacvalueindex SCHEME_CURRENT SUB_USB "
         "48e6b7a6-50f5-4782-a5d4-53bb8f07e226 0x1 > c:\\b.out",
         0, "c:\\b.out", "", balanced + "ac=1 dc=0 active", "ac=0 dc=0"},
        {"/c POWERCFG -S SCHEME_MIN", 0, nullptr, nullptr, balanced + "ac=1 dc=0", "ac=1 dc=1"},
        {"/c POWERCFG -SETACTIVE 00000000-0000-0000-0000-000000000000 > c:\\e.out", 1, "c:\\e.out",
         kDoesNotExist, balanced + "ac=1 dc=0", "ac=1 dc=1"},
        {"/c POWERCFG -SETDCVALUEINDEX " + kBalanced + " " + kUsb + " 2 > c:\\e.out", 1,
         "c:\\e.out", kInvalid, balanced + "ac=1 dc=0", "ac=1 dc=1"},
        {"/c POWERCFG -SETACVALUEINDEX " + kBalanced + " SUB_USB 1 > c:\\e.out", 1, "c:\\e.out",
         kInvalid, balanced + "ac=1 dc=0", "ac=1 dc=1"},
        {"/c POWERCFG -LIST > c:\\e.out", 1, "c:\\e.out", kInvalid, balanced + "ac=1 dc=0",
         "ac=1 dc=1"},
        {"/c notepad > c:\\n.out", 9009, "c:\\n.out", "", balanced + "ac=1 dc=0", "ac=1 dc=1"},
        {"/c POWERCFG -GETACTIVESCHEME > c:\\nodir\\a.out", 1, "c:\\nodir\\a.out", nullptr,
         balanced + "ac=1 dc=0", "ac=1 dc=1"},
    };
    OnMachine([&] {
        for (const CommandCase& entry : cases) {
            HANDLE process = NULL;
            sim::Ticks start = sim::CurrentScheduler().Now();
            ASSERT_TRUE(Start(entry.parameters, &process)) << entry.parameters;
            ASSERT_NE(process, nullptr);
            EXPECT_EQ(WaitForSingleObject(process, INFINITE), WAIT_OBJECT_0);
            DWORD code = 0;
            EXPECT_TRUE(GetExitCodeProcess(process, &code));
            EXPECT_EQ(code, entry.exit_code) << entry.parameters;
            EXPECT_TRUE(CloseHandle(process));
            if (entry.file != nullptr) {
                std::optional<std::string> content = sim::win32::ReadWholeFile(entry.file);
                EXPECT_EQ(content.has_value(), entry.content != nullptr) << entry.parameters;
                EXPECT_EQ(content.value_or(""), entry.content != nullptr ? entry.content : "")
                    << entry.parameters;
            }
            std::vector<std::string> lines = sim::win32::PowerPlanLines();
            EXPECT_EQ(lines[0], entry.balanced) << entry.parameters;
            sim::win32::PowerScheme applied = sim::win32::AppliedSettings();
            EXPECT_EQ("ac=" + std::to_string(applied.ac) + " dc=" + std::to_string(applied.dc),
                      entry.applied)
                << entry.parameters;
            bool opened = entry.content != nullptr || entry.file == nullptr;
            EXPECT_EQ(sim::CurrentScheduler().Now() - start, opened ? 150 * sim::kTicksPerMs : 0)
                << entry.parameters;
        }
    });
}

TEST(Shell, TheRedirectionIsEmptyUntilTheCommandHasPrinted) {
    OnMachine([] {
        sim::win32::SetCommandDuration(400);
        sim::win32::WriteWholeFile("c:\\a.out", "stale");
        HANDLE process = NULL;
        ASSERT_TRUE(Start("/c POWERCFG -GETACTIVESCHEME > c:\\a.out", &process, 0));
        EXPECT_EQ(process, nullptr) << "a handle without SEE_MASK_NOCLOSEPROCESS";
        Sleep(300);
        EXPECT_EQ(sim::win32::ReadWholeFile("c:\\a.out"), "");
        Sleep(101);
        EXPECT_EQ(sim::win32::ReadWholeFile("c:\\a.out"), kActiveScheme);
    });
}

TEST(Shell, TheActiveSchemeOutputCanBeReplaced) {
    OnMachine([] {
        sim::win32::SetActiveSchemeOutput("Power Scheme GUID 381b4222\r\n");
        HANDLE process = NULL;
        ASSERT_TRUE(Start("/c POWERCFG -GETACTIVESCHEME > c:\\a.out", &process));
        WaitForSingleObject(process, INFINITE);
        CloseHandle(process);
        EXPECT_EQ(sim::win32::ReadWholeFile("c:\\a.out"), "Power Scheme GUID 381b4222\r\n");
    });
}

TEST(Shell, EachStartIsAProcLine) {
    std::vector<std::string> lines = OnMachine([] {
        HANDLE process = NULL;
        Start("/c POWERCFG -GETACTIVESCHEME > c:\\a.out", &process, 0);
        Start("/c POWERCFG -SETACTIVE " + kBalanced, &process, 0, 60, "CMD.EXE", "runas");
        Start("count 1", &process, 0, 60, "win32_test_program.exe");
        std::vector<sim::win32::StartedCommand> started = sim::win32::StartedCommands();
        ASSERT_EQ(started.size(), 3u);
        EXPECT_EQ(started[1].file, "CMD.EXE");
        EXPECT_NE(started[0].process_id, started[1].process_id);
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"cmd.exe /c POWERCFG -GETACTIVESCHEME > c:\\a.out",
                                               "CMD.EXE /c POWERCFG -SETACTIVE " + kBalanced,
                                               "win32_test_program.exe count 1"}));
}

struct FailureCase {
    const char* what;
    DWORD size;
    const char* file;
    const char* verb;
    bool fault;
    DWORD error;
};

TEST(Shell, FailedStartsReportWhatWindowsReports) {
    const FailureCase cases[] = {
        {"the 64-bit size", static_cast<DWORD>(sizeof(SHELLEXECUTEINFOA)), "cmd.exe", "open", false,
         ERROR_ACCESS_DENIED},
        {"no size", 0, "cmd.exe", "open", false, ERROR_ACCESS_DENIED},
        {"the cmd.exe fault", 60, "cmd.exe", "open", true, ERROR_FILE_NOT_FOUND},
        {"a program that is not there", 60, "nothing.exe", "open", false, ERROR_FILE_NOT_FOUND},
        {"a verb a program has not", 60, "cmd.exe", "print", false, ERROR_NO_ASSOCIATION},
    };
    for (const FailureCase& entry : cases) {
        std::vector<std::string> lines = OnMachine([&] {
            if (entry.fault) {
                sim::Machine::Current().faults.Arm(sim::Fault::kCmdExe);
            }
            HANDLE process = reinterpret_cast<HANDLE>(1);
            SetLastError(0);
            EXPECT_FALSE(Start("/c POWERCFG -GETACTIVESCHEME > c:\\a.out", &process,
                               SEE_MASK_NOCLOSEPROCESS, entry.size, entry.file, entry.verb))
                << entry.what;
            EXPECT_EQ(GetLastError(), entry.error) << entry.what;
            Sleep(1000);
            EXPECT_EQ(sim::win32::ReadWholeFile("c:\\a.out"), std::nullopt) << entry.what;
        });
        EXPECT_TRUE(lines.empty()) << entry.what;
    }
}

}  // namespace
