// Scenario commands of the scenario's own course: letting time pass, and waiting for the
// lines started with '&'.
#include "ampsim/commands.h"
#include "ampsim/values.h"

namespace ampsim {

void BackgroundLines::Start(sim::Machine& machine, int line, Step step) {
    ++running_;
    machine.scheduler.Spawn("line " + std::to_string(line), [this, &machine, step] {
        step(machine);
        --running_;
        machine.scheduler.Signal(this, true);
    });
}

void BackgroundLines::Join(sim::Machine& machine) {
    while (running_ != 0) {
        machine.scheduler.Block(this, std::nullopt, "the lines started with '&'");
    }
}

namespace {

Step CompileWait(const Command& command, Model& model) {
    RequireOptions(command, {});
    RequireWords(command, 1);
    sim::Ticks duration = ParseDuration(command, command.words[0], kMaxWait);
    if (duration > kMaxWait - model.waited) {
        throw ScenarioError(command.line,
                            "the scenario's waits add up to more than " + FormatDuration(kMaxWait));
    }
    model.waited += duration;
    return [duration](sim::Machine& machine) {
        machine.scheduler.SleepFor(duration, "the scenario's wait");
    };
}

Step CompileSync(const Command& command, Model& model) {
    RequireBare(command);
    model.changing_in_background = 0;
    std::shared_ptr<BackgroundLines> background = model.background;
    return [background](sim::Machine& machine) { background->Join(machine); };
}

const CommandEntry kFlowCommands[] = {
    {"wait", "wait DURATION", CommandEntry::kEvent, false, false, CompileWait},
    {"sync", "sync", CommandEntry::kEvent, false, false, CompileSync},
};

}  // namespace

std::span<const CommandEntry> FlowCommands() {
    return kFlowCommands;
}

}  // namespace ampsim
