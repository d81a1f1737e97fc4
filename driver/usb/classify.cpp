// tabvolt: device classification — the attach test at device add, Vexa hub recognition at
// start, and the chargeable-tablet test used when the application asks for charging.
#include "filter.h"

#define ID_TEXT_BYTES 512
// Narrowing leaves one byte per unit, so the 8-bit text lies in the first half of the buffer.
#define ID_TEXT_CHARS (ID_TEXT_BYTES / sizeof(WCHAR))

#define VEXA_HUB_STRING_INDEX 0x80
#define VEXA_HUB_STRING_CHARS 256

#define APPLE_VENDOR_ID 0x05AC
#define APPLE_TABLET_PRODUCTS 0x1200

// Only the first string of each ID list is examined; all patterns are upper case, so the
// match is case-insensitive once the text has been upper-cased.
static const PCSTR kAttachVendorPatterns[] = {
    "USB\\VID_05AC",  // Apple
    "USB\\VID_04E8",  // Samsung
};
// Host controllers, root hubs and Intel's rate-matching hubs are never external hubs.
static const PCSTR kNotExternalHubPatterns[] = {"PCI", "USB\\ROOT", "NUSB3\\ROOT", "USB\\VID_8087"};
static const PCSTR kHubCompatiblePatterns[] = {"CLASS_09", "USB20_HUB", "USB30_HUB", "EXT_HUB20",
                                               "EXT_HUB30"};
// Some vendors' hub drivers report no compatible IDs; their hubs show in the hardware ID.
static const PCSTR kHubHardwarePatterns[] = {"ASMEDIAUSBD_HUB", "TIUSBD_HUB", "USBD_HUB"};

typedef enum _CHARGE_LIST { ChargeListSkip, ChargeListSupport } CHARGE_LIST;

// C linkage, so that alloc_text can place it.
extern "C" {
static NTSTATUS QueryIdText(PWDFDEVICE_INIT DeviceInit, DEVICE_REGISTRY_PROPERTY Property,
                            PUCHAR Buffer);
}

#ifdef ALLOC_PRAGMA
#pragma alloc_text(PAGE, QueryIdText)
#pragma alloc_text(PAGE, FilterShouldSkipDevice)
#pragma alloc_text(PAGE, FilterSkipUnlessExternalHub)
#endif

// Narrows a 512-byte buffer of UTF-16 text in place and makes sure the result is terminated:
// a text without a zero unit in the buffer gets no terminator from the narrowing.
static VOID NarrowIdText(PUCHAR Buffer) {
    SIZE_T index;

    NarrowWideString(Buffer, ID_TEXT_BYTES);
    for (index = 0; index < ID_TEXT_CHARS; index++) {
        if (Buffer[index] == 0) {
            return;
        }
    }
    Buffer[ID_TEXT_CHARS] = 0;
}

// Substring search bounded by the terminator and by TextSize.
static BOOLEAN TextContains(const UCHAR* Text, SIZE_T TextSize, PCSTR Pattern) {
    SIZE_T start;
    SIZE_T index;

    for (start = 0; start < TextSize && Text[start] != 0; start++) {
        for (index = 0; Pattern[index] != 0; index++) {
            if (start + index >= TextSize || Text[start + index] != (UCHAR)Pattern[index]) {
                break;
            }
        }
        if (Pattern[index] == 0) {
            return TRUE;
        }
    }
    return FALSE;
}

// The first of Patterns, in their order, that occurs in Text; NULL when none does.
static PCSTR FirstPatternFound(const UCHAR* Text, const PCSTR* Patterns, ULONG PatternCount) {
    ULONG index;

    for (index = 0; index < PatternCount; index++) {
        if (TextContains(Text, ID_TEXT_CHARS, Patterns[index])) {
            return Patterns[index];
        }
    }
    return NULL;
}

