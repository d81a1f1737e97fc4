// Ampwise on the simulated PC, as the scenario drives it: starting copies of the program,
// the user's clicks on the tray and answers to its menu, the power plans that POWERCFG
// changes, and ending what still runs when the scenario is over.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pc/machine.h"
#include "win32/user32/user32_control.h"

namespace ampsim {

// String resources that replace the shipped ones in the copy started, by id.
using StringOverrides = std::map<uint32_t, std::string>;

void StartAmpwise(sim::Machine& machine, const StringOverrides& strings);
// The event as printed: a `ui`, `menu`, `msg`, `tray` or `proc` line that the second or a
// later copy caused carries the copy after its category ("tray#2"), as `app` lines of that
// copy do after "dbg".
sim::Event NameCopy(sim::Event event);
// Whether a window (a control too) belongs to the copy-th copy.
bool WindowOfCopy(sim::win32::WindowHandle hwnd, int copy);
// The threads of the copy-th copy; empty when it does not run.
std::vector<const sim::SimThread*> ThreadsOfCopy(int copy);
// The shell's callback for a click on the icon of the copy-th copy that shows one (1 is
// the first), once it shows (up to 10 s); false if there is no such icon.
bool ClickTray(sim::Machine& machine, bool right_button, int copy);
// Waits up to `patience` for an open menu (with `copy` not 0, one that the copy-th copy
// opened) and chooses the entry labelled `label`, or dismisses the menu when the label is
// empty. When no entry has the label, the menu is dismissed.
enum class MenuAnswer { kDone, kNoneOpen, kNoEntry };
MenuAnswer AnswerMenu(sim::Machine& machine, const std::string& label, int copy,
                      sim::Ticks patience);
void PrintPowerPlans(sim::Machine& machine);
void SetActiveSchemeOutput(sim::Machine& machine, const std::string& text);
// The system's sleep as Windows goes into it: programs are told (PBT_APMSUSPEND, with up to
// two seconds to answer), every started stack is powered down, and then neither programs nor
// devices run.
void SuspendSystem(sim::Machine& machine);
// The wake: the devices run and are powered up, then the programs run on where they were and
// are told (PBT_APMRESUMEAUTOMATIC).
void ResumeSystem(sim::Machine& machine);
// Ends, the way Windows ends them at shutdown, the programs still running.
void EndPrograms(sim::Machine& machine);

}  // namespace ampsim
