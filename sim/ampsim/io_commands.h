// Scenario commands that reach the driver the way a program does: open "\\.\tabvolt", send
// buffered I/O-control requests, close.
#pragma once

#include <functional>
#include <vector>

#include "ampsim/scenario.h"
#include "pc/machine.h"

namespace ampsim {

using Step = std::function<void(sim::Machine&)>;

// Compiles `ioctl`, `devices` and `charge` into a step; false for any other verb.
bool CompileIoCommand(const Command& command, std::vector<Step>* steps);

}  // namespace ampsim
