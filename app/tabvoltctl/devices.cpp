#include "devices.h"

#include <algorithm>
#include <tuple>

#include "client/driver_requests.h"

namespace {

#define STRING_DESCRIPTOR_TYPE 0x03

std::string InstanceText(HANDLE device, ULONG handle, VEXA_QUERY* query) {
    if (!QueryDeviceText(device, VEXA_IOCTL_GET_INSTANCE_ID, handle, query)) {
        return "";
    }
    return (const char*)query->text;
}

// The driver keeps the serial string as the device sent it, UTF-16LE: bare characters, or the
// whole string descriptor (length, type 3, characters) when it read it with its own request.
// Characters outside ASCII are shown as '?'.
std::string SerialText(HANDLE device, ULONG handle, VEXA_QUERY* query) {
    if (!QueryDeviceText(device, VEXA_IOCTL_GET_SERIAL_STRING, handle, query)) {
        return "";
    }
    const UCHAR* bytes = query->text;
    size_t start = 0;
    size_t end = VEXA_STRING_CAPACITY - 1;
    if (bytes[1] == STRING_DESCRIPTOR_TYPE && bytes[0] >= 2) {
        start = 2;
        end = bytes[0];
    }
    std::string text;
    for (size_t at = start; at + 1 < end; at += 2) {
        unsigned c = bytes[at] | (bytes[at + 1] << 8);
        if (c == 0) {
            break;
        }
        text += c >= 0x20 && c < 0x7F ? (char)c : '?';
    }
    return text;
}

// Devices without a place (their address unread) last.
auto TreeOrder(const ListedDevice& device) {
    const TopoAddr& a = device.addr;
    return std::make_tuple(a.RootHubPortNumber == 0, a.PciBusNumber, a.PciDeviceNumber,
                           a.PciFunctionNumber, a.RootHubPortNumber, a.HubPortNumber[0],
                           a.HubPortNumber[1], a.HubPortNumber[2], a.HubPortNumber[3],
                           a.HubPortNumber[4], device.entry.handle);
}

}  // namespace

const char* DeviceKind(const VEXA_DEVICE_ENTRY& entry) {
    if (IsTrackedVexaHub(entry)) {
        return "vexa-hub";
    }
    if (entry.VID == APPLE_VID) {
        return "ipad";
    }
    return IsSamsungTablet(entry) ? "samsung-tablet" : "other";
}

bool ReadDeviceTree(HANDLE device, DeviceTree* tree) {
    ULONG entries = 0;
    VEXA_DEVICE_LIST* list = ReadDeviceList(device, &entries, NoTrace);
    if (list == NULL) {
        return false;
    }
    tree->serial = list->serial;
    std::vector<unsigned char> text(DEVICE_TEXT_REQUEST_SIZE);
    VEXA_QUERY* query = (VEXA_QUERY*)text.data();
    VEXA_TOPOLOGY topology;
    bool answered = true;
    for (ULONG i = 0; i < entries && answered; i++) {
        ListedDevice listed;
        listed.entry = list->entries[i];
        ZeroMemory(&topology, sizeof(topology));
        answered = QueryTopoAddr(device, &topology, listed.entry.handle, &listed.addr);
        listed.serial = SerialText(device, listed.entry.handle, query);
        listed.instance = InstanceText(device, listed.entry.handle, query);
        tree->devices.push_back(listed);
    }
    DWORD error = GetLastError();
    HeapFree(GetProcessHeap(), 0, list);
    std::sort(
        tree->devices.begin(), tree->devices.end(),
        [](const ListedDevice& a, const ListedDevice& b) { return TreeOrder(a) < TreeOrder(b); });
    SetLastError(error);
    return answered;
}
