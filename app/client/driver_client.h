// The client side of tabvolt's control device: the charging request, the polling pass and
// the hub port command.
#pragma once

#include <windows.h>

class CMainDlg;

// Hub port modes of the port command.
#define HUB_PORT_MODE_NORMAL 1
#define HUB_PORT_MODE_CHARGING 2

// Asks the driver to switch attached tablets to charging current; 0 on success, -1 else.
int RequestTabCharging(BYTE skip);

// One polling pass: lists the driver's devices, updates the main dialog's hub and tab lists,
// sends the pending port commands and tells the main dialog what changed.
void PollDevices(CMainDlg* dlg);

// Sends the port-mode vendor request to a hub port, retrying a failure up to four times.
void SendCommandForSetHubPortMode(HANDLE device, ULONG hubHandle, USHORT port, USHORT mode);
