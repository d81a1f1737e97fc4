// How the scenario reaches the driver the way a program does: open "\\.\tabvolt", send
// buffered I/O-control requests, close; and how it prints what came back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ampsim/scenario.h"
#include "pc/machine.h"

namespace ampsim {

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

// A code by its name (VEXA_IOCTL_GET_DEVICE_NUM) or number (0x222000).
uint32_t ParseIoctlCode(const Command& command, const std::string& word);
// Logs "NAME -> status=... info=N out=HEX", or "NAME -> open-failed"; then, for a reply
// whose record a person would otherwise decode by hand, its fields.
void LogReply(sim::Machine& machine, const std::string& name, uint32_t code,
              const IoctlReply& reply);
// Lists the driver's devices through VEXA_IOCTL_ENUM_DEVICES, one line a device.
void ListDevices(sim::Machine& machine);

}  // namespace ampsim
