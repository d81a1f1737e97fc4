#include "ampsim/app_session.h"

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "ampsim/values.h"
#include "pc/pnp_manager.h"
#include "win32/process/process.h"
#include "win32/shell32/shell_control.h"
#include "win32/shell32/tray_control.h"
#include "win32/user32/menu_control.h"
#include "win32/user32/user32_control.h"

namespace ampsim {
namespace {

constexpr uintptr_t kPbtApmSuspend = 0x4;
constexpr uintptr_t kPbtApmResumeAutomatic = 0x12;
// How long Windows waits for programs to answer PBT_APMSUSPEND before it sleeps.
constexpr sim::Ticks kSuspendPatience = 2 * sim::kTicksPerSecond;
// How often `menu` looks for the menu a click opens, while it waits for it.
constexpr sim::Ticks kMenuPoll = 10 * sim::kTicksPerMs;
// How long a tray click waits for the copy's tray icon (Ampwise shows it once it has set the
// power plan, a few seconds in), and how often it looks: finer than the printed
// milliseconds, so that the lines after it keep their time.
constexpr sim::Ticks kIconPatience = 10 * sim::kTicksPerSecond;
constexpr sim::Ticks kIconPoll = sim::kTicksPerMs / 10;
// How long the end of a run waits for a copy the user told to Exit: it restores the power
// plan and waits up to 5 s for its monitoring thread.
constexpr sim::Ticks kExitPatience = 30 * sim::kTicksPerSecond;
constexpr const char* kImage = "Ampwise.exe";
constexpr const char* kProgram = "Ampwise";

// The copy whose tray icon was clicked last, whose menu `menu` answers; and the copies told
// to Exit. Weak, so that nothing of an earlier run's machine is taken for this one's.
std::weak_ptr<sim::win32::Process> menu_owner;
std::vector<std::weak_ptr<sim::win32::Process>> exiting;

std::shared_ptr<sim::win32::Process> Copy(int copy) {
    for (const auto& process : sim::win32::StartedProcesses()) {
        if (process->image() == kProgram && process->copy() == copy) {
            return process;
        }
    }
    return nullptr;
}

// Looks every `poll` until `done` holds; false after `patience`.
bool WaitUntil(sim::Machine& machine, sim::Ticks patience, sim::Ticks poll, const std::string& what,
               const std::function<bool()>& done) {
    sim::Ticks until = machine.scheduler.Now() + patience;
    while (!done()) {
        if (machine.scheduler.Now() >= until) {
            return false;
        }
        machine.scheduler.SleepFor(poll, what);
    }
    return true;
}

// The messages the monitoring thread sends to the main dialog, by their value.
const char* MonitorMessageName(uint32_t message) {
    static const char* const kNames[] = {"WM_NEW_SGTAB_ARRIVE", "WM_NEW_VEXAHUB_ARRIVE",
                                         "WM_OLD_SGTAB_REMOVE", "WM_OLD_VEXAHUB_REMOVE",
                                         "WM_CHG_STATE_UPDATE", "WM_DRIVER_OPEN_FAIL"};
    constexpr uint32_t kFirst = 0x402;
    if (message < kFirst || message >= kFirst + std::size(kNames)) {
        return nullptr;
    }
    return kNames[message - kFirst];
}

// The `msg` lines: what the monitoring thread sends, as it sends it.
void ObserveSentMessages(sim::Machine& machine) {
    sim::win32::SetSendObserver([&machine](const sim::SimThread*, sim::win32::WindowHandle,
                                           uint32_t message, uintptr_t wparam, intptr_t lparam) {
        const char* name = MonitorMessageName(message);
        if (name != nullptr && machine.log.Wants("msg")) {
            machine.Log("msg", std::string(name) + " wParam=" + Format("0x%lx", wparam) +
                                   " lParam=" + Format("0x%lx", static_cast<uint32_t>(lparam)));
        }
    });
}

// The `ui` names of Ampwise's windows that have no title to go by: the notify dialog
// (dialog 137) and the tip window it owns.
void NameAmpwiseWindows() {
    sim::win32::SetUiNamer([](const sim::win32::UiNaming& window) -> std::string {
        constexpr int kNotifyDialog = 137;
        if (window.dialog_template == kNotifyDialog) {
            return "notify";
        }
        if (window.owner_name == "notify" && window.title.empty()) {
            return "tip";
        }
        return "";
    });
}

}  // namespace

void StartAmpwise(sim::Machine& machine, const StringOverrides& strings) {
    ObserveSentMessages(machine);
    NameAmpwiseWindows();
    sim::win32::StartOptions options;
    options.strings = strings;
    std::string error;
    if (sim::win32::StartProcess(kImage, kImage, options, &error) == nullptr) {
        machine.Log("proc", std::string(kImage) + " not-started " + error);
    }
}

sim::Event NameCopy(sim::Event event) {
    static const std::set<std::string> kNamed = {"ui", "menu", "msg", "tray", "proc"};
    if (kNamed.count(event.category) != 0) {
        const sim::win32::Process& process = sim::win32::CurrentProcess();
        if (process.image() == kProgram && process.copy() > 1) {
            event.category += "#" + std::to_string(process.copy());
        }
    }
    return event;
}

bool WindowOfCopy(sim::win32::WindowHandle hwnd, int copy) {
    std::shared_ptr<sim::win32::Process> process = Copy(copy);
    if (process == nullptr) {
        return false;
    }
    // A thread's name starts with its process's ("Ampwise#2 main").
    std::string prefix = process->DisplayName() + " ";
    for (const sim::win32::LiveWindow& window : sim::win32::LiveWindows()) {
        if (window.hwnd == hwnd) {
            return window.thread.rfind(prefix, 0) == 0;
        }
    }
    return false;
}

std::vector<const sim::SimThread*> ThreadsOfCopy(int copy) {
    std::vector<const sim::SimThread*> threads;
    if (std::shared_ptr<sim::win32::Process> process = Copy(copy)) {
        for (const auto& thread : process->threads()) {
            threads.push_back(thread->sim);
        }
    }
    return threads;
}

bool ClickTray(sim::Machine& machine, bool right_button, int copy) {
    std::shared_ptr<sim::win32::Process> process = Copy(copy);
    // A click right after the start finds the icon once the copy shows it.
    WaitUntil(machine, kIconPatience, kIconPoll, "the tray icon of copy " + std::to_string(copy),
              [&] {
                  return process == nullptr || process->ended() ||
                         sim::win32::TrayIcons().size() >= static_cast<size_t>(copy);
              });
    menu_owner = process;
    return sim::win32::ClickTray(right_button, static_cast<size_t>(copy - 1));
}

MenuAnswer AnswerMenu(sim::Machine& machine, const std::string& label, int copy,
                      sim::Ticks patience) {
    // The open menu is the one of the copy whose icon was clicked last.
    auto open = [copy] {
        return sim::win32::MenuIsOpen() && (copy == 0 || menu_owner.lock() == Copy(copy));
    };
    if (!WaitUntil(machine, patience, kMenuPoll, "a menu to open", open)) {
        return MenuAnswer::kNoneOpen;
    }
    if (label.empty()) {
        return sim::win32::DismissMenu() ? MenuAnswer::kDone : MenuAnswer::kNoneOpen;
    }
    if (sim::win32::ChooseMenuEntry(label)) {
        if (label == "Exit") {
            exiting.push_back(menu_owner);
        }
        return MenuAnswer::kDone;
    }
    // The user finds no such entry and clicks elsewhere, so the next click opens a new menu.
    bool was_open = sim::win32::DismissMenu();
    return was_open ? MenuAnswer::kNoEntry : MenuAnswer::kNoneOpen;
}

void PrintPowerPlans(sim::Machine& machine) {
    for (const std::string& line : sim::win32::PowerPlanLines()) {
        machine.Log("proc", "powercfg " + line);
    }
}

void SetActiveSchemeOutput(sim::Machine&, const std::string& text) {
    sim::win32::SetActiveSchemeOutput(text);
}

void SuspendSystem(sim::Machine& machine) {
    sim::win32::BroadcastPowerEvent(kPbtApmSuspend, kSuspendPatience);
    machine.pnp->Suspend();
    machine.scheduler.SetAsleep(true);
}

void ResumeSystem(sim::Machine& machine) {
    machine.pnp->Resume();
    machine.scheduler.SetAsleep(false);
    sim::win32::BroadcastPowerEvent(kPbtApmResumeAutomatic);
}

void EndPrograms(sim::Machine& machine) {
    // A copy told to Exit is let finish, so that what it still cleans up is not counted as
    // left behind.
    for (const auto& told : exiting) {
        if (std::shared_ptr<sim::win32::Process> process = told.lock()) {
            WaitUntil(machine, kExitPatience, kMenuPoll, "the exit of " + process->Describe(),
                      [&] { return process->ended(); });
        }
    }
    exiting.clear();
    sim::win32::TerminateAllProcesses();
    // A thread inside a driver call ends once the call is done: the machine shuts down only
    // after every program has gone.
    for (const auto& process : sim::win32::StartedProcesses()) {
        while (!process->signaled()) {
            machine.scheduler.Block(process.get(), std::nullopt,
                                    "the end of " + process->Describe(), process->SignaledBy());
        }
    }
}

}  // namespace ampsim
