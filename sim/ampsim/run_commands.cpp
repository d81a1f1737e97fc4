// Scenario commands that start the machine's other programs, as the user starts them: `run
// editor`, the text editor the user types in beside Ampwise, started from the shell; and `run
// tabvoltctl ARGS`, typed at a command prompt and waited for, beside Ampwise and the driver.
#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "win32/process/process.h"
#include "win32/shell32/editor.h"
#include "win32/user32/user32_control.h"

namespace ampsim {
namespace {

Step CompileEditor(const Command& command) {
    RequireOptions(command, {});
    if (command.words.size() != 1) {
        ThrowUsage(command);
    }
    return [](sim::Machine&) {
        // The user's click on the shell's entry: the shell, in front, lets the program it
        // starts take the foreground.
        std::shared_ptr<sim::win32::Process> editor =
            sim::win32::StartBuiltinProcess("editor.exe", "editor.exe", sim::win32::RunEditor);
        sim::win32::TaskbarClicked(editor->id());
    };
}

// The argument as a command line carries it so that the C runtime reads it back whole: in
// double quotes when it holds a blank or a quote, a quote and the backslashes before it
// escaped, and the backslashes before the closing quote doubled.
std::string CommandLineArgument(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        return argument;
    }
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
        } else {
            quoted.append(c == '"' ? backslashes + 1 : 0, '\\');
            backslashes = 0;
        }
        quoted += c;
    }
    quoted.append(backslashes, '\\');
    return quoted + "\"";
}

// Starts the console program and waits for its end: its lines are `proc NAME TEXT`, then
// `proc NAME exit CODE`.
void RunToEnd(sim::Machine& machine, const std::string& image, const std::string& command_line) {
    sim::win32::StartOptions options;
    options.console = true;
    std::string error;
    std::shared_ptr<sim::win32::Process> process =
        sim::win32::StartProcess(image, command_line, options, &error);
    if (process == nullptr) {
        machine.Log("proc", image + " not-started " + error);
        return;
    }
    while (!process->signaled()) {
        machine.scheduler.Block(process.get(), std::nullopt, "the end of " + process->Describe(),
                                process->SignaledBy());
    }
    machine.Log("proc", process->image() + " exit " + std::to_string(process->exit_code()));
}

// Every word after the program's name is one of its arguments, in order.
Step CompileConsoleProgram(const Command& command) {
    const std::string& program = command.args[0];
    std::string command_line = program + ".exe";
    for (size_t i = 1; i < command.args.size(); ++i) {
        command_line += " " + CommandLineArgument(command.args[i]);
    }
    return [program, command_line](sim::Machine& machine) {
        RunToEnd(machine, program, command_line);
    };
}

Step CompileRun(const Command& command, Model& model) {
    if (command.args.empty()) {
        ThrowUsage(command);
    }
    const std::string& program = command.args[0];
    if (program != "editor" && program != "tabvoltctl") {
        throw ScenarioError(command.line, "no program " + Quote(program) + " to run");
    }
    ++model.programs_run;
    return program == "editor" ? CompileEditor(command) : CompileConsoleProgram(command);
}

const CommandEntry kRunCommands[] = {
    {"run", "run editor | run tabvoltctl [ARG...]", CommandEntry::kEvent, true, false, CompileRun},
};

}  // namespace

std::span<const CommandEntry> RunCommands() {
    return kRunCommands;
}

}  // namespace ampsim
