#include "ampsim/app_session.h"

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
    if (sim::win32::StartProcess("Ampwise.exe", "Ampwise.exe", options, &error) == nullptr) {
        machine.Log("proc", "Ampwise.exe not-started " + error);
    }
}

bool ClickTray(sim::Machine&, bool right_button, int copy) {
    return sim::win32::ClickTray(right_button, static_cast<size_t>(copy - 1));
}

bool AnswerMenu(sim::Machine& machine, const std::string& label, sim::Ticks patience) {
    sim::Ticks until = machine.scheduler.Now() + patience;
    while (!sim::win32::MenuIsOpen()) {
        if (machine.scheduler.Now() >= until) {
            return false;
        }
        machine.scheduler.SleepFor(kMenuPoll, "a menu to open");
    }
    if (label.empty()) {
        return sim::win32::DismissMenu();
    }
    if (sim::win32::ChooseMenuEntry(label)) {
        return true;
    }
    // The user finds no such entry and clicks elsewhere, so the next click opens a new menu.
    sim::win32::DismissMenu();
    return false;
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
