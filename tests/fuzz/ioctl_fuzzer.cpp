// Fuzzes the I/O-control interface as a program reaches it: random codes, input bytes and
// output lengths against a simulated PC with a Vexa hub and tablets, with devices coming and
// going, a second program sending at the same time, and the control device ending with the
// last filter device. Every request must complete once with a status the interface allows
// and a length it may report; the sanitizers watch the buffers, which are exactly as long as
// the request says.
//
// Input layout:
//   byte 0  scheduler seed
//   byte 1  CHGCMDMODE (low three bits; 4 to 7 are modes the driver does not know)
//   then records to the end of the input:
//     byte     code (low four bits: the fourteen codes, then 0x222038 and 0x222003);
//              0x10 unplug or plug PAD first; 0x20 suspend and resume first; 0x40 send from
//              a second program without waiting for it; 0x80 unplug every device first
//     2 bytes  output length, little-endian (up to 4095)
//     2 bytes  input length, cut to what the input still holds
//     input bytes
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ampsim/io_commands.h"
#include "ampsim/runner.h"
#include "filter.h"
#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace {

const uint32_t kCodes[16] = {
    VEXA_IOCTL_GET_DEVICE_NUM,
    VEXA_IOCTL_ENUM_DEVICES,
    VEXA_IOCTL_VENDOR_REQUEST,
    VEXA_IOCTL_NOOP,
    VEXA_IOCTL_VENDOR_REQUEST2,
    VEXA_IOCTL_BEEP_ON,
    VEXA_IOCTL_BEEP_OFF,
    VEXA_IOCTL_ENABLE_TAB_CHARGING,
    VEXA_IOCTL_GET_SERIAL_STRING,
    VEXA_IOCTL_GET_INSTANCE_ID,
    VEXA_IOCTL_GET_CONTAINER_ID,
    VEXA_IOCTL_GET_BOS_CONTAINER_ID,
    VEXA_IOCTL_GET_TOPOLOGY_ADDRESS,
    VEXA_IOCTL_HUB_PORT_COMMAND,
    0x222038,
    0x222003,
};

constexpr uint8_t kTogglePad = 0x10;
constexpr uint8_t kSuspendResume = 0x20;
constexpr uint8_t kSecondProgram = 0x40;
constexpr uint8_t kUnplugAll = 0x80;
constexpr size_t kMaxRequests = 24;
constexpr size_t kRecordHeader = 5;

struct Request {
    uint8_t selector = 0;
    uint32_t code = 0;
    size_t output_length = 0;
    std::vector<uint8_t> input;
};

// `opened` is false for a request that found no control device to open.
using Outcome = ampsim::IoctlReply;

std::vector<Request> Decode(const uint8_t* data, size_t size) {
    std::vector<Request> requests;
    size_t at = 2;
    while (at + kRecordHeader <= size && requests.size() < kMaxRequests) {
        Request request;
        request.selector = data[at];
        request.code = kCodes[data[at] & 0x0F];
        request.output_length = (data[at + 1] | data[at + 2] << 8) & 0x0FFF;
        size_t input_length = data[at + 3] | data[at + 4] << 8;
        at += kRecordHeader;
        input_length = std::min(input_length, size - at);
        request.input.assign(data + at, data + at + input_length);
        at += input_length;
        requests.push_back(std::move(request));
    }
    return requests;
}

std::string Scenario(uint8_t mode) {
    return "controller C1\n"
           "hub H1 vid=2E7B pid=0610 bcdusb=0210 serial=VX string80=\"Vexa 3.0 Hub\"\n"
           "device PAD vid=05AC pid=12AB serial=DM\n"
           "device TAB vid=04E8 pid=6860\n"
           "device MUTE vid=05AC pid=12A8 stall=vendor latency=2ms\n"
           "device OLD vid=05AC pid=12A4 notarget\n"
           "registry CHGCMDMODE REG_DWORD " +
           std::to_string(mode) +
           "\nload\nplug H1 C1:1\nplug PAD H1:1\nplug TAB H1:2\nplug MUTE H1:3\n"
           "plug OLD C1:2\n";
}

