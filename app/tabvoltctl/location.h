// A device's place in the USB tree as tabvoltctl writes and reads it: the short form made
// from the topology address the driver reports, and Windows' location path where that can be
// derived from it.
#pragma once

#include <string>

#include "client/topo_addr.h"

// The host controller: "0:14.0", PCI bus and device in hexadecimal, then the function.
std::string ControllerLocation(const TopoAddr& addr);
// "0:14.0-1.4": the controller, then the root-hub port and the hub ports from the root hub
// down, in decimal.
std::string ShortLocation(const TopoAddr& addr);
// Windows' location path, "PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(4)" (the controller's
// alone without hub ports when `controllerOnly`). Only a controller on PCI bus 0 has one that
// follows from the address: a bridge before a controller on another bus is not in it. Empty
// when it cannot be derived.
std::string LocationPath(const TopoAddr& addr, bool controllerOnly = false);
// Reads either form of a device's location (a root-hub port at least); false when the text is
// neither.
bool ParseLocation(const std::string& text, TopoAddr* addr);
