#include "client/topo_addr.h"

void TopoAddrFromReply(TopoAddr* addr, const VEXA_TOPOLOGY* reply) {
    addr->PciBusNumber = reply->PciBusNumber;
    addr->PciDeviceNumber = reply->PciDeviceNumber;
    addr->PciFunctionNumber = reply->PciFunctionNumber;
    addr->RootHubPortNumber = reply->RootHubPortNumber;
    for (int level = 0; level < TOPO_HUB_LEVELS; level++) {
        addr->HubPortNumber[level] = reply->HubPortNumber[level];
    }
}

namespace {

BOOL SameRootPort(const TopoAddr& a, const TopoAddr& b) {
    return a.PciBusNumber == b.PciBusNumber && a.PciDeviceNumber == b.PciDeviceNumber &&
           a.PciFunctionNumber == b.PciFunctionNumber && a.RootHubPortNumber == b.RootHubPortNumber;
}

BOOL SameHubPorts(const TopoAddr& a, const TopoAddr& b, int levels) {
    for (int level = 0; level < levels; level++) {
        if (a.HubPortNumber[level] != b.HubPortNumber[level]) {
            return FALSE;
        }
    }
    return TRUE;
}

}  // namespace

int HubDepth(const TopoAddr& addr) {
    int depth = TOPO_HUB_LEVELS;
    while (depth > 0 && addr.HubPortNumber[depth - 1] == 0) {
        depth--;
    }
    return depth;
}

BOOL Equals(const TopoAddr& a, const TopoAddr& b) {
    return SameRootPort(a, b) && SameHubPorts(a, b, TOPO_HUB_LEVELS);
}

BOOL IsUpstreamOf(const TopoAddr& hub, const TopoAddr& dev) {
    return SameRootPort(hub, dev) && SameHubPorts(hub, dev, HubDepth(hub));
}

USHORT ParentPort(const TopoAddr& dev) {
    int depth = HubDepth(dev);
    return depth == 0 ? dev.RootHubPortNumber : dev.HubPortNumber[depth - 1];
}

USHORT PortOnHub(const TopoAddr& hub, const TopoAddr& dev) {
    int depth = HubDepth(hub);
    return depth < TOPO_HUB_LEVELS ? dev.HubPortNumber[depth] : 0;
}
