// Runs a scenario on a simulated PC with tabvolt and reports what happened.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ampsim/commands.h"
#include "ampsim/scenario.h"
#include "pc/machine.h"

namespace ampsim {

struct RunResult {
    sim::RunOutcome outcome;
    size_t pool_outstanding = 0;
    // Kernel handles still open and objects still referenced through them.
    size_t handles_open = 0;
    size_t objects_referenced = 0;
    sim::Ticks end_time = 0;
    // Counted after the programs ended, when the scenario started one: windows never
    // destroyed (live or left by an ended thread) and GDI objects never deleted.
    std::optional<size_t> user_windows_outstanding;
    std::optional<size_t> gdi_objects_outstanding;
    // Menus never destroyed, and handles that programs ending on their own left open.
    std::optional<size_t> user_menus_outstanding;
    std::optional<size_t> program_handles_left;
    bool ok() const { return outcome.kind == sim::RunOutcome::kFinished; }
};

class ScenarioRunner {
  public:
    // Checks every line against the machine it describes; throws ScenarioError.
    explicit ScenarioRunner(const std::string& text);
    ~ScenarioRunner();

    // Runs on a fresh machine. `on_event` sees every event as it happens; `after` runs on
    // the scenario thread once the last command is done (tests inspect the driver there).
    RunResult Run(uint64_t seed, const std::function<void(const sim::Event&)>& on_event,
                  const std::function<void(sim::Machine&)>& after = nullptr);

    // Later runs keep no events and pass `on_event` only these categories ("all": every
    // one), so that a long run costs nothing for what nobody looks at.
    void StreamOnly(std::set<std::string> categories) { streamed_ = std::move(categories); }

    // The lines a run carries out, counted through the repetitions of `repeat` blocks (at most
    // UINT64_MAX): what a caller that must end soon (the fuzzer) checks before it runs.
    uint64_t LinesPerRun() const { return CountLines(events_); }

    // The machine of the last run, kept for inspection until the next run or Discard.
    sim::Machine* machine() { return machine_.get(); }
    // Ends the last run's machine now (a fuzzer that reuses the runner counts what each input
    // leaves allocated).
    void Discard() { machine_.reset(); }

  private:
    // A line of the scenario as it runs, or a `repeat` block (`block` its index in blocks_,
    // `step` empty): kept small, since a long scenario holds one a line.
    struct Line {
        Step step;
        int number = 0;
        bool background = false;
        uint32_t block = 0;
    };
    struct Block {
        uint32_t count = 0;
        std::vector<Line> body;
    };
    void CompileDefinitions(const std::string& text, Model& model);
    // Checks the lines up to the `end` of the block being read (or the end of the text) and
    // appends what runs to `lines`, or only checks them when `lines` is null.
    void CompileEvents(CommandReader& reader, Model& model, std::vector<Line>* lines);
    void RunLines(sim::Machine& machine, const std::vector<Line>& lines);
    uint64_t CountLines(const std::vector<Line>& lines) const;
    std::vector<Step> definitions_;
    std::vector<Line> events_;
    std::vector<Block> blocks_;
    int programs_started_ = 0;
    std::shared_ptr<BackgroundLines> background_;
    std::unique_ptr<sim::Machine> machine_;
    std::optional<std::set<std::string>> streamed_;
};

// The scenario `ampsim` runs without a file.
extern const char* const kDefaultScenario;

}  // namespace ampsim
