// tabvoltctl: tabvolt's hubs, ports and tablets from a command line, for scripts and
// administrators. A second client of the driver's control device beside Ampwise: it lists
// what the driver serves as a tree, switches a Vexa hub's port by its place in the USB tree,
// asks for iPad charging and sounds the speaker. It keeps nothing between runs.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "client/device_slot_list.h"
#include "client/driver_client.h"
#include "client/driver_requests.h"
#include "console.h"
#include "devices.h"
#include "location.h"

namespace {

#define EXIT_DONE 0
#define EXIT_REFUSED 1
#define EXIT_BAD_ARGUMENTS 2

// The PC/AT interval timer's input clock, and the tones whose divisor fits its 16 bits.
#define TIMER_CLOCK_HZ 1193182
#define BEEP_LOWEST_HZ 19
#define BEEP_HIGHEST_HZ 20000
#define BEEP_LONGEST_MS 10000

const char kUsage[] =
    "usage: tabvoltctl [--json]              list the devices tabvolt serves, as a tree\n"
    "       tabvoltctl [--json] -l LOCATION -p PORT -a charge|normal\n"
    "                                        switch a port of the Vexa hub at LOCATION\n"
    "       tabvoltctl [--json] --ipad-charge\n"
    "                                        ask the driver to charge the attached iPads\n"
    "       tabvoltctl [--json] --beep FREQ MS\n"
    "                                        sound the PC speaker: 19-20000 Hz, 0-10000 ms\n"
    "       tabvoltctl --help\n"
    "LOCATION is the short form 0:14.0-1.4 (PCI bus:device.function in hexadecimal, then the\n"
    "root-hub port and the hub ports in decimal) or the Windows location path\n"
    "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4). PORT is 1 to 4.\n"
    "--json prints one JSON object a run. Exit status: 0 done, 1 refused or failed, 2 bad\n"
    "arguments.";

struct Options {
    bool json = false;
    bool help = false;
    bool ipad = false;
    bool beep = false;
    bool port_switch = false;
    std::string location, port, action, frequency, duration;
};

// How a run ends: a text line for a person, the same as JSON members for a script.
class Result {
  public:
    explicit Result(bool json) : json_(json) {}
    int Done(const std::string& text, const std::string& members) {
        if (json_) {
            WriteOut("{\"result\":\"ok\"" + members + "}");
        } else {
            WriteOut(text);
        }
        return EXIT_DONE;
    }
    // "refused" or "failed" (with the request's error), or "bad-arguments".
    int Fail(const char* result, const std::string& message, DWORD error = 0) {
        std::string text = message;
        std::string members = ",\"message\":" + JsonString(message);
        if (error != 0) {
            text += " (error " + std::to_string(error) + ")";
            members += ",\"error\":" + std::to_string(error);
        }
        if (json_) {
            WriteOut("{\"result\":\"" + std::string(result) + "\"" + members + "}");
        } else {
            WriteErr("tabvoltctl: " + text);
        }
        return std::string(result) == "bad-arguments" ? EXIT_BAD_ARGUMENTS : EXIT_REFUSED;
    }
    int BadArguments(const std::string& message) {
        if (!json_) {
            WriteErr("tabvoltctl: " + message + "; tabvoltctl --help says how");
            return EXIT_BAD_ARGUMENTS;
        }
        return Fail("bad-arguments", message);
    }

  private:
    bool json_;
};

// Decimal digits only, up to `most`.
bool ParseCount(const std::string& text, unsigned long most, unsigned long* value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    *value = strtoul(text.c_str(), NULL, 10);
    return *value <= most;
}

// Fills options from the arguments; an error message, empty when they make sense.
std::string ReadOptions(const std::vector<std::string>& args, Options* options) {
    for (size_t i = 0; i < args.size(); i++) {
        const std::string& arg = args[i];
        size_t values = arg == "-l" || arg == "-p" || arg == "-a" ? 1 : arg == "--beep" ? 2 : 0;
        if (args.size() - i - 1 < values) {
            return arg + " needs " + (values == 1 ? "a value" : "two values");
        }
        if (arg == "--json") {
            options->json = true;
        } else if (arg == "--help" || arg == "-h" || arg == "/?") {
            options->help = true;
        } else if (arg == "--ipad-charge") {
            options->ipad = true;
        } else if (arg == "--beep") {
            options->beep = true;
            options->frequency = args[i + 1];
            options->duration = args[i + 2];
        } else if (arg == "-l" || arg == "-p" || arg == "-a") {
            options->port_switch = true;
            std::string& value = arg == "-l"   ? options->location
                                 : arg == "-p" ? options->port
                                               : options->action;
            value = args[i + 1];
        } else {
            return "unknown argument " + arg;
        }
        i += values;
    }
    if ((int)options->ipad + (int)options->beep + (int)options->port_switch > 1) {
        return "one command a run: a listing, -l/-p/-a, --ipad-charge or --beep";
    }
    if (options->port_switch &&
        (options->location.empty() || options->port.empty() || options->action.empty())) {
        return "a port switch needs -l LOCATION, -p PORT and -a charge|normal";
    }
    return "";
}

// The control device, or INVALID_HANDLE_VALUE once the failure is told.
HANDLE OpenDriver(Result& result, int* status) {
    HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        *status = result.Fail("failed",
                              "cannot open \\\\.\\tabvolt: the tabvolt driver is not running; "
                              "it runs while a hub or tablet it serves is attached",
                              GetLastError());
    }
    return device;
}

