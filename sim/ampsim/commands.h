// The scenario's commands. Each is one entry: its verb, its usage, and one function that
// checks a line against what the scenario has built so far and returns what running it does,
// so that what is checked and what runs cannot drift apart. Entries live in one file per
// subject (hardware and faults, the driver and its I/O control, the scenario's own flow).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ampsim/scenario.h"
#include "pc/machine.h"

namespace ampsim {

using Step = std::function<void(sim::Machine&)>;

// The lines started with '&' that are still running in a run; each runs on a simulated thread
// named for its line.
class BackgroundLines {
  public:
    void Reset() { running_ = 0; }
    void Start(sim::Machine& machine, int line, Step step);
    // Waits on the calling simulated thread until every one has finished.
    void Join(sim::Machine& machine);

  private:
    int running_ = 0;
};

// What the lines so far have put together, to check each line before anything runs.
struct Model {
    struct Node {
        std::string kind;  // "controller", "root hub", "hub" or "device"
        int ports = 0;
        bool connected = false;
    };
    enum class Loaded { kNo, kYes, kMaybe };

    std::map<std::string, Node> nodes;
    std::map<std::pair<std::string, int>, std::string> occupied;
    // kMaybe after a load that an armed fault or a changed kernel may have made fail.
    Loaded loaded = Loaded::kNo;
    bool load_may_fail = false;
    // All waits together, kept below kMaxWait so that the clock cannot run out.
    sim::Ticks waited = 0;
    // The line of a command started with '&' that changes the machine and has not been
    // waited for with `sync`; 0 for none.
    int changing_in_background = 0;
    std::shared_ptr<BackgroundLines> background = std::make_shared<BackgroundLines>();
    // Handles kept open by name, the way the application holds one across a whole polling
    // pass: the names open as the lines are checked, and what each holds as a run goes
    // (every run opens a name again before it uses it).
    std::set<std::string> open_handles;
    // Copies of the application started so far.
    int programs_started = 0;
    // Other programs started with `run`.
    int programs_run = 0;
    // How many `repeat` blocks the line stands in.
    int repeating = 0;
    // Between a suspend and its resume.
    bool asleep = false;
    std::shared_ptr<std::map<std::string, sim::UserHandle>> handles =
        std::make_shared<std::map<std::string, sim::UserHandle>>();

    // Marks a node and everything plugged below it.
    void SetConnected(const std::string& name, bool connected);
    // Frees the port the node is plugged into, if any.
    void LeavePort(const std::string& name);
};

struct CommandEntry {
    const char* verb;
    const char* usage;
    // Definitions describe the hardware at power-on wherever they stand and are checked
    // before every other line; events run in order on the scenario's thread.
    enum Kind { kDefinition, kEvent } kind;
    // Whether the line may end in '&'.
    bool may_overlap;
    // Whether it changes what later lines are checked against (the tree, the driver), so
    // that it may not overlap another such command.
    bool changes_machine;
    // Checks the line and updates the model; throws ScenarioError. Returns the step.
    Step (*compile)(const Command& command, Model& model);
};

std::span<const CommandEntry> HardwareCommands();
std::span<const CommandEntry> DriverCommands();
std::span<const CommandEntry> AppCommands();
std::span<const CommandEntry> FlowCommands();
std::span<const CommandEntry> RegistryCommands();
std::span<const CommandEntry> UiCommands();
std::span<const CommandEntry> RunCommands();
// The entry for a verb, or nullptr.
const CommandEntry* FindCommand(const std::string& verb);

// Shared checks.
[[noreturn]] void ThrowUsage(const Command& command);
void RequireWords(const Command& command, size_t count);
void RequireOptions(const Command& command, const std::set<std::string>& allowed);
// No words and no options.
void RequireBare(const Command& command);
// Refuses a line that needs a program before any `app start`: "no program DOES: write app
// start first".
void RequireProgram(const Command& command, const Model& model, const std::string& does);
// The copy=N option: a copy started before the line, or `fallback` when it is absent.
int CopyOption(const Command& command, const Model& model, int fallback);

// A value's data as the kernel keeps it, from TYPE and DATA words (REG_DWORD N, REG_SZ TEXT,
// ...); *reg_type gets the type's number.
std::vector<uint8_t> RegistryData(const Command& command, const std::string& type,
                                  const std::vector<std::string>& data, uint32_t* reg_type);
// The full kernel name of a machine-registry key written as "\Registry\Machine\...",
// "HKLM\..." or relative to HKEY_LOCAL_MACHINE ("SYSTEM\CurrentControlSet\...").
std::string MachineKeyName(const Command& command, const std::string& path);
// Refuses a name that is not one of the SetupAPI calls the stand-in carries out.
void CheckSetupApiCall(const Command& command, const std::string& name);

}  // namespace ampsim
