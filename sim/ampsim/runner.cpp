#include "ampsim/runner.h"

#include "ampsim/app_session.h"
#include "ampsim/values.h"
#include "filter.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "win32/gdi32/screen_control.h"
#include "win32/process/process.h"

namespace ampsim {

ScenarioRunner::ScenarioRunner(const std::string& text) {
    Compile(ParseScenario(text));
}

ScenarioRunner::~ScenarioRunner() = default;

// The hardware is described before any event is checked, since it exists from power-on
// wherever its lines stand.
void ScenarioRunner::Compile(const std::vector<Command>& commands) {
    Model model;
    background_ = model.background;
    for (CommandEntry::Kind kind : {CommandEntry::kDefinition, CommandEntry::kEvent}) {
        for (const Command& command : commands) {
            const CommandEntry* entry = FindCommand(command.verb);
            if (entry == nullptr) {
                throw ScenarioError(command.line, "unknown command " + Quote(command.verb));
            }
            if (entry->kind != kind) {
                continue;
            }
            if (command.background && !entry->may_overlap) {
                throw ScenarioError(command.line, command.verb + " cannot run beside other lines");
            }
            if (entry->changes_machine && model.changing_in_background != 0) {
                throw ScenarioError(command.line,
                                    "line " + std::to_string(model.changing_in_background) +
                                        " may still be running; write sync before this line");
            }
            Step step = entry->compile(command, model);
            if (command.background && entry->changes_machine) {
                model.changing_in_background = command.line;
            }
            if (kind == CommandEntry::kDefinition) {
                definitions_.push_back(std::move(step));
            } else {
                events_.push_back(Line{std::move(step), command.line, command.background});
            }
        }
    }
    programs_started_ = model.programs_started;
}

RunResult ScenarioRunner::Run(uint64_t seed, const std::function<void(const sim::Event&)>& on_event,
                              const std::function<void(sim::Machine&)>& after) {
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(seed);
    sim::Machine& machine = *machine_;
    machine.log.on_event = on_event;
    if (streamed_) {
        machine.log.StreamOnly(*streamed_);
    }
    machine.kmdf->describe_device = [](WDFDEVICE device) {
        return "handle=" + std::to_string(FilterGetData(device)->Handle);
    };
    for (const Step& definition : definitions_) {
        definition(machine);
    }
    background_->Reset();
    RunResult result;
    machine.pnp->Start();
    machine.scheduler.Spawn("scenario", [this, &machine, after, &result] {
        machine.pnp->Boot();
        for (const Line& line : events_) {
            if (line.background) {
                background_->Start(machine, line.number, line.step);
            } else {
                line.step(machine);
            }
        }
        background_->Join(machine);
        // A scenario may end asleep: the machine wakes, without telling anyone, to shut down.
        machine.scheduler.SetAsleep(false);
        if (after) {
            after(machine);
        }
        EndPrograms(machine);
        machine.pnp->Shutdown();
        machine.kernel.pool.CheckOutstanding();
        if (programs_started_ > 0) {
            result.user_windows_outstanding = sim::win32::OutstandingUserWindows();
            result.gdi_objects_outstanding = sim::win32::OutstandingGdiObjects();
            result.user_menus_outstanding = sim::win32::OutstandingUserMenus();
            result.program_handles_left = sim::win32::HandlesLeftByPrograms();
        }
    });
    result.outcome = machine.scheduler.Run();
    result.pool_outstanding = machine.kernel.pool.outstanding_bytes();
    result.handles_open = machine.kernel.handles.open_count();
    result.objects_referenced = machine.kernel.referenced_keys.size();
    result.end_time = machine.scheduler.Now();
    return result;
}

}  // namespace ampsim