std::string Hex4(unsigned value) {
    char text[8];
    snprintf(text, sizeof(text), "%04x", value & 0xFFFF);
    return text;
}

std::string JsonLocation(const TopoAddr& addr) {
    if (addr.RootHubPortNumber == 0) {
        return "\"location\":null,\"location_path\":null,\"parent\":null";
    }
    std::string path = LocationPath(addr);
    TopoAddr parent = addr;
    int depth = HubDepth(addr);
    std::string parentText = ControllerLocation(addr);
    if (depth > 0) {
        parent.HubPortNumber[depth - 1] = 0;
        parentText = ShortLocation(parent);
    }
    return "\"location\":" + JsonString(ShortLocation(addr)) +
           ",\"location_path\":" + (path.empty() ? "null" : JsonString(path)) +
           ",\"parent\":" + JsonString(parentText);
}

std::string JsonDevice(const ListedDevice& device) {
    const VEXA_DEVICE_ENTRY& e = device.entry;
    return std::string("{") + JsonLocation(device.addr) +
           ",\"handle\":" + std::to_string(e.handle) + ",\"vid\":\"" + Hex4(e.VID) +
           "\",\"pid\":\"" + Hex4(e.PID) + "\",\"bcd_device\":\"" + Hex4(e.bcdDev) +
           "\",\"bcd_usb\":\"" + Hex4(e.bcdUSB) + "\",\"kind\":\"" + DeviceKind(e) +
           "\",\"serial\":" + JsonString(device.serial) +
           ",\"instance_id\":" + JsonString(device.instance) +
           ",\"ipad_charge_sent\":" + (e.ChargeSent != 0 ? "true" : "false") + "}";
}

// One line a device, indented by its depth below its controller, each controller's devices
// under a line of its own.
void PrintTree(const DeviceTree& tree) {
    if (tree.devices.empty()) {
        WriteOut("tabvolt serves no device");
        return;
    }
    size_t width = 0;
    for (const ListedDevice& device : tree.devices) {
        width = std::max(
            width, 2 * (size_t)(HubDepth(device.addr) + 1) + ShortLocation(device.addr).size());
    }
    std::string shown;
    for (const ListedDevice& device : tree.devices) {
        std::string location = "?";
        std::string indent;
        std::string heading = "address unknown";
        if (device.addr.RootHubPortNumber != 0) {
            location = ShortLocation(device.addr);
            indent.assign(2 * (HubDepth(device.addr) + 1), ' ');
            std::string path = LocationPath(device.addr, true);
            heading = ControllerLocation(device.addr) + "  host controller  " +
                      (path.empty() ? "(behind a PCI bridge: no location path)" : path);
        }
        if (heading != shown) {
            shown = heading;
            WriteOut(heading);
        }
        const VEXA_DEVICE_ENTRY& e = device.entry;
        char line[200];
        snprintf(line, sizeof(line), "%-*s  %04x:%04x  %04x  %-14s  ", (int)width,
                 (indent + location).c_str(), e.VID, e.PID, e.bcdDev, DeviceKind(e));
        WriteOut(line + std::string("serial=") + (device.serial.empty() ? "-" : device.serial) +
                 "  instance=" + (device.instance.empty() ? "-" : device.instance) +
                 "  ipad-charge=" + (e.ChargeSent != 0 ? "sent" : "no"));
    }
}

int List(HANDLE device, Result& result, bool json) {
    DeviceTree tree;
    if (!ReadDeviceTree(device, &tree)) {
        return result.Fail("failed", "the driver did not list its devices", GetLastError());
    }
    if (!json) {
        PrintTree(tree);
        return EXIT_DONE;
    }
    std::string members = ",\"serial\":" + std::to_string(tree.serial) +
                          ",\"count\":" + std::to_string(tree.devices.size()) + ",\"devices\":[";
    for (size_t i = 0; i < tree.devices.size(); i++) {
        members += i == 0 ? "" : ",";
        members += JsonDevice(tree.devices[i]);
    }
    return result.Done("", members + "]");
}

// The Vexa hub at the location among the driver's devices; NULL once the refusal is told.
const ListedDevice* FindVexaHub(const DeviceTree& tree, const TopoAddr& wanted, Result& result,
                                int* status) {
    std::string where = ShortLocation(wanted);
    for (const ListedDevice& listed : tree.devices) {
        if (!Equals(listed.addr, wanted)) {
            continue;
        }
        if (IsTrackedVexaHub(listed.entry)) {
            return &listed;
        }
        *status = result.Fail("refused", "refused: " + where + " is " + Hex4(listed.entry.VID) +
                                             ":" + Hex4(listed.entry.PID) + " (" +
                                             DeviceKind(listed.entry) + "), not a Vexa hub");
        return NULL;
    }
    *status = result.Fail("refused", "refused: tabvolt serves no device at " + where);
    return NULL;
}

