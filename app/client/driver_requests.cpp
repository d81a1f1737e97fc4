#include "client/driver_requests.h"

#define VEXA_DEV_TYPE_HUB 1
#define BCD_USB_MAJOR_MASK 0x0F00
#define BCD_USB_2 0x0200
#define PORT_COMMAND_ATTEMPTS 5
#define PORT_COMMAND_RETRY_MS 500
// The largest count whose list still fits a 31-bit allocation.
#define DEVICE_LIST_MAX_COUNT \
    ((0x7FFFFFFFUL - VEXA_DEVICE_LIST_HEADER_SIZE) / sizeof(VEXA_DEVICE_ENTRY))

BOOL IsSamsungTablet(const VEXA_DEVICE_ENTRY& entry) {
    return entry.VID == SAMSUNG_VID;
}

BOOL IsTrackedVexaHub(const VEXA_DEVICE_ENTRY& entry) {
    return entry.VexaDevType == VEXA_DEV_TYPE_HUB &&
           (entry.bcdUSB & BCD_USB_MAJOR_MASK) == BCD_USB_2;
}

void NoTrace(LPCSTR, ...) {}

VEXA_DEVICE_LIST* ReadDeviceList(HANDLE device, ULONG* entries, TraceLine trace) {
    HANDLE heap = GetProcessHeap();
    DWORD returned = 0;
    VEXA_DEVICE_LIST* list =
        (VEXA_DEVICE_LIST*)HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(VEXA_DEVICE_LIST));
    if (list == NULL) {
        trace("failed to allocate memory");
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    if (!DeviceIoControl(device, VEXA_IOCTL_GET_DEVICE_NUM, NULL, 0, list, sizeof(VEXA_DEVICE_LIST),
                         &returned, NULL)) {
        DWORD error = GetLastError();
        trace("VEXA_IOCTL_GET_DEVICE_NUM: fail to send DeviceIoControl, %d\n", error);
        HeapFree(heap, 0, list);
        SetLastError(error);
        return NULL;
    }
    trace("Found %d HUB(s), serial %d\n", list->count, list->serial);

    SIZE_T size = sizeof(VEXA_DEVICE_LIST);
    if (list->count != 0) {
        size = list->count > DEVICE_LIST_MAX_COUNT
                   ? 0
                   : VEXA_DEVICE_LIST_HEADER_SIZE + list->count * sizeof(VEXA_DEVICE_ENTRY);
    }
    VEXA_DEVICE_LIST* resized =
        size == 0 ? NULL : (VEXA_DEVICE_LIST*)HeapReAlloc(heap, HEAP_ZERO_MEMORY, list, size);
    if (resized == NULL) {
        trace("failed to re-allocate memory");
        HeapFree(heap, 0, list);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return NULL;
    }
    list = resized;
    if (!DeviceIoControl(device, VEXA_IOCTL_ENUM_DEVICES, NULL, 0, list, (DWORD)size, &returned,
                         NULL)) {
        DWORD error = GetLastError();
        trace("VEXA_IOCTL_ENUM_DEVICES: fail to send DeviceIoControl, %d\n", error);
        HeapFree(heap, 0, list);
        SetLastError(error);
        return NULL;
    }
    ULONG capacity = (ULONG)((size - VEXA_DEVICE_LIST_HEADER_SIZE) / sizeof(VEXA_DEVICE_ENTRY));
    *entries = list->count < capacity ? list->count : capacity;

    trace("Enumerated %d HUB(s), serial %d\n", list->count, list->serial);
    for (ULONG i = 0; i < *entries; i++) {
        const VEXA_DEVICE_ENTRY& entry = list->entries[i];
        trace("#HUB %d", i);
        trace("    VexaDevType %d", entry.VexaDevType);
        trace("    VID %04x", entry.VID);
        trace("    PID %04x", entry.PID);
        trace("    bcdDev %04x", entry.bcdDev);
        trace("    bcdUSB %04x", entry.bcdUSB);
        trace("    handle %d", entry.handle);
    }
    return list;
}

BOOL QueryTopoAddr(HANDLE device, VEXA_TOPOLOGY* buffer, ULONG handle, TopoAddr* addr) {
    DWORD returned = 0;
    buffer->handle = handle;
    if (!DeviceIoControl(device, VEXA_IOCTL_GET_TOPOLOGY_ADDRESS, buffer, sizeof(*buffer), buffer,
                         sizeof(*buffer), &returned, NULL)) {
        return FALSE;
    }
    TopoAddrFromReply(addr, buffer);
    return TRUE;
}

BOOL QueryDeviceText(HANDLE device, DWORD code, ULONG handle, VEXA_QUERY* query) {
    query->handle = handle;
    query->capacity = VEXA_STRING_CAPACITY;
    DWORD returned = 0;
    if (!DeviceIoControl(device, code, query, DEVICE_TEXT_REQUEST_SIZE, query,
                         DEVICE_TEXT_REQUEST_SIZE, &returned, NULL)) {
        return FALSE;
    }
    query->text[VEXA_STRING_CAPACITY - 1] = '\0';
    return TRUE;
}

BOOL SendTabChargingRequest(HANDLE device, BYTE skip) {
    UCHAR input = skip != 0 ? 1 : 0;
    DWORD returned = 0;
    return DeviceIoControl(device, VEXA_IOCTL_ENABLE_TAB_CHARGING, &input, sizeof(input), NULL, 0,
                           &returned, NULL);
}

BOOL SendHubPortRequest(HANDLE device, ULONG hubHandle, USHORT port, USHORT mode) {
    // Zeroed: the serial and data bytes the request does not set go to the driver too.
    VEXA_REQUEST* request =
        (VEXA_REQUEST*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(VEXA_REQUEST));
    if (request == NULL) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // Host to device, vendor, recipient "other": the hub port wIndex names.
    request->handle = hubHandle;
    request->bmRequestType = 0x43;
    request->bRequest = 0x74;
    request->wValue = mode;
    request->wIndex = port;
    request->wLength = 0;
    BOOL sent = FALSE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 1; attempt <= PORT_COMMAND_ATTEMPTS && !sent; attempt++) {
        DWORD returned = 0;
        sent = DeviceIoControl(device, VEXA_IOCTL_HUB_PORT_COMMAND, request, sizeof(VEXA_REQUEST),
                               request, sizeof(VEXA_REQUEST), &returned, NULL);
        if (!sent) {
            error = GetLastError();
            if (attempt < PORT_COMMAND_ATTEMPTS) {
                Sleep(PORT_COMMAND_RETRY_MS);
            }
        }
    }
    HeapFree(GetProcessHeap(), 0, request);
    if (!sent) {
        SetLastError(error);
    }
    return sent;
}
