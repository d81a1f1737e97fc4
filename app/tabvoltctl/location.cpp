#include "location.h"

#include <ctype.h>
#include <stdio.h>

#include <initializer_list>

namespace {

// Windows' location path for a controller on bus 0 starts so; the bus needs no bridge.
const char kPathRoot[] = "PCIROOT(0)#PCI(";
const char kPathHub[] = ")#USBROOT(0)";
const char kPathPort[] = "#USB(";

// Digits of one number in the base; advances *at. False for no digit or a value above `most`.
bool ReadNumber(const std::string& text, size_t* at, int base, unsigned long most,
                unsigned long* value) {
    size_t start = *at;
    *value = 0;
    while (*at < text.size()) {
        char c = text[*at];
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : 99;
        if (digit >= base) {
            break;
        }
        *value = *value * base + digit;
        if (*value > most) {
            return false;
        }
        ++*at;
    }
    return *at > start;
}

// The expected text, in either case as Device Manager's paths may be typed.
bool ReadText(const std::string& text, size_t* at, const char* expected) {
    size_t pos = *at;
    for (; *expected != '\0'; ++expected, ++pos) {
        if (pos == text.size() || tolower((unsigned char)text[pos]) != tolower(*expected)) {
            return false;
        }
    }
    *at = pos;
    return true;
}

// The ports from the root hub down, each read by `read` after its separator.
template <typename ReadPort>
bool ReadPorts(const std::string& text, size_t at, TopoAddr* addr, ReadPort read) {
    unsigned long port = 0;
    if (!read(&at, &port)) {
        return false;
    }
    addr->RootHubPortNumber = (USHORT)port;
    for (int level = 0; level < TOPO_HUB_LEVELS && at < text.size(); level++) {
        if (!read(&at, &port)) {
            return false;
        }
        addr->HubPortNumber[level] = (USHORT)port;
    }
    return at == text.size();
}

// A port is 1 to 255, as a hub descriptor counts them.
#define PORT_MOST 255

bool ParseShort(const std::string& text, TopoAddr* addr) {
    size_t at = 0;
    unsigned long bus = 0, device = 0, function = 0;
    if (!ReadNumber(text, &at, 16, 0xFF, &bus) || !ReadText(text, &at, ":") ||
        !ReadNumber(text, &at, 16, 0x1F, &device) || !ReadText(text, &at, ".") ||
        !ReadNumber(text, &at, 16, 7, &function)) {
        return false;
    }
    addr->PciBusNumber = bus;
    addr->PciDeviceNumber = device;
    addr->PciFunctionNumber = function;
    bool first = true;
    return ReadPorts(text, at, addr, [&](size_t* pos, unsigned long* port) {
        bool separated = ReadText(text, pos, first ? "-" : ".");
        first = false;
        return separated && ReadNumber(text, pos, 10, PORT_MOST, port) && *port != 0;
    });
}

bool ParsePath(const std::string& text, TopoAddr* addr) {
    size_t at = 0;
    unsigned long slot = 0;
    if (!ReadText(text, &at, kPathRoot)) {
        return false;
    }
    size_t digits = at;
    // PCI(DDFF): the device and the function, two hexadecimal digits each.
    if (!ReadNumber(text, &at, 16, 0xFFFF, &slot) || at - digits != 4 ||
        !ReadText(text, &at, kPathHub)) {
        return false;
    }
    addr->PciBusNumber = 0;
    addr->PciDeviceNumber = slot >> 8;
    addr->PciFunctionNumber = slot & 0xFF;
    if (addr->PciDeviceNumber > 0x1F || addr->PciFunctionNumber > 7) {
        return false;
    }
    return ReadPorts(text, at, addr, [&](size_t* pos, unsigned long* port) {
        return ReadText(text, pos, kPathPort) && ReadNumber(text, pos, 10, PORT_MOST, port) &&
               *port != 0 && ReadText(text, pos, ")");
    });
}

}  // namespace

std::string ControllerLocation(const TopoAddr& addr) {
    char text[40];
    snprintf(text, sizeof(text), "%x:%x.%x", (unsigned)addr.PciBusNumber,
             (unsigned)addr.PciDeviceNumber, (unsigned)addr.PciFunctionNumber);
    return text;
}

std::string ShortLocation(const TopoAddr& addr) {
    std::string location = ControllerLocation(addr) + '-';
    location += std::to_string(addr.RootHubPortNumber);
    for (int level = 0; level < HubDepth(addr); level++) {
        location += '.';
        location += std::to_string(addr.HubPortNumber[level]);
    }
    return location;
}

std::string LocationPath(const TopoAddr& addr, bool controllerOnly) {
    if (addr.PciBusNumber != 0 || addr.PciDeviceNumber > 0x1F || addr.PciFunctionNumber > 7) {
        return "";
    }
    char slot[8];
    snprintf(slot, sizeof(slot), "%02X%02X", (unsigned)addr.PciDeviceNumber,
             (unsigned)addr.PciFunctionNumber);
    std::string path = std::string(kPathRoot) + slot + kPathHub;
    if (controllerOnly) {
        return path;
    }
    for (int level = -1; level < HubDepth(addr); level++) {
        path += kPathPort;
        path += std::to_string(level < 0 ? addr.RootHubPortNumber : addr.HubPortNumber[level]);
        path += ')';
    }
    return path;
}

bool ParseLocation(const std::string& text, TopoAddr* addr) {
    for (bool (*parse)(const std::string&, TopoAddr*) : {ParseShort, ParsePath}) {
        *addr = TopoAddr{};
        if (parse(text, addr)) {
            return true;
        }
    }
    *addr = TopoAddr{};
    return false;
}
