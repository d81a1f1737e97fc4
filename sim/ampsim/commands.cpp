#include "ampsim/commands.h"

#include "ampsim/values.h"

namespace ampsim {

void Model::SetConnected(const std::string& name, bool connected) {
    std::vector<std::string> pending{name};
    while (!pending.empty()) {
        std::string current = pending.back();
        pending.pop_back();
        nodes[current].connected = connected;
        for (const auto& [where, child] : occupied) {
            if (where.first == current) {
                pending.push_back(child);
            }
        }
    }
}

void Model::LeavePort(const std::string& name) {
    for (auto it = occupied.begin(); it != occupied.end(); ++it) {
        if (it->second == name) {
            occupied.erase(it);
            return;
        }
    }
}

const CommandEntry* FindCommand(const std::string& verb) {
    for (std::span<const CommandEntry> subject :
         {HardwareCommands(), DriverCommands(), RegistryCommands(), AppCommands(), UiCommands(),
          RunCommands(), FlowCommands()}) {
        for (const CommandEntry& entry : subject) {
            if (verb == entry.verb) {
                return &entry;
            }
        }
    }
    return nullptr;
}

void ThrowUsage(const Command& command) {
    throw ScenarioError(command.line, "usage: " + std::string(FindCommand(command.verb)->usage));
}

void RequireWords(const Command& command, size_t count) {
    if (command.words.size() != count) {
        ThrowUsage(command);
    }
}

void RequireOptions(const Command& command, const std::set<std::string>& allowed) {
    for (const auto& [key, value] : command.options) {
        if (allowed.count(key) == 0) {
            throw ScenarioError(command.line, "unknown option " + Quote(key));
        }
    }
}

void RequireProgram(const Command& command, const Model& model, const std::string& does) {
    if (model.programs_started == 0) {
        throw ScenarioError(command.line, "no program " + does + ": write app start first");
    }
}

int CopyOption(const Command& command, const Model& model, int fallback) {
    int copy = static_cast<int>(NumberOption(command, "copy", static_cast<uint64_t>(fallback), 64));
    if (command.options.count("copy") != 0 && (copy == 0 || copy > model.programs_started)) {
        throw ScenarioError(command.line, "copy=" + std::to_string(copy) + " was not started");
    }
    return copy;
}

void RequireBare(const Command& command) {
    RequireOptions(command, {});
    RequireWords(command, 0);
}

}  // namespace ampsim
