#include "client/driver_client.h"

#include "client/debug_print.h"
#include "client/driver_requests.h"

int RequestTabCharging(BYTE skip) {
    HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        DebugPrint("open filter fail, %d\n", GetLastError());
        return -1;
    }
    if (!SendTabChargingRequest(device, skip)) {
        DebugPrint("IOCTL fail, %d\n", GetLastError());
        CloseHandle(device);
        return -1;
    }
    CloseHandle(device);
    DebugPrint("yaya\n");
    return 0;
}

void SendCommandForSetHubPortMode(HANDLE device, ULONG hubHandle, USHORT port, USHORT mode) {
    DebugPrint("SendCommandForSetHubPortMode, mode = %d, port = %d\n", mode, port);
    SendHubPortRequest(device, hubHandle, port, mode);
}
