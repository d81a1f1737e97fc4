// The requests of tabvolt's control device that both of its clients send, Ampwise's polling
// pass and tabvoltctl, with nothing of either's policy: each caller says in its own words what
// a failure means.
#pragma once

#include <windows.h>

#include "client/topo_addr.h"
#include "vexa_ioctl.h"

#define SAMSUNG_VID 0x04E8
#define APPLE_VID 0x05AC

// The Samsung tablets the pass looks for below Vexa hubs: by vendor alone.
BOOL IsSamsungTablet(const VEXA_DEVICE_ENTRY& entry);
// A Vexa hub as the pass tracks it: the driver recognised it, and it is the hub's USB 2 half
// (its USB 3 half carries no port command).
BOOL IsTrackedVexaHub(const VEXA_DEVICE_ENTRY& entry);

// Where a caller's trace lines go: Ampwise's DebugPrint, or nowhere.
typedef void (*TraceLine)(LPCSTR format, ...);
void NoTrace(LPCSTR format, ...);

// Both list requests answered into one heap block (HeapFree it); NULL when memory runs out or
// a request fails, with a trace line saying which. A count that grew between the two requests
// is cut to the entries the block holds (*entries).
VEXA_DEVICE_LIST* ReadDeviceList(HANDLE device, ULONG* entries, TraceLine trace);

// The topology address of one device through buffer (32 bytes, its other fields kept).
BOOL QueryTopoAddr(HANDLE device, VEXA_TOPOLOGY* buffer, ULONG handle, TopoAddr* addr);

// One of the four string queries into query, which holds DEVICE_TEXT_REQUEST_SIZE bytes; the
// text is cut to end inside its 512 bytes whatever the driver sent.
#define DEVICE_TEXT_REQUEST_SIZE (VEXA_QUERY_HEADER_SIZE + VEXA_STRING_CAPACITY)
BOOL QueryDeviceText(HANDLE device, DWORD code, ULONG handle, VEXA_QUERY* query);

// Asks the driver to switch attached tablets to charging current (skip: go on without a Vexa
// hub among its devices).
BOOL SendTabChargingRequest(HANDLE device, BYTE skip);

// The port-mode vendor request to a hub port (mode 2 charging, 1 normal), tried up to five
// times 500 ms apart; FALSE with the last request's error when every try failed.
BOOL SendHubPortRequest(HANDLE device, ULONG hubHandle, USHORT port, USHORT mode);
