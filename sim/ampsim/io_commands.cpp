#include "ampsim/io_commands.h"

#include <ntddk.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "ampsim/values.h"
#include "filter.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"
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

uint32_t Ulong(const std::vector<uint8_t>& bytes, size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Ushort(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

// The fields of a transfer record (request and reply of the vendor-request codes): the
// setup packet the driver sends for it.
std::string DecodeRequest(const std::vector<uint8_t>& bytes) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "serial=%u handle=%u bmRequestType=0x%02X bRequest=0x%02X wValue=%u wIndex=%u "
                  "wLength=%u",
                  Ulong(bytes, 0), Ulong(bytes, 4), bytes[8], bytes[9], Ushort(bytes, 10),
                  Ushort(bytes, 12), Ushort(bytes, 14));
    return text;
}

// A device's place: the controller on the PCI bus, its root-hub port, and the hub ports below
// it down to the device (0 where the chain ends).
std::string DecodeTopology(const std::vector<uint8_t>& bytes) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "pci-bus=%u pci-device=%u pci-function=%u root-port=%u hub-ports=%u.%u.%u.%u.%u",
                  Ulong(bytes, 8), Ulong(bytes, 12), Ulong(bytes, 16), Ushort(bytes, 20),
                  Ushort(bytes, 22), Ushort(bytes, 24), Ushort(bytes, 26), Ushort(bytes, 28),
                  Ushort(bytes, 30));
    return text;
}

// The decoded form of a reply, or "" for those whose bytes read well enough (or are short).
std::string DecodeReply(uint32_t code, const std::vector<uint8_t>& bytes) {
    switch (code) {
        case VEXA_IOCTL_VENDOR_REQUEST:
        case VEXA_IOCTL_VENDOR_REQUEST2:
        case VEXA_IOCTL_HUB_PORT_COMMAND:
            return bytes.size() >= VEXA_REQUEST_HEADER_SIZE ? DecodeRequest(bytes) : "";
        case VEXA_IOCTL_GET_DEVICE_NUM:
        case VEXA_IOCTL_ENUM_DEVICES:
            return bytes.size() >= VEXA_DEVICE_LIST_HEADER_SIZE
                       ? "serial=" + std::to_string(Ulong(bytes, 0)) +
                             " count=" + std::to_string(Ulong(bytes, 4))
                       : "";
        case VEXA_IOCTL_GET_TOPOLOGY_ADDRESS:
            return bytes.size() >= sizeof(VEXA_TOPOLOGY) ? DecodeTopology(bytes) : "";
        default:
            return "";
    }
}

}  // namespace

uint32_t ParseIoctlCode(const Command& command, const std::string& word) {
    for (const CodeName& entry : kCodeNames) {
        if (word == entry.name) {
            return entry.code;
        }
    }
    return static_cast<uint32_t>(ParseNumber(command, word, 0, 0xFFFFFFFFUL, "I/O-control code"));
}

void LogReply(sim::Machine& machine, const std::string& name, uint32_t code,
              const IoctlReply& reply) {
    // Most of a round trip's cost when formatted; a run that does not show it skips that.
    if (!machine.log.Wants("ioctl")) {
        return;
    }
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
    std::string decoded = NT_SUCCESS(reply.status) ? DecodeReply(code, reply.output) : "";
    if (!decoded.empty()) {
        machine.Log("ioctl", name + " decoded " + decoded);
    }
}

// Asks again with room for every device if the list has grown past the buffer.
namespace {

// " ports=MODE,MODE,..." (port 1 first) of the hub the driver lists under `handle`, so that
// a reader sees which port charges; "" for any other device.
std::string HubPortModes(sim::Machine& machine, uint32_t handle) {
    for (const sim::UsbNode* node : machine.usb->ConnectedNodes()) {
        const sim::DeviceStack* stack = node->stack;
        if (node->kind != sim::NodeKind::kHub || stack == nullptr || stack->removed ||
            stack->filter == nullptr ||
            FilterGetData(static_cast<WDFDEVICE>(sim::HandleOf(stack->filter)))->Handle != handle) {
            continue;
        }
        std::string modes;
        for (size_t port = 1; port < node->port_modes.size(); ++port) {
            modes += (port == 1 ? " ports=" : ",");
            modes += node->port_modes[port] == sim::PortMode::kCharging ? "charging" : "normal";
        }
        return modes;
    }
    return "";
}

}  // namespace

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
        LogReply(machine, name, VEXA_IOCTL_ENUM_DEVICES, reply);
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
        machine.Log("ioctl", text + HubPortModes(machine, Ulong(reply.output, at)));
    }
    machine.Log("ioctl", "devices count=" + std::to_string(count) +
                             " serial=" + std::to_string(Ulong(reply.output, 0)));
}

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

}  // namespace ampsim