// Parsed once for each mode; every input still runs on a fresh machine. The runs keep no
// events: nobody reads them, and the input itself reproduces a failure.
ampsim::ScenarioRunner& RunnerFor(uint8_t mode) {
    static std::unique_ptr<ampsim::ScenarioRunner> runners[8];
    if (!runners[mode]) {
        runners[mode] = std::make_unique<ampsim::ScenarioRunner>(Scenario(mode));
        runners[mode]->StreamOnly({});
    }
    return *runners[mode];
}

bool AllZero(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
    return std::all_of(bytes.begin() + static_cast<long>(std::min(from, to)),
                       bytes.begin() + static_cast<long>(to), [](uint8_t b) { return b == 0; });
}

// What the interface allows for the request; empty when the outcome is allowed.
std::string Check(const Request& request, const Outcome& outcome) {
    const NTSTATUS status = outcome.status;
    const size_t info = outcome.information;
    const size_t out = request.output_length;
    const size_t in = request.input.size();
    if (info > out) {
        return "reported more than the output holds";
    }
    if (!NT_SUCCESS(status)) {
        if (info != 0) {
            return "a failure reported bytes";
        }
        if (status == STATUS_DEVICE_DOES_NOT_EXIST || status == STATUS_INVALID_DEVICE_STATE) {
            return "";  // the control device went while the request was on its way
        }
    }
    switch (request.code) {
        case VEXA_IOCTL_GET_DEVICE_NUM:
            if (status == STATUS_BUFFER_TOO_SMALL && out < 23) {
                return "";
            }
            return status == STATUS_SUCCESS && info == 23 && AllZero(outcome.output, 8, 23)
                       ? ""
                       : "count reply";
        case VEXA_IOCTL_ENUM_DEVICES:
            if (status == STATUS_BUFFER_TOO_SMALL && out < 23) {
                return "";
            }
            if (status != STATUS_SUCCESS || info != out) {
                return "list reply";
            } else {
                // Slots without a device, and the bytes after the last whole slot, are zero.
                size_t slots = (out - 23) / 15 + 1;
                size_t count = outcome.output[4] | outcome.output[5] << 8 |
                               outcome.output[6] << 16 |
                               static_cast<size_t>(outcome.output[7]) << 24;
                return AllZero(outcome.output, 8 + 15 * std::min(count, slots), out)
                           ? ""
                           : "list reply carries more than its devices";
            }
        case VEXA_IOCTL_VENDOR_REQUEST:
        case VEXA_IOCTL_VENDOR_REQUEST2:
        case VEXA_IOCTL_HUB_PORT_COMMAND:
            // A transfer fails with whatever the USB stack says.
            return NT_SUCCESS(status) && (status != STATUS_SUCCESS || info != out)
                       ? "transfer reply"
                       : "";
        case VEXA_IOCTL_NOOP:
        case VEXA_IOCTL_BEEP_ON: {
            if (status == STATUS_BUFFER_TOO_SMALL && request.code == VEXA_IOCTL_BEEP_ON && in < 4) {
                return "";
            }
            // Only the beep keeps its input in the reply; the no-op reports zeros.
            size_t reported = std::min<size_t>(out, 4);
            size_t kept = request.code == VEXA_IOCTL_BEEP_ON ? std::min(in, reported) : 0;
            return status == STATUS_SUCCESS && info == reported &&
                           AllZero(outcome.output, kept, reported)
                       ? ""
                       : "short reply";
        }
        case VEXA_IOCTL_BEEP_OFF:
            return status == STATUS_SUCCESS && info == 0 ? "" : "beep off";
        case VEXA_IOCTL_ENABLE_TAB_CHARGING:
            return (status == STATUS_SUCCESS || status == STATUS_UNSUCCESSFUL ||
                    (status == STATUS_BUFFER_TOO_SMALL && in == 0)) &&
                           info == 0
                       ? ""
                       : "charge";
        case VEXA_IOCTL_GET_SERIAL_STRING:
        case VEXA_IOCTL_GET_INSTANCE_ID:
        case VEXA_IOCTL_GET_CONTAINER_ID:
        case VEXA_IOCTL_GET_BOS_CONTAINER_ID:
        case VEXA_IOCTL_GET_TOPOLOGY_ADDRESS:
            return status == STATUS_BUFFER_TOO_SMALL || (status == STATUS_SUCCESS && info == out)
                       ? ""
                       : "query reply";
        default:
            return status == STATUS_NOT_SUPPORTED ? "" : "unknown code";
    }
}

