// Scenario commands that run a program to its end, as a person types it at a command prompt
// and waits: `run tabvoltctl ARGS`, beside Ampwise and the driver.
#include <algorithm>
#include <iterator>

#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "win32/process/process.h"

namespace ampsim {
namespace {

// The console programs `run` knows, by the name typed.
const char* const kConsolePrograms[] = {"tabvoltctl"};

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

// Starts the program with a console and waits for its end: its lines are `proc NAME TEXT`,
// then `proc NAME exit CODE`.
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

Step CompileRun(const Command& command, Model& model) {
    if (command.args.empty()) {
        ThrowUsage(command);
    }
    const std::string& program = command.args[0];
    if (std::find(std::begin(kConsolePrograms), std::end(kConsolePrograms), program) ==
        std::end(kConsolePrograms)) {
        throw ScenarioError(command.line, "no program " + Quote(program) + " to run");
    }
    std::string command_line = program + ".exe";
    for (size_t i = 1; i < command.args.size(); ++i) {
        command_line += " " + CommandLineArgument(command.args[i]);
    }
    ++model.programs_run;
    return [program, command_line](sim::Machine& machine) {
        RunToEnd(machine, program, command_line);
    };
}

const CommandEntry kEntries[] = {
    {"run", "run tabvoltctl [ARG...]", CommandEntry::kEvent, true, false, CompileRun},
};

}  // namespace

std::span<const CommandEntry> RunCommands() {
    return kEntries;
}

}  // namespace ampsim
