// Scenario commands that reach the driver the way a program does: open "\\.\tabvolt", send
// buffered I/O-control requests, close; each on a handle of its own or on one kept by name.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
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

// Handles a scenario keeps open by name, the way the application holds one across a whole
// polling pass: the names open as the lines are checked, and what each name holds as a
// run goes (every run opens a name again before it uses it).
struct HeldHandles {
    std::set<std::string> open;
    std::shared_ptr<std::map<std::string, sim::UserHandle>> handles =
        std::make_shared<std::map<std::string, sim::UserHandle>>();
};

// Compiles `ioctl`, `devices`, `charge`, `open` and `close` into a step; false for any
// other verb.
bool CompileIoCommand(const Command& command, HeldHandles* held, std::vector<Step>* steps);

}  // namespace ampsim