// The port command of Ampwise's pass, without its power-plan steps around it.
int SwitchPort(const Options& options, Result& result) {
    TopoAddr wanted;
    if (!ParseLocation(options.location, &wanted)) {
        return result.BadArguments("not a location: " + options.location +
                                   " (write 0:14.0-1.4 or PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1))");
    }
    unsigned long port = 0;
    if (!ParseCount(options.port, 0xFFFF, &port)) {
        return result.BadArguments("not a port number: " + options.port);
    }
    if (options.action != "charge" && options.action != "normal") {
        return result.BadArguments("-a takes charge or normal, not " + options.action);
    }
    if (port < 1 || port > PORT_CMD_PORTS) {
        return result.Fail("refused", "port " + options.port +
                                          " refused: a Vexa hub's port "
                                          "command is for ports 1 to " +
                                          std::to_string(PORT_CMD_PORTS));
    }
    int status = EXIT_REFUSED;
    HANDLE device = OpenDriver(result, &status);
    if (device == INVALID_HANDLE_VALUE) {
        return status;
    }
    DeviceTree tree;
    const ListedDevice* hub = NULL;
    if (!ReadDeviceTree(device, &tree)) {
        status = result.Fail("failed", "the driver did not list its devices", GetLastError());
    } else {
        hub = FindVexaHub(tree, wanted, result, &status);
    }
    bool charge = options.action == "charge";
    std::string mode = charge ? "charging" : "normal";
    std::string where = ShortLocation(wanted);
    if (hub != NULL) {
        if (SendHubPortRequest(device, hub->entry.handle, (USHORT)port,
                               charge ? HUB_PORT_MODE_CHARGING : HUB_PORT_MODE_NORMAL)) {
            status = result.Done(where + " port " + options.port + " -> " + mode,
                                 std::string(",") + JsonLocation(hub->addr) + ",\"port\":" +
                                     std::to_string(port) + ",\"mode\":\"" + mode + "\"");
        } else {
            status = result.Fail("failed",
                                 where + " port " + options.port + ": the hub refused " + mode +
                                     " mode five times, 500 ms apart",
                                 GetLastError());
        }
    }
    CloseHandle(device);
    return status;
}

int ChargeIpads(HANDLE device, Result& result) {
    // The byte Ampwise sends unless told to skip: the driver then also wants a Vexa hub.
    if (!SendTabChargingRequest(device, 0)) {
        return result.Fail("failed",
                           "no iPad charges: the driver found no chargeable tablet, or no Vexa "
                           "hub among its devices",
                           GetLastError());
    }
    return result.Done(
        "iPad charging: the driver has switched at least one tablet to charging "
        "current",
        "");
}

int Beep(HANDLE device, unsigned long frequency, unsigned long ms, Result& result) {
    DWORD divisor = TIMER_CLOCK_HZ / frequency;
    DWORD returned = 0;
    if (!DeviceIoControl(device, VEXA_IOCTL_BEEP_ON, &divisor, sizeof(divisor), NULL, 0, &returned,
                         NULL)) {
        return result.Fail("failed", "the driver did not sound the speaker", GetLastError());
    }
    Sleep(ms);
    if (!DeviceIoControl(device, VEXA_IOCTL_BEEP_OFF, NULL, 0, NULL, 0, &returned, NULL)) {
        return result.Fail("failed", "the driver did not stop the speaker", GetLastError());
    }
    return result.Done("beep " + std::to_string(frequency) + " Hz (divisor " +
                           std::to_string(divisor) + ") for " + std::to_string(ms) + " ms",
                       ",\"frequency\":" + std::to_string(frequency) + ",\"divisor\":" +
                           std::to_string(divisor) + ",\"ms\":" + std::to_string(ms));
}

// The commands that need nothing but the open control device.
int RunWithDriver(const Options& options, Result& result) {
    unsigned long frequency = 0, ms = 0;
    if (options.beep &&
        (!ParseCount(options.frequency, BEEP_HIGHEST_HZ, &frequency) ||
         frequency < BEEP_LOWEST_HZ || !ParseCount(options.duration, BEEP_LONGEST_MS, &ms))) {
        return result.BadArguments("--beep takes a frequency of 19 to 20000 Hz and 0 to 10000 ms");
    }
    int status = EXIT_REFUSED;
    HANDLE device = OpenDriver(result, &status);
    if (device == INVALID_HANDLE_VALUE) {
        return status;
    }
    status = options.beep   ? Beep(device, frequency, ms, result)
             : options.ipad ? ChargeIpads(device, result)
                            : List(device, result, options.json);
    CloseHandle(device);
    return status;
}

}  // namespace

extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    Options options;
    std::vector<std::string> args = CommandArguments();
    std::string error = ReadOptions(args, &options);
    Result result(options.json);
    if (options.help) {
        WriteOut(kUsage);
        return EXIT_DONE;
    }
    if (!error.empty()) {
        return result.BadArguments(error);
    }
    return options.port_switch ? SwitchPort(options, result) : RunWithDriver(options, result);
}