// Reads the first ID of a property list as upper-case 8-bit text. A property that cannot be
// read becomes an empty text, which no pattern matches.
static NTSTATUS QueryIdText(PWDFDEVICE_INIT DeviceInit, DEVICE_REGISTRY_PROPERTY Property,
                            PUCHAR Buffer) {
    ULONG resultLength = 0;
    NTSTATUS status;

    PAGED_CODE();

    // Zeroed first as well, so that a property missing its terminator ends inside the buffer.
    RtlZeroMemory(Buffer, ID_TEXT_BYTES);
    status = WdfFdoInitQueryProperty(DeviceInit, Property, ID_TEXT_BYTES, Buffer, &resultLength);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupEntry, TraceEntryIdQueryFailed, "ux", (ULONG)Property, (ULONG)status);
        RtlZeroMemory(Buffer, ID_TEXT_BYTES);
    }
    NarrowIdText(Buffer);
    StrToUpperInPlace((PCHAR)Buffer, ID_TEXT_CHARS);
    TraceWrite(TraceGroupEntry, TraceEntryIdText, "us", (ULONG)Property, Buffer);
    return status;
}

BOOLEAN FilterShouldSkipDevice(PWDFDEVICE_INIT DeviceInit) {
    UCHAR text[ID_TEXT_BYTES];
    PCSTR pattern;

    PAGED_CODE();

    // A failed query leaves an empty text and passes the decision on.
    (VOID) QueryIdText(DeviceInit, DevicePropertyHardwareID, text);
    pattern = FirstPatternFound(text, kAttachVendorPatterns, RTL_NUMBER_OF(kAttachVendorPatterns));
    if (pattern != NULL) {
        TraceWrite(TraceGroupEntry, TraceEntryAttachDecision, "su", pattern, 1u);
        return FALSE;
    }
    return FilterSkipUnlessExternalHub(DeviceInit);
}

BOOLEAN FilterSkipUnlessExternalHub(PWDFDEVICE_INIT DeviceInit) {
    UCHAR text[ID_TEXT_BYTES];
    PCSTR pattern;
    NTSTATUS status;

    PAGED_CODE();

    (VOID) QueryIdText(DeviceInit, DevicePropertyHardwareID, text);
    pattern =
        FirstPatternFound(text, kNotExternalHubPatterns, RTL_NUMBER_OF(kNotExternalHubPatterns));
    if (pattern != NULL) {
        TraceWrite(TraceGroupEntry, TraceEntryAttachDecision, "su", pattern, 0u);
        return TRUE;
    }

    status = QueryIdText(DeviceInit, DevicePropertyCompatibleIDs, text);
    if (NT_SUCCESS(status)) {
        pattern =
            FirstPatternFound(text, kHubCompatiblePatterns, RTL_NUMBER_OF(kHubCompatiblePatterns));
    } else {
        // Without compatible IDs only the hardware ID can tell a hub.
        (VOID) QueryIdText(DeviceInit, DevicePropertyHardwareID, text);
        pattern =
            FirstPatternFound(text, kHubHardwarePatterns, RTL_NUMBER_OF(kHubHardwarePatterns));
    }
    if (pattern == NULL) {
        TraceWrite(TraceGroupEntry, TraceEntryAttachDecision, "su", "no hub pattern", 0u);
        return TRUE;
    }
    TraceWrite(TraceGroupEntry, TraceEntryAttachDecision, "su", pattern, 1u);
    return FALSE;
}

// Rule 4 of the hub test. The read's status decides nothing: a failed read leaves the buffer
// zeroed, and an empty text names no hub.
static BOOLEAN StringNamesVexaHub(WDFDEVICE Device) {
    UCHAR text[ID_TEXT_BYTES];
    NTSTATUS status;

    RtlZeroMemory(text, sizeof(text));
    status =
        FilterQueryStringDescriptor(Device, VEXA_HUB_STRING_INDEX, text, VEXA_HUB_STRING_CHARS);
    NarrowIdText(text);
    TraceWrite(TraceGroupPnp, TracePnpHubString, "xs", (ULONG)status, text);
    return TextContains(text, ID_TEXT_CHARS, "Vexa 3.0 Hub");
}

