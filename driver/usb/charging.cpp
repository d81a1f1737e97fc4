// tabvolt: the charge-current request that asks Apple tablets for more current. It is sent
// only while serving the application's request for it, and at most once per device start
// or resume: a tablet keeps the current it was granted until it powers down. Resident, like
// everything the pageable I/O-control handler calls.
#include "filter.h"

// Host to device, vendor, recipient device; no data stage.
#define CHARGE_REQUEST_TYPE 0x40
#define CHARGE_REQUEST 0x40

#define CHARGE_HIGH_VALUE 0x6400
#define CHARGE_HIGH_INDEX 0x6400
#define CHARGE_LOW_VALUE 0x0000
#define CHARGE_LOW_INDEX 0x01F4

// ChgCmdMode values.
#define CHG_CMD_MODE_BY_PRODUCT 0
#define CHG_CMD_MODE_HIGH 1
#define CHG_CMD_MODE_BY_TABLET_COUNT 2
#define CHG_CMD_MODE_LOW 3

// With the default mode, products up to this one are asked for the high currents.
#define CHARGE_LAST_HIGH_PRODUCT 0x12A4

#define SNAPSHOT_HEADER_SIZE VEXA_DEVICE_LIST_HEADER_SIZE
#define SNAPSHOT_ENTRY_SIZE sizeof(VEXA_DEVICE_ENTRY)

// One snapshot entry, taken apart: the snapshot is packed and its entries are not aligned.
typedef struct _CHARGE_ENTRY {
    ULONG Handle;
    USHORT VexaDevType;
    USHORT Vid;
    USHORT Pid;
    UCHAR ChargeSent;
} CHARGE_ENTRY, *PCHARGE_ENTRY;

static VOID ReadSnapshotEntry(const UCHAR* Snapshot, ULONG Index, PCHARGE_ENTRY Entry) {
    const UCHAR* bytes = Snapshot + SNAPSHOT_HEADER_SIZE + SNAPSHOT_ENTRY_SIZE * (SIZE_T)Index;

    Entry->Handle = WireGetUlong(bytes + FIELD_OFFSET(VEXA_DEVICE_ENTRY, handle));
    Entry->VexaDevType = WireGetUshort(bytes + FIELD_OFFSET(VEXA_DEVICE_ENTRY, VexaDevType));
    Entry->Vid = WireGetUshort(bytes + FIELD_OFFSET(VEXA_DEVICE_ENTRY, VID));
    Entry->Pid = WireGetUshort(bytes + FIELD_OFFSET(VEXA_DEVICE_ENTRY, PID));
    Entry->ChargeSent = bytes[FIELD_OFFSET(VEXA_DEVICE_ENTRY, ChargeSent)];
}

BOOLEAN SelectChargeCurrent(USHORT ProductId, ULONG TabletCount, PUSHORT WValue, PUSHORT WIndex) {
    PCONTROL_DEVICE_EXTENSION control = FilterGetControlExtension();
    BOOLEAN high;

    if (control == NULL) {
        TraceWrite(TraceGroupCharge, TraceChargeNoControlDevice, "");
        high = TRUE;
    } else {
        switch (control->ChgCmdMode) {
            case CHG_CMD_MODE_BY_PRODUCT:
                high = ProductId <= CHARGE_LAST_HIGH_PRODUCT ? TRUE : FALSE;
                break;
            case CHG_CMD_MODE_HIGH:
                high = TRUE;
                break;
            case CHG_CMD_MODE_BY_TABLET_COUNT:
                high = TabletCount == 1 ? TRUE : FALSE;
                break;
            case CHG_CMD_MODE_LOW:
                high = FALSE;
                break;
            default:
                // The driver does not guess currents for a mode it does not know: such a
                // tablet is sent nothing.
                TraceWrite(TraceGroupCharge, TraceChargeUnknownMode, "u", control->ChgCmdMode);
                return FALSE;
        }
    }
    *WValue = high ? CHARGE_HIGH_VALUE : CHARGE_LOW_VALUE;
    *WIndex = high ? CHARGE_HIGH_INDEX : CHARGE_LOW_INDEX;
    TraceWrite(TraceGroupCharge, TraceChargeCurrentChosen, "xuxx", (ULONG)ProductId, TabletCount,
               (ULONG)*WValue, (ULONG)*WIndex);
    return TRUE;
}

