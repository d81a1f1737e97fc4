// Test surface of the shell's programs: the power plans POWERCFG works on, what its
// -GETACTIVESCHEME prints, how long cmd.exe takes, and the processes ShellExecuteExA started.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::win32 {

// A power scheme and its USB selective-suspend setting (1 enabled, 0 disabled) on AC and DC.
struct PowerScheme {
    std::string guid;  // lower case
    std::string name;
    uint32_t ac = 1;
    uint32_t dc = 1;
};

// Balanced (active), High performance and Power saver, suspend enabled, until changed.
std::vector<PowerScheme> PowerSchemes();
std::string ActiveScheme();
// The values of the active scheme that are in force: those of the last -SETACTIVE (or of
// the start), as Windows applies an edited active scheme only when it is set active again.
PowerScheme AppliedSettings();
// One line per scheme for a listing, the active one marked:
// "381b4222-f694-41f0-9685-ff5bb260df2e (Balanced) ac=1 dc=1 active".
std::vector<std::string> PowerPlanLines();
// Replaces what -GETACTIVESCHEME prints (nullopt: the real format).
void SetActiveSchemeOutput(std::optional<std::string> text);

// The virtual time a cmd.exe run takes between opening its redirection and writing what the
// command printed (150 ms unless changed).
void SetCommandDuration(uint32_t milliseconds);

struct StartedCommand {
    std::string file;        // as the program named it: "cmd.exe"
    std::string parameters;  // "/c POWERCFG -GETACTIVESCHEME > c:\a.out"
    uint32_t process_id = 0;
};
// What ShellExecuteExA started on this machine, in order.
std::vector<StartedCommand> StartedCommands();

}  // namespace sim::win32
