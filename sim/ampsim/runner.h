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

    // The machine of the last run, kept for inspection until the next run.
    sim::Machine* machine() { return machine_.get(); }

  private:
    struct Line {
        Step step;
        int number = 0;
        bool background = false;
    };
    void Compile(const std::vector<Command>& commands);
    std::vector<Step> definitions_;
    std::vector<Line> events_;
    int programs_started_ = 0;
    std::shared_ptr<BackgroundLines> background_;
    std::unique_ptr<sim::Machine> machine_;
    std::optional<std::set<std::string>> streamed_;
};

// The scenario `ampsim` runs without a file.
extern const char* const kDefaultScenario;

}  // namespace ampsim
