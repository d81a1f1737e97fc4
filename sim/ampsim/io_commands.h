// Scenario commands that reach the driver the way a program does: open "\\.\tabvolt", send
// buffered I/O-control requests, close.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ampsim/scenario.h"
#include "pc/machine.h"

namespace ampsim {

using Step = std::function<void(sim::Machine&)>;

// One buffered I/O-control request on a handle opened for it and closed after it; `opened`
// is false when "\\.\tabvolt" could not be opened. `output` holds the bytes the caller got
// back. Call from a simulated thread.
struct IoctlReply {
    bool opened = false;
    int32_t status = 0;  // NTSTATUS
    size_t information = 0;
    std::vector<uint8_t> output;
};
IoctlReply SendIoctl(sim::Machine& machine, uint32_t code, const std::vector<uint8_t>& input,
                     size_t output_length);
// The same on a handle the caller keeps open.
IoctlReply SendIoctlOn(sim::Machine& machine, sim::UserHandle handle, uint32_t code,
                       const std::vector<uint8_t>& input, size_t output_length);

// Compiles `ioctl`, `devices` and `charge` into a step; false for any other verb.
bool CompileIoCommand(const Command& command, std::vector<Step>* steps);

}  // namespace ampsim
