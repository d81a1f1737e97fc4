// Scenario commands of the person at the screen: moving the mouse, clicking a control of a
// window they can see, and pressing a key, which goes to the window with the keyboard focus.
#include <cctype>

#include "ampsim/app_session.h"
#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "win32/user32/user32_control.h"

namespace ampsim {
namespace {

constexpr uint32_t kVkReturn = 0x0D;
constexpr uint32_t kVkEscape = 0x1B;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

Step CompileCursor(const Command& command, Model& model) {
    RequireWords(command, 2);
    RequireOptions(command, {});
    RequireProgram(command, model, "shows a window");
    int x = static_cast<int>(ParseNumber(command, command.words[0], 10, 8191, "x"));
    int y = static_cast<int>(ParseNumber(command, command.words[1], 10, 8191, "y"));
    return [x, y](sim::Machine&) { sim::win32::MoveCursor(x, y); };
}

// WINDOW.CONTROL: a window's `ui` name and a control identifier, as a number or IDOK/IDCANCEL.
Step CompileClickControl(const Command& command, Model& model) {
    RequireWords(command, 1);
    RequireOptions(command, {"copy"});
    RequireProgram(command, model, "shows a window");
    int copy = CopyOption(command, model, 0);
    const std::string& target = command.words[0];
    size_t dot = target.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == target.size()) {
        ThrowUsage(command);
    }
    std::string window = target.substr(0, dot), control = target.substr(dot + 1);
    int id =
        control == "IDOK" ? kIdOk
        : control == "IDCANCEL"
            ? kIdCancel
            : static_cast<int>(ParseNumber(command, control, 10, 0xFFFF, "control identifier"));
    std::string of_copy = copy == 0 ? "" : " of copy " + std::to_string(copy);
    return [target, window, id, copy, of_copy](sim::Machine& machine) {
        sim::win32::WindowHandle hwnd = sim::win32::FindShownWindow(
            window, id, copy == 0 ? std::vector<const sim::SimThread*>{} : ThreadsOfCopy(copy));
        if (hwnd == nullptr || !sim::win32::ClickWindow(hwnd)) {
            machine.Log("ui", "no " + target + of_copy + " to click");
        }
    };
}

// ENTER, ESCAPE, or a letter or digit (the key of that character, typed without shift).
Step CompileKey(const Command& command, Model& model) {
    RequireWords(command, 1);
    RequireOptions(command, {"copy"});
    if (model.programs_run == 0) {
        RequireProgram(command, model, "shows a window");
    }
    int copy = CopyOption(command, model, 0);
    const std::string& name = command.words[0];
    bool character = name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]));
    if (name != "ENTER" && name != "ESCAPE" && !character) {
        ThrowUsage(command);
    }
    uint32_t key = character         ? static_cast<uint32_t>(std::toupper(name[0]))
                   : name == "ENTER" ? kVkReturn
                                     : kVkEscape;
    return [key, copy](sim::Machine& machine) {
        sim::win32::WindowHandle focus = sim::win32::FocusWindow();
        if (focus == nullptr || (copy != 0 && !WindowOfCopy(focus, copy))) {
            machine.Log("ui", copy == 0 ? "no window has the keyboard focus"
                                        : "no window of copy " + std::to_string(copy) +
                                              " has the keyboard focus");
            return;
        }
        sim::win32::PressKey(focus, key);
    };
}

const CommandEntry kUiCommands[] = {
    {"cursor", "cursor X Y", CommandEntry::kEvent, true, false, CompileCursor},
    {"click", "click WINDOW.CONTROL [copy=N]", CommandEntry::kEvent, true, false,
     CompileClickControl},
    {"key", "key ENTER|ESCAPE|LETTER|DIGIT [copy=N]", CommandEntry::kEvent, true, false,
     CompileKey},
};

}  // namespace

std::span<const CommandEntry> UiCommands() {
    return kUiCommands;
}

}  // namespace ampsim
