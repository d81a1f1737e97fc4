// The application's copy of a device's USB topology address, and the tests on it.
#pragma once

#include <windows.h>

#include "vexa_ioctl.h"

#define TOPO_HUB_LEVELS 5

struct TopoAddr {
    ULONG PciBusNumber;
    ULONG PciDeviceNumber;
    ULONG PciFunctionNumber;
    USHORT RootHubPortNumber;
    USHORT HubPortNumber[TOPO_HUB_LEVELS];  // [0]: port on the first hub below the root hub
};

// Copies the address fields of the driver's topology reply.
void TopoAddrFromReply(TopoAddr* addr, const VEXA_TOPOLOGY* reply);

// All nine fields equal.
BOOL Equals(const TopoAddr& a, const TopoAddr& b);
// dev sits below hub, any number of levels down (a prefix test on the hub ports).
BOOL IsUpstreamOf(const TopoAddr& hub, const TopoAddr& dev);
// The port of dev on its parent hub: its deepest non-zero hub port, else its root-hub port.
USHORT ParentPort(const TopoAddr& dev);
// Number of hub levels in use: the position, from 1, of the last non-zero hub port.
int HubDepth(const TopoAddr& addr);
// The port of hub through which dev is reached, for a hub upstream of dev; 0 when dev cannot
// sit below it (the hub uses all five levels).
USHORT PortOnHub(const TopoAddr& hub, const TopoAddr& dev);
