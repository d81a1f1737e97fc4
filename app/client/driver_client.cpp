#include "client/driver_client.h"

#include "client/debug_print.h"
#include "vexa_ioctl.h"

#define PORT_COMMAND_ATTEMPTS 5
#define PORT_COMMAND_RETRY_MS 500

int RequestTabCharging(BYTE skip) {
    HANDLE device = CreateFileA(VEXA_USER_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (device == INVALID_HANDLE_VALUE) {
        DebugPrint("open filter fail, %d\n", GetLastError());
        return -1;
    }
    UCHAR input = skip != 0 ? 1 : 0;
    DWORD returned = 0;
    if (!DeviceIoControl(device, VEXA_IOCTL_ENABLE_TAB_CHARGING, &input, sizeof(input), NULL, 0,
                         &returned, NULL)) {
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
    // Zeroed: the serial and data bytes the request does not set go to the driver too.
    VEXA_REQUEST* request =
        (VEXA_REQUEST*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VEXA_REQUEST));
    if (request == NULL) {
        return;
    }
    // Host to device, vendor, recipient "other": the hub port wIndex names.
    request->handle = hubHandle;
    request->bmRequestType = 0x43;
    request->bRequest = 0x74;
    request->wValue = mode;
    request->wIndex = port;
    request->wLength = 0;
    for (int attempt = 1; attempt <= PORT_COMMAND_ATTEMPTS; attempt++) {
        DWORD returned = 0;
        if (DeviceIoControl(device, VEXA_IOCTL_HUB_PORT_COMMAND, request, sizeof(VEXA_REQUEST),
                            request, sizeof(VEXA_REQUEST), &returned, NULL)) {
            break;
        }
        if (attempt < PORT_COMMAND_ATTEMPTS) {
            Sleep(PORT_COMMAND_RETRY_MS);
        }
    }
    HeapFree(GetProcessHeap(), 0, request);
}