// Sends the request to the entry's device if it is still there. The found device stays
// referenced until the send has returned, so a removal meanwhile only makes the send fail.
static NTSTATUS SendChargeRequest(const CHARGE_ENTRY* Entry, ULONG TabletCount) {
    FOUND_FILTER_DEVICE found;
    ULONG serial;
    USHORT wValue;
    USHORT wIndex;
    NTSTATUS status;

    status = FindFilterDeviceByHandle(&serial, Entry->Handle, &found);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupCharge, TraceChargeDeviceGone, "u", Entry->Handle);
        return status;
    }
    if (SelectChargeCurrent(Entry->Pid, TabletCount, &wValue, &wIndex)) {
        status = FilterSendDeviceRequest(found.Device, CHARGE_REQUEST_TYPE, CHARGE_REQUEST, wValue,
                                         wIndex, 0, NULL);
        TraceWrite(TraceGroupCharge, TraceChargeSendResult, "ux", Entry->Handle, (ULONG)status);
        if (NT_SUCCESS(status)) {
            FilterGetData(found.Device)->ChargeSent = 1;
        }
    } else {
        status = STATUS_UNSUCCESSFUL;
    }
    FilterReleaseFoundDevice(&found);
    return status;
}

NTSTATUS EnableTabCharging(BOOLEAN SkipHubCheck) {
    PUCHAR snapshot;
    CHARGE_ENTRY entry;
    ULONG serial;
    ULONG count;
    ULONG listed;
    ULONG index;
    ULONG tabletCount;
    BOOLEAN hubFound;
    BOOLEAN anyCharging;
    NTSTATUS status;

    TraceWrite(TraceGroupCharge, TraceChargeEntry, "u", (ULONG)SkipHubCheck);
    count = GetFilterDeviceCount(&serial);
    TraceWrite(TraceGroupCharge, TraceChargeDeviceCount, "u", count);
    if (count == 0) {
        return STATUS_UNSUCCESSFUL;
    }

    snapshot = (PUCHAR)ExAllocatePoolWithTag(
        NonPagedPool, SNAPSHOT_HEADER_SIZE + SNAPSHOT_ENTRY_SIZE * (SIZE_T)count, TABVOLT_POOL_TAG);
    if (snapshot == NULL) {
        TraceWrite(TraceGroupCharge, TraceChargeAllocationFailed, "u", count);
        return STATUS_UNSUCCESSFUL;
    }
    status = EnumFilterDevices(&serial, snapshot, count);
    if (!NT_SUCCESS(status)) {
        status = STATUS_UNSUCCESSFUL;
        goto Exit;
    }
    // The listing reports every device present when it ran but writes no more entries than
    // it was given room for; devices added since the count are left for the next request.
    listed = WireGetUlong(snapshot + FIELD_OFFSET(VEXA_DEVICE_LIST, count));
    if (listed > count) {
        listed = count;
    }

    if (!SkipHubCheck) {
        hubFound = FALSE;
        for (index = 0; index < listed && !hubFound; index++) {
            ReadSnapshotEntry(snapshot, index, &entry);
            hubFound = entry.VexaDevType == 1 ? TRUE : FALSE;
        }
        if (!hubFound) {
            // Without a Vexa hub nothing is asked of any tablet.
            TraceWrite(TraceGroupCharge, TraceChargeNoHub, "u", listed);
            status = STATUS_UNSUCCESSFUL;
            goto Exit;
        }
    }

    // Tablets that were charged before still count: the currents depend on how many
    // tablets share the hub.
    tabletCount = 0;
    for (index = 0; index < listed; index++) {
        ReadSnapshotEntry(snapshot, index, &entry);
        if (IsChargeableTablet(entry.Vid, entry.Pid)) {
            tabletCount++;
        }
    }
    TraceWrite(TraceGroupCharge, TraceChargeTabletCount, "u", tabletCount);

    anyCharging = FALSE;
    for (index = 0; index < listed; index++) {
        ReadSnapshotEntry(snapshot, index, &entry);
        if (!IsChargeableTablet(entry.Vid, entry.Pid)) {
            continue;
        }
        if (entry.ChargeSent == 1) {
            anyCharging = TRUE;
            continue;
        }
        // A failed send leaves ChargeSent at 0, so the next request tries again.
        if (NT_SUCCESS(SendChargeRequest(&entry, tabletCount))) {
            anyCharging = TRUE;
        }
    }
    status = anyCharging ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL;

Exit:
    ExFreePoolWithTag(snapshot, TABVOLT_POOL_TAG);
    TraceWrite(TraceGroupCharge, TraceChargeResult, "x", (ULONG)status);
    return status;
}
