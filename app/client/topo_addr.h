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
