// Scenario commands that start the machine's other programs: `run editor`, the text editor
// the user types in beside Ampwise, started from the shell as the user starts a program.
#include "ampsim/commands.h"
#include "win32/process/process.h"
#include "win32/shell32/editor.h"
#include "win32/user32/user32_control.h"

namespace ampsim {
namespace {

Step CompileRun(const Command& command, Model& model) {
    RequireOptions(command, {});
    if (command.words.size() != 1 || command.words[0] != "editor") {
        ThrowUsage(command);
    }
    ++model.programs_run;
    return [](sim::Machine&) {
        // The user's click on the shell's entry: the shell, in front, lets the program it
        // starts take the foreground.
        std::shared_ptr<sim::win32::Process> editor =
            sim::win32::StartBuiltinProcess("editor.exe", "editor.exe", sim::win32::RunEditor);
        sim::win32::TaskbarClicked(editor->id());
    };
}

const CommandEntry kEntries[] = {
    {"run", "run editor", CommandEntry::kEvent, true, false, CompileRun},
};

}  // namespace

std::span<const CommandEntry> RunCommands() {
    return kEntries;
}

}  // namespace ampsim
