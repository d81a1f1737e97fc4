#include "ampsim/runner.h"

#include <algorithm>

#include "ampsim/app_session.h"
#include "ampsim/values.h"
#include "filter.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "win32/gdi32/screen_control.h"
#include "win32/process/process.h"

namespace ampsim {

namespace {

// A day of polling four times a second is 345,600 repetitions; this leaves room for more.
constexpr uint64_t kMaxRepeat = 10'000'000;
// Each level of nesting costs one more check of the lines inside it.
constexpr size_t kMaxNesting = 16;

const CommandEntry& FindEntry(const Command& command) {
    const CommandEntry* entry = FindCommand(command.verb);
    if (entry == nullptr) {
        throw ScenarioError(command.line, "unknown command " + Quote(command.verb));
    }
    return *entry;
}

Step CompileLine(const Command& command, const CommandEntry& entry, Model& model) {
    if (command.background && !entry.may_overlap) {
        throw ScenarioError(command.line, command.verb + " cannot run beside other lines");
    }
    if (entry.changes_machine && model.changing_in_background != 0) {
        throw ScenarioError(command.line, "line " + std::to_string(model.changing_in_background) +
                                              " may still be running; write sync before this line");
    }
    Step step = entry.compile(command, model);
    if (command.background && entry.changes_machine) {
        model.changing_in_background = command.line;
    }
    return step;
}

uint32_t RepeatCount(const Command& command) {
    if (command.words.size() != 1 || !command.options.empty() || command.background) {
        throw ScenarioError(command.line, "usage: repeat COUNT, the lines to repeat, end");
    }
    uint64_t count = 0;
    if (!ParseDecimal(command.words[0], kMaxRepeat, &count) || count == 0) {
        throw ScenarioError(command.line, "bad repeat count " + Quote(command.words[0]) +
                                              " (1 to " + std::to_string(kMaxRepeat) + ")");
    }
    return static_cast<uint32_t>(count);
}

}  // namespace

ScenarioRunner::ScenarioRunner(const std::string& text) {
    Model model;
    background_ = model.background;
    CompileDefinitions(text, model);
    // Room for a line a line of text, so that a long scenario is not copied as it grows.
    events_.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    CommandReader reader(text);
    CompileEvents(reader, model, &events_);
    if (events_.capacity() > events_.size() + events_.size() / 4) {
        events_.shrink_to_fit();
    }
    programs_started_ = model.programs_started + model.programs_run;
}

ScenarioRunner::~ScenarioRunner() = default;

// The hardware is described before any event is checked, since it exists from power-on
// wherever its lines stand. This pass also checks that every block is closed.
void ScenarioRunner::CompileDefinitions(const std::string& text, Model& model) {
    CommandReader reader(text);
    Command command;
    std::vector<int> open_blocks;
    while (reader.Next(&command)) {
        if (command.verb == "repeat") {
            open_blocks.push_back(command.line);
            if (open_blocks.size() > kMaxNesting) {
                throw ScenarioError(command.line, "repeat blocks nest at most " +
                                                      std::to_string(kMaxNesting) + " deep");
            }
            continue;
        }
        if (command.verb == "end") {
            if (open_blocks.empty() || !command.args.empty() || command.background) {
                throw ScenarioError(command.line,
                                    open_blocks.empty() ? "end without repeat" : "usage: end");
            }
            open_blocks.pop_back();
            continue;
        }
        const CommandEntry& entry = FindEntry(command);
        if (entry.kind != CommandEntry::kDefinition) {
            continue;
        }
        if (!open_blocks.empty()) {
            throw ScenarioError(command.line, command.verb +
                                                  " describes the machine at power-on: it "
                                                  "cannot stand inside repeat");
        }
        definitions_.push_back(CompileLine(command, entry, model));
    }
    if (!open_blocks.empty()) {
        throw ScenarioError(open_blocks.back(), "repeat without end");
    }
}

// A block's lines are checked as its first repetition finds the machine and, in a second
// pass, as every later one does; they are kept once. Inside a pass that only checks, a
// nested block is checked once, so that nesting costs one pass a level, not twice as many.
void ScenarioRunner::CompileEvents(CommandReader& reader, Model& model, std::vector<Line>* lines) {
    Command command;
    while (reader.Next(&command)) {
        if (command.verb == "end") {
            return;
        }
        if (command.verb != "repeat") {
            const CommandEntry& entry = FindEntry(command);
            if (entry.kind != CommandEntry::kEvent) {
                continue;
            }
            Step step = CompileLine(command, entry, model);
            if (lines != nullptr) {
                lines->push_back(Line{std::move(step), command.line, command.background, 0});
            }
            continue;
        }
        uint32_t count = RepeatCount(command);
        CommandReader body = reader;
        sim::Ticks before = model.waited;
        ++model.repeating;
        std::vector<Line> first;
        CompileEvents(reader, model, lines != nullptr ? &first : nullptr);
        sim::Ticks once = model.waited - before;
        if (count > 1 && lines != nullptr) {
            CompileEvents(body, model, nullptr);
        }
        --model.repeating;
        if (once != 0 && count > (kMaxWait - before) / once) {
            throw ScenarioError(command.line, "the scenario's waits add up to more than " +
                                                  FormatDuration(kMaxWait));
        }
        model.waited = before + once * count;
        if (lines != nullptr) {
            first.shrink_to_fit();
            blocks_.push_back(Block{count, std::move(first)});
            lines->push_back(
                Line{nullptr, command.line, false, static_cast<uint32_t>(blocks_.size() - 1)});
        }
    }
}

uint64_t ScenarioRunner::CountLines(const std::vector<Line>& lines) const {
    uint64_t total = 0;
    for (const Line& line : lines) {
        uint64_t count = 1;
        if (!line.step) {
            const Block& block = blocks_[line.block];
            uint64_t body = CountLines(block.body);
            count = body > UINT64_MAX / block.count ? UINT64_MAX : body * block.count;
        }
        total = count > UINT64_MAX - total ? UINT64_MAX : total + count;
    }
    return total;
}

void ScenarioRunner::RunLines(sim::Machine& machine, const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!line.step) {
            const Block& block = blocks_[line.block];
            for (uint32_t i = 0; i < block.count; ++i) {
                RunLines(machine, block.body);
            }
        } else if (line.background) {
            background_->Start(machine, line.number, line.step);
        } else {
            line.step(machine);
        }
    }
}

RunResult ScenarioRunner::Run(uint64_t seed, const std::function<void(const sim::Event&)>& on_event,
                              const std::function<void(sim::Machine&)>& after) {
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(seed);
    sim::Machine& machine = *machine_;
    if (on_event) {
        machine.log.on_event = [on_event](const sim::Event& event) { on_event(NameCopy(event)); };
    }
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
        RunLines(machine, events_);
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
