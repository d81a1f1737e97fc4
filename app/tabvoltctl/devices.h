// What tabvolt serves, as tabvoltctl lists it: every device with its entry, its place in the
// USB tree and its two texts, in tree order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "client/topo_addr.h"
#include "vexa_ioctl.h"

struct ListedDevice {
    VEXA_DEVICE_ENTRY entry;
    TopoAddr addr;
    std::string serial;
    std::string instance;
};

struct DeviceTree {
    ULONG serial;  // the handle the driver gives the next device
    std::vector<ListedDevice> devices;
};

// The kind as Ampwise tells devices apart: "vexa-hub" (a hub Ampwise sends port commands
// to), "ipad" and "samsung-tablet" by vendor, otherwise "other".
const char* DeviceKind(const VEXA_DEVICE_ENTRY& entry);

// Asks the driver for every device, its topology address and texts; false with the failed
// request's error as the last error. Sorted by controller, then root port, then hub ports, so
// that a hub comes before what is plugged into it; a device whose address the driver could
// not read (no root port) comes last.
bool ReadDeviceTree(HANDLE device, DeviceTree* tree);