BOOLEAN FilterIsVexaHub(WDFDEVICE Device) {
    PFILTER_EXTENSION extension = FilterGetData(Device);
    PCONTROL_DEVICE_EXTENSION control;
    USHORT vid = extension->DeviceDescriptor.idVendor;
    USHORT pid = extension->DeviceDescriptor.idProduct;
    USHORT bcdUsb = extension->DeviceDescriptor.bcdUSB;
    USHORT bcdDevice = extension->DeviceDescriptor.bcdDevice;
    USHORT deviceFamily = (USHORT)(bcdDevice & 0xFFF0);
    ULONG rule;

    control = FilterGetControlExtension();
    if (control == NULL) {
        TraceWrite(TraceGroupPnp, TracePnpHubNoConfiguration, "");
        return FALSE;
    }

    DbgPrint("vid %x, pid %d, bcdusb", vid, pid);

    // The rules are tried in order and the first one that fires decides; rule 0 means none.
    if (vid == 0x2E7B && (bcdUsb == 0x0200 || bcdUsb == 0x0210) && (pid & 0xFF00) == 0x0600) {
        rule = 1;
    } else if (vid == 0x2101 && pid == 0x8500) {
        rule = 2;
    } else if (vid == 0x4000 && pid == 0x8564) {
        rule = 3;
    } else if (control->DontGetStrDesc == 0 && StringNamesVexaHub(Device)) {
        rule = 4;
    } else if (deviceFamily == 0x7760 || deviceFamily == 0x8530 || deviceFamily == 0x3190 ||
               deviceFamily == 0x3290) {
        rule = 5;
    } else if (VidPidListContains(&control->VexaHubSupportList, vid, pid)) {
        rule = 6;
    } else {
        rule = 0;
    }
    TraceWrite(TraceGroupPnp, TracePnpHubRule, "xxu", (ULONG)vid, (ULONG)pid, rule);
    return rule != 0 ? TRUE : FALSE;
}

BOOLEAN VidPidListContains(const VID_PID_LIST* List, USHORT VendorId, USHORT ProductId) {
    LONG index;

    if (List == NULL) {
        return FALSE;
    }
    for (index = 0; index < List->Count && index < VID_PID_LIST_CAPACITY; index++) {
        if (List->Vid[index] == VendorId && List->Pid[index] == ProductId) {
            return TRUE;
        }
    }
    return FALSE;
}

// The configuration goes with the control device; once it is gone every list is empty.
static BOOLEAN ChargeListContains(CHARGE_LIST Which, USHORT VendorId, USHORT ProductId) {
    PCONTROL_DEVICE_EXTENSION control = FilterGetControlExtension();

    if (control == NULL) {
        TraceWrite(TraceGroupCharge, TraceChargeNoControlDevice, "");
        return FALSE;
    }
    return VidPidListContains(
        Which == ChargeListSkip ? &control->IDevSkipList : &control->IpadSupportList, VendorId,
        ProductId);
}

BOOLEAN IsChargeableTablet(USHORT VendorId, USHORT ProductId) {
    BOOLEAN chargeable;

    // The skip list wins over the product range and over the support list.
    if (ChargeListContains(ChargeListSkip, VendorId, ProductId)) {
        chargeable = FALSE;
    } else if (VendorId == APPLE_VENDOR_ID && (ProductId & 0xFF00) == APPLE_TABLET_PRODUCTS) {
        chargeable = TRUE;
    } else {
        chargeable = ChargeListContains(ChargeListSupport, VendorId, ProductId);
    }
    TraceWrite(TraceGroupCharge, TraceChargeTabletDecision, "xxu", (ULONG)VendorId,
               (ULONG)ProductId, (ULONG)chargeable);
    return chargeable;
}
