#include "ampsim/io_commands.h"

#include <ntddk.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "vexa_ioctl.h"

namespace ampsim {
namespace {

struct CodeName {
    const char* name;
    uint32_t code;
};

#define CODE_NAME(code) \
    { #code, code }
const CodeName kCodeNames[] = {
    CODE_NAME(VEXA_IOCTL_GET_DEVICE_NUM),
    CODE_NAME(VEXA_IOCTL_ENUM_DEVICES),
    CODE_NAME(VEXA_IOCTL_VENDOR_REQUEST),
    CODE_NAME(VEXA_IOCTL_NOOP),
    CODE_NAME(VEXA_IOCTL_VENDOR_REQUEST2),
    CODE_NAME(VEXA_IOCTL_BEEP_ON),
    CODE_NAME(VEXA_IOCTL_BEEP_OFF),
    CODE_NAME(VEXA_IOCTL_ENABLE_TAB_CHARGING),
    CODE_NAME(VEXA_IOCTL_GET_SERIAL_STRING),
    CODE_NAME(VEXA_IOCTL_GET_INSTANCE_ID),
    CODE_NAME(VEXA_IOCTL_GET_CONTAINER_ID),
    CODE_NAME(VEXA_IOCTL_GET_BOS_CONTAINER_ID),
    CODE_NAME(VEXA_IOCTL_GET_TOPOLOGY_ADDRESS),
    CODE_NAME(VEXA_IOCTL_HUB_PORT_COMMAND),
};
#undef CODE_NAME

// The largest buffer a scenario may ask for; the I/O manager itself takes up to 4 GB.
constexpr unsigned long kMaxBuffer = 1 << 20;

std::string Format(const char* format, unsigned long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

uint32_t ParseCode(const Command& command, const std::string& word) {
    for (const CodeName& entry : kCodeNames) {
        if (word == entry.name) {
            return entry.code;
        }
    }
    return static_cast<uint32_t>(ParseNumber(command, word, 0, 0xFFFFFFFFUL, "I/O-control code"));
}

void LogReply(sim::Machine& machine, const std::string& name, const IoctlReply& reply) {
    if (!reply.opened) {
        machine.Log("ioctl", name + " -> open-failed");
        return;
    }
    std::string text = name +
                       " -> status=" + Format("0x%08lx", static_cast<uint32_t>(reply.status)) +
                       " info=" + std::to_string(reply.output.size()) + " out=";
    for (uint8_t byte : reply.output) {
        text += Format("%02lX", byte);
    }
    machine.Log("ioctl", text);
}

uint32_t Ulong(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Ushort(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// Asks again with room for every device if the list has grown past the buffer.
void ListDevices(sim::Machine& machine) {
    const std::string name = "VEXA_IOCTL_ENUM_DEVICES";
    size_t room = 8;
    IoctlReply reply;
    for (;;) {
        reply = SendIoctl(machine, VEXA_IOCTL_ENUM_DEVICES, {},
                          VEXA_DEVICE_LIST_HEADER_SIZE + sizeof(VEXA_DEVICE_ENTRY) * room);
        if (!reply.opened || !NT_SUCCESS(reply.status) || Ulong(reply.output, 4) <= room) {
            break;
        }
        room = Ulong(reply.output, 4);
    }
    if (!reply.opened || !NT_SUCCESS(reply.status)) {
        LogReply(machine, name, reply);
        return;
    }
    uint32_t count = Ulong(reply.output, 4);
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = VEXA_DEVICE_LIST_HEADER_SIZE + sizeof(VEXA_DEVICE_ENTRY) * i;
        char text[128];
        std::snprintf(text, sizeof text,
                      "device handle=%u vexa=%u vid=%04x pid=%04x bcddevice=%04x bcdusb=%04x "
                      "charge=%u",
                      Ulong(reply.output, at), Ushort(reply.output, at + 4),
                      Ushort(reply.output, at + 6), Ushort(reply.output, at + 8),
                      Ushort(reply.output, at + 10), Ushort(reply.output, at + 12),
                      reply.output[at + 14]);
        machine.Log("ioctl", text);
    }
    machine.Log("ioctl", "devices count=" + std::to_string(count) +
                             " serial=" + std::to_string(Ulong(reply.output, 0)));
}

}  // namespace

IoctlReply SendIoctlOn(sim::Machine& machine, sim::UserHandle handle, uint32_t code,
                       const std::vector<uint8_t>& input, size_t output_length) {
    IoctlReply reply;
    reply.opened = true;
    // Exactly as long as asked, and filled with a pattern, so that a byte read or written
    // beyond either buffer, or one returned but not written, stands out.
    std::vector<uint8_t> in = input;
    reply.output.assign(output_length, 0xEE);
    sim::IoResult result = machine.user_io.DeviceControl(
        handle, code, in.empty() ? nullptr : in.data(), in.size(),
        reply.output.empty() ? nullptr : reply.output.data(), reply.output.size());
    reply.status = result.status;
    reply.information = result.information;
    reply.output.resize(std::min(result.information, output_length));
    return reply;
}

IoctlReply SendIoctl(sim::Machine& machine, uint32_t code, const std::vector<uint8_t>& input,
                     size_t output_length) {
    sim::UserHandle handle = 0;
    if (!NT_SUCCESS(machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle))) {
        return IoctlReply();
    }
    IoctlReply reply = SendIoctlOn(machine, handle, code, input, output_length);
    machine.user_io.Close(handle);
    return reply;
}

bool CompileIoCommand(const Command& command, HeldHandles* held, std::vector<Step>* steps) {
    const std::string& verb = command.verb;
    auto handles = held->handles;
    if (verb == "open" || verb == "close") {
        if (command.words.size() != 1 || !command.options.empty()) {
            throw ScenarioError(command.line, "usage: " + verb + " NAME");
        }
        std::string name = command.words[0];
        bool open = verb == "open";
        if (held->open.count(name) == (open ? 1u : 0u)) {
            throw ScenarioError(command.line, (open ? "handle '" + name + "' is already open"
                                                    : "no open handle '" + name + "'"));
        }
        if (open) {
            held->open.insert(name);
            steps->push_back([=](sim::Machine& machine) {
                bool opened =
                    NT_SUCCESS(machine.user_io.Open(VEXA_USER_DEVICE_PATH, &(*handles)[name]));
                machine.Log("ioctl", "open " + name + (opened ? " -> ok" : " -> open-failed"));
            });
        } else {
            held->open.erase(name);
            steps->push_back([=](sim::Machine& machine) {
                // A name whose open failed holds no handle; closing it changes nothing.
                machine.user_io.Close((*handles)[name]);
                machine.Log("ioctl", "close " + name);
            });
        }
        return true;
    }
    if (verb == "ioctl") {
        if (command.words.size() != 1) {
            throw ScenarioError(command.line, "usage: ioctl CODE [in=HEX] [out=N] [handle=NAME]");
        }
        std::string name = command.words[0];
        uint32_t code = ParseCode(command, name);
        for (const auto& [key, value] : command.options) {
            if (key != "in" && key != "out" && key != "handle") {
                throw ScenarioError(command.line, "unknown option '" + key + "'");
            }
        }
        auto in = command.options.find("in");
        std::vector<uint8_t> input = in == command.options.end()
                                         ? std::vector<uint8_t>()
                                         : ParseHexBytes(command, in->second);
        size_t output_length = DecimalOption(command, "out", 0, kMaxBuffer);
        auto kept = command.options.find("handle");
        bool on_kept = kept != command.options.end();
        std::string kept_name = on_kept ? kept->second : "";
        if (on_kept && held->open.count(kept_name) == 0) {
            throw ScenarioError(command.line, "no open handle '" + kept_name + "'");
        }
        steps->push_back([=](sim::Machine& machine) {
            LogReply(machine, name,
                     on_kept
                         ? SendIoctlOn(machine, (*handles)[kept_name], code, input, output_length)
                         : SendIoctl(machine, code, input, output_length));
        });
        return true;
    }
    if (verb == "devices") {
        if (!command.words.empty() || !command.options.empty()) {
            throw ScenarioError(command.line, "usage: devices");
        }
        steps->push_back(ListDevices);
        return true;
    }
    if (verb == "charge") {
        if (command.words.size() > 1 || !command.options.empty() ||
            (command.words.size() == 1 && command.words[0] != "skip")) {
            throw ScenarioError(command.line, "usage: charge [skip]");
        }
        uint8_t skip = command.words.empty() ? 0 : 1;
        steps->push_back([skip](sim::Machine& machine) {
            LogReply(machine, "VEXA_IOCTL_ENABLE_TAB_CHARGING",
                     SendIoctl(machine, VEXA_IOCTL_ENABLE_TAB_CHARGING, {skip}, 0));
        });
        return true;
    }
    return false;
}

}  // namespace ampsim