// Applies the record's events before its request; `plugged` tracks what is connected.
void Events(sim::Machine& machine, uint8_t selector, bool* hub_plugged, bool* pad_plugged) {
    if ((selector & kUnplugAll) != 0 && *hub_plugged) {
        machine.pnp->Unplug(machine.usb->Find("H1"));
        machine.pnp->Unplug(machine.usb->Find("OLD"));
        *hub_plugged = false;
        *pad_plugged = false;
    }
    if ((selector & kTogglePad) != 0 && *hub_plugged) {
        if (*pad_plugged) {
            machine.pnp->Unplug(machine.usb->Find("PAD"));
        } else {
            machine.pnp->Plug(machine.usb->Find("PAD"), machine.usb->HubOf("H1"), 1);
        }
        *pad_plugged = !*pad_plugged;
    }
    if ((selector & kSuspendResume) != 0) {
        machine.pnp->Suspend();
        machine.pnp->Resume();
    }
}

[[noreturn]] void Fail(const std::vector<Request>& requests, size_t index, const Outcome& outcome,
                       const std::string& problem) {
    std::fprintf(stderr, "ioctl fuzzer: %s\n", problem.c_str());
    if (index < requests.size()) {
        const Request& request = requests[index];
        std::fprintf(stderr,
                     "  request %zu: code 0x%06X selector 0x%02X input %zu bytes output %zu bytes"
                     " -> status 0x%08X information %zu\n",
                     index, request.code, request.selector, request.input.size(),
                     request.output_length, static_cast<uint32_t>(outcome.status),
                     outcome.information);
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::vector<Request> requests = Decode(data, size);
    std::vector<Outcome> outcomes(requests.size());
    size_t pool_left = 0;
    size_t objects_left = 0;
    size_t handles_left = 0;
    size_t irps_left = 0;

    ampsim::ScenarioRunner& runner = RunnerFor(data[1] & 0x07);
    ampsim::RunResult result = runner.Run(data[0], nullptr, [&](sim::Machine& machine) {
        bool hub_plugged = true;
        bool pad_plugged = true;
        sim::UserHandle handle = 0;
        machine.user_io.Open(VEXA_USER_DEVICE_PATH, &handle);
        for (size_t i = 0; i < requests.size(); ++i) {
            Events(machine, requests[i].selector, &hub_plugged, &pad_plugged);
            if ((requests[i].selector & kSecondProgram) != 0) {
                machine.scheduler.Spawn("second program", [&machine, &requests, &outcomes, i] {
                    outcomes[i] = ampsim::SendIoctl(machine, requests[i].code, requests[i].input,
                                                    requests[i].output_length);
                });
            } else {
                outcomes[i] = ampsim::SendIoctlOn(machine, handle, requests[i].code,
                                                  requests[i].input, requests[i].output_length);
            }
        }
        // Long enough for every transfer of the second program to have timed out.
        machine.scheduler.SleepFor(60 * sim::kTicksPerSecond, "the second program");
        if (handle != 0) {
            machine.user_io.Close(handle);
        }
        // Every device's orderly removal, after which the driver unloads, as when the filter
        // is removed, but without building every stack again without it.
        machine.pnp->Disable(machine.usb->Find("C1"));
        pool_left = machine.kernel.pool.outstanding_blocks();
        objects_left = machine.kmdf->live_objects();
        handles_left = machine.user_io.open_count() + machine.kernel.handles.open_count();
        irps_left = machine.kernel.live_irps.size();
    });
    runner.Discard();

    if (!result.ok()) {
        Fail(requests, requests.size(), {}, "the run did not finish: " + result.outcome.report);
    }
    for (size_t i = 0; i < requests.size(); ++i) {
        // A program that found no control device to open sent nothing.
        if (outcomes[i].opened) {
            std::string problem = Check(requests[i], outcomes[i]);
            if (!problem.empty()) {
                Fail(requests, i, outcomes[i], problem);
            }
        }
    }
    if (pool_left != 0 || objects_left != 0 || handles_left != 0 || irps_left != 0) {
        Fail(requests, requests.size(), {},
             "left after unload: " + std::to_string(pool_left) + " pool blocks, " +
                 std::to_string(objects_left) + " framework objects, " +
                 std::to_string(handles_left) + " handles, " + std::to_string(irps_left) + " IRPs");
    }
    return 0;
}
