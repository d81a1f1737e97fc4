// Scenario commands of the application: starting Ampwise, the user's clicks on its tray
// icon and choices in its menu, the power plans its POWERCFG runs change, what SETUPAPI
// allows it under WOW64, and the screen it shows on (its size, and snapshots of it).
#include "ampsim/app_session.h"
#include "ampsim/commands.h"
#include "ampsim/values.h"
#include "win32/gdi32/screen_control.h"
#include "win32/setupapi/setupapi_control.h"

namespace ampsim {
namespace {

// How long `menu` waits for the menu that a click opens: the click is posted, and the
// program's thread may first finish what it was doing.
constexpr sim::Ticks kMenuPatience = 10 * sim::kTicksPerSecond;

// The two switches of the string table: the skip option and the power-plan option.
constexpr uint32_t kSkipOptionString = 1002;
constexpr uint32_t kPowerPlanOptionString = 1008;

Step CompileApp(const Command& command, Model& model) {
    if (command.words.size() != 1 || command.words[0] != "start") {
        ThrowUsage(command);
    }
    RequireOptions(command, {"str1002", "str1008"});
    if (model.repeating != 0) {
        throw ScenarioError(
            command.line, "app start cannot stand inside repeat: each copy has a line of its own");
    }
    StringOverrides strings;
    for (auto [key, id] :
         {std::pair{"str1002", kSkipOptionString}, std::pair{"str1008", kPowerPlanOptionString}}) {
        auto found = command.options.find(key);
        if (found != command.options.end()) {
            strings[id] = found->second;
        }
    }
    ++model.programs_started;
    return [strings](sim::Machine& machine) { StartAmpwise(machine, strings); };
}

Step CompileClick(const Command& command, Model& model) {
    if (command.words.size() != 1 || command.words[0] != "tray") {
        ThrowUsage(command);
    }
    RequireOptions(command, {"copy"});
    RequireProgram(command, model, "shows a tray icon");
    int copy = CopyOption(command, model, 1);
    bool right = command.verb == "rightclick";
    return [right, copy](sim::Machine& machine) {
        if (!ClickTray(machine, right, copy)) {
            machine.Log("tray", "no icon to click");
        }
    };
}

Step CompileMenu(const Command& command, Model& model) {
    RequireOptions(command, {"copy"});
    RequireWords(command, 1);
    RequireProgram(command, model, "opens a menu");
    int copy = CopyOption(command, model, 0);
    if (command.words[0].empty()) {
        throw ScenarioError(command.line, "an empty label: write menu none to dismiss the menu");
    }
    std::string label = command.words[0] == "none" ? "" : command.words[0];
    return [label, copy](sim::Machine& machine) {
        switch (AnswerMenu(machine, label, copy, kMenuPatience)) {
            case MenuAnswer::kDone:
                break;
            case MenuAnswer::kNoneOpen:
                machine.Log("menu", "none-open");
                break;
            case MenuAnswer::kNoEntry:
                machine.Log("menu", "no-entry \"" + label + "\"");
                break;
        }
    };
}

Step CompilePowercfg(const Command& command, Model&) {
    RequireWords(command, 0);
    RequireOptions(command, {"output"});
    auto found = command.options.find("output");
    if (found == command.options.end()) {
        return [](sim::Machine& machine) { PrintPowerPlans(machine); };
    }
    std::string output = found->second;
    return [output](sim::Machine& machine) { SetActiveSchemeOutput(machine, output); };
}

// Whether SetupDiChangeState works for a 32-bit program on this 64-bit Windows, from here on.
Step CompileSetupApi(const Command& command, Model&) {
    RequireWords(command, 0);
    RequireOptions(command, {"wow64"});
    auto found = command.options.find("wow64");
    if (found == command.options.end() || (found->second != "allow" && found->second != "refuse")) {
        ThrowUsage(command);
    }
    bool refused = found->second == "refuse";
    return [refused](sim::Machine&) { sim::win32::SetChangeStateInWow64(refused); };
}

// The screen's size and taskbar, which the machine has from power-on.
Step CompileScreen(const Command& command, Model&) {
    RequireWords(command, 2);
    RequireOptions(command, {"taskbar"});
    int width = static_cast<int>(ParseNumber(command, command.words[0], 10, 8192, "width"));
    int height = static_cast<int>(ParseNumber(command, command.words[1], 10, 8192, "height"));
    int taskbar = static_cast<int>(NumberOption(command, "taskbar", 40, 8192));
    if (width < 320 || height < 200 || taskbar >= height) {
        throw ScenarioError(command.line,
                            "the screen is at least 320 x 200 and taller than its taskbar");
    }
    return
        [width, height, taskbar](sim::Machine&) { sim::win32::SetScreen(width, height, taskbar); };
}

// A PNG picture of the screen as it is at this line.
Step CompileSnapshot(const Command& command, Model&) {
    RequireWords(command, 1);
    RequireOptions(command, {});
    std::string file = command.words[0];
    if (file.size() < 5 || file.substr(file.size() - 4) != ".png") {
        throw ScenarioError(command.line, "a snapshot is a .png file: " + Quote(file));
    }
    return [file](sim::Machine& machine) {
        std::string error;
        if (sim::win32::SaveSnapshot(file, &error)) {
            machine.Log("ui", "snapshot " + file);
        } else {
            machine.Log("ui", "snapshot failed: " + error);
        }
    };
}

const CommandEntry kAppCommands[] = {
    {"app", "app start [str1002=TEXT] [str1008=TEXT]", CommandEntry::kEvent, true, false,
     CompileApp},
    {"rightclick", "rightclick tray [copy=N]", CommandEntry::kEvent, true, false, CompileClick},
    {"leftclick", "leftclick tray [copy=N]", CommandEntry::kEvent, true, false, CompileClick},
    {"menu", "menu LABEL|none [copy=N]", CommandEntry::kEvent, true, false, CompileMenu},
    {"powercfg", "powercfg [output=TEXT]", CommandEntry::kEvent, true, false, CompilePowercfg},
    {"setupapi", "setupapi wow64=allow|refuse", CommandEntry::kEvent, false, false,
     CompileSetupApi},
    {"screen", "screen WIDTH HEIGHT [taskbar=N]", CommandEntry::kDefinition, false, false,
     CompileScreen},
    {"snapshot", "snapshot FILE.png", CommandEntry::kEvent, false, false, CompileSnapshot},
};

}  // namespace

std::span<const CommandEntry> AppCommands() {
    return kAppCommands;
}

}  // namespace ampsim
