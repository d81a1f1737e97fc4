// tabvolt: the configuration read from the service's parameter key once, when the control
// device is created at load. The readers stay resident, like everything the pageable
// control-device code calls.
#include "filter.h"

// The service key is named tabvoltx, not after the driver file.
#define PARAM_KEY_PATH L"\\Registry\\Machine\\SYSTEM\\CurrentControlSet\\Services\\tabvoltx\\Param"

// One list record: vendor ID, separator, product ID, separator, as UTF-16 code units.
#define LIST_RECORD_BYTES 20
#define LIST_GROUP_UNITS 4
#define LIST_VENDOR_UNIT 0
#define LIST_PRODUCT_UNIT 5

typedef VOID PARAM_VALUE_PARSER(const UCHAR* Data, ULONG DataLength, PVOID Context);

typedef struct _VID_PID_TARGET {
    PUSHORT Vid;
    PUSHORT Pid;
    LONG Capacity;
    PLONG Count;
} VID_PID_TARGET, *PVID_PID_TARGET;

static PARAM_VALUE_PARSER ParseVidPidList;
static PARAM_VALUE_PARSER ParseOption;

// Opens the key, reads one value whole and hands its data to Parser. The key is opened and
// closed for each value, and every failure is traced and leaves the setting alone.
static NTSTATUS ReadParamValue(PCWSTR ValueName, PARAM_VALUE_PARSER* Parser, PVOID Context) {
    UNICODE_STRING keyPath;
    UNICODE_STRING valueName;
    OBJECT_ATTRIBUTES attributes;
    HANDLE key = NULL;
    PKEY_VALUE_FULL_INFORMATION info = NULL;
    ULONG size = 0;
    ULONG returned = 0;
    NTSTATUS status;

    RtlInitUnicodeString(&keyPath, PARAM_KEY_PATH);
    RtlInitUnicodeString(&valueName, ValueName);
    InitializeObjectAttributes(&attributes, &keyPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               NULL, NULL);
    status = ZwOpenKey(&key, KEY_READ, &attributes);
    if (!NT_SUCCESS(status)) {
        TraceWrite(TraceGroupRegistry, TraceRegistryKeyNotOpened, "x", (ULONG)status);
        key = NULL;
        goto Exit;
    }

    // A zero-length query only tells the size; any other answer means the value is unusable.
    status = ZwQueryValueKey(key, &valueName, KeyValueFullInformation, NULL, 0, &size);
    if (status != STATUS_BUFFER_TOO_SMALL && status != STATUS_BUFFER_OVERFLOW) {
        TraceWrite(TraceGroupRegistry, TraceRegistryQueryFailed, "x", (ULONG)status);
        if (NT_SUCCESS(status)) {
            status = STATUS_UNSUCCESSFUL;
        }
        goto Exit;
    }
    if (size < (ULONG)FIELD_OFFSET(KEY_VALUE_FULL_INFORMATION, Name)) {
        TraceWrite(TraceGroupRegistry, TraceRegistryDataOutOfRange, "uuu", 0u, 0u, size);
        status = STATUS_UNSUCCESSFUL;
        goto Exit;
    }

    info = (PKEY_VALUE_FULL_INFORMATION)ExAllocatePoolWithTag(NonPagedPool, size, TABVOLT_POOL_TAG);
    if (info == NULL) {
        TraceWrite(TraceGroupRegistry, TraceRegistryAllocationFailed, "u", size);
        status = STATUS_INSUFFICIENT_RESOURCES;
        goto Exit;
    }
    RtlZeroMemory(info, size);

    // The value may have changed since the size query; only an unchanged size is trusted.
    status = ZwQueryValueKey(key, &valueName, KeyValueFullInformation, info, size, &returned);
    if (!NT_SUCCESS(status) || returned != size) {
        TraceWrite(TraceGroupRegistry, TraceRegistryInconsistent, "xuu", (ULONG)status, size,
                   returned);
        if (NT_SUCCESS(status)) {
            status = STATUS_UNSUCCESSFUL;
        }
        goto Exit;
    }

    // The data is located through the record's own offsets; data that would lie outside what
    // was returned is not read.
    if (info->DataOffset > size || info->DataLength > size - info->DataOffset) {
        TraceWrite(TraceGroupRegistry, TraceRegistryDataOutOfRange, "uuu", info->DataOffset,
                   info->DataLength, size);
        status = STATUS_UNSUCCESSFUL;
        goto Exit;
    }

    Parser((const UCHAR*)info + info->DataOffset, info->DataLength, Context);
    status = STATUS_SUCCESS;

Exit:
    if (info != NULL) {
        ExFreePoolWithTag(info, TABVOLT_POOL_TAG);
    }
    if (key != NULL) {
        ZwClose(key);
    }
    return status;
}

// Reduces one group of four UTF-16 units to 8-bit text by their low bytes and converts it.
static USHORT ParseIdGroup(const UCHAR* Units) {
    CHAR text[LIST_GROUP_UNITS + 1];
    ULONG index;

    for (index = 0; index < LIST_GROUP_UNITS; index++) {
        text[index] = (CHAR)Units[index * sizeof(WCHAR)];
    }
    text[LIST_GROUP_UNITS] = 0;
    return (USHORT)HexStrToInt(text);
}

// Separators are not examined: a string of the wrong length shifts every later record, and
// a group that does not parse is stored as 0 all the same.
static VOID ParseVidPidList(const UCHAR* Data, ULONG DataLength, PVOID Context) {
    PVID_PID_TARGET target = (PVID_PID_TARGET)Context;
    ULONG offset = 0;
    USHORT vid;
    USHORT pid;

    while (DataLength - offset >= LIST_RECORD_BYTES && *target->Count < target->Capacity) {
        vid = ParseIdGroup(Data + offset + LIST_VENDOR_UNIT * sizeof(WCHAR));
        pid = ParseIdGroup(Data + offset + LIST_PRODUCT_UNIT * sizeof(WCHAR));
        target->Vid[*target->Count] = vid;
        target->Pid[*target->Count] = pid;
        (*target->Count)++;
        TraceWrite(TraceGroupRegistry, TraceRegistryPair, "uu", (ULONG)vid, (ULONG)pid);
        offset += LIST_RECORD_BYTES;
    }
}

// The data is laid over the field little-endian, whatever its registry type: a shorter value
// sets only its own bytes, a longer one only the low four.
static VOID ParseOption(const UCHAR* Data, ULONG DataLength, PVOID Context) {
    PULONG field = (PULONG)Context;
    ULONG value = *field;
    ULONG index;

    for (index = 0; index < DataLength && index < sizeof(ULONG); index++) {
        value &= ~((ULONG)0xFF << (8 * index));
        value |= (ULONG)Data[index] << (8 * index);
    }
    *field = value;
    TraceWrite(TraceGroupRegistry, TraceRegistryOption, "uu", value, DataLength);
}

NTSTATUS GetVidPidList(PCWSTR ValueName, PUSHORT Vid, PUSHORT Pid, LONG Capacity, PLONG Count) {
    VID_PID_TARGET target;

    if (ValueName == NULL || Vid == NULL || Pid == NULL || Count == NULL) {
        return STATUS_INVALID_PARAMETER;
    }
    *Count = 0;
    target.Vid = Vid;
    target.Pid = Pid;
    target.Capacity = Capacity;
    target.Count = Count;
    return ReadParamValue(ValueName, ParseVidPidList, &target);
}

NTSTATUS GetRegOptionValue(PCWSTR ValueName, PULONG Value) {
    if (ValueName == NULL || Value == NULL) {
        return STATUS_INVALID_PARAMETER;
    }
    return ReadParamValue(ValueName, ParseOption, Value);
}

// Each setting is read on its own; one that cannot be read keeps its zero default and the
// driver loads all the same.
VOID FilterReadConfiguration(PCONTROL_DEVICE_EXTENSION Extension) {
    if (Extension == NULL) {
        return;
    }
    (VOID) GetVidPidList(L"IPADSupportList", Extension->IpadSupportList.Vid,
                         Extension->IpadSupportList.Pid, VID_PID_LIST_CAPACITY,
                         &Extension->IpadSupportList.Count);
    (VOID) GetVidPidList(L"IDevSkipList", Extension->IDevSkipList.Vid, Extension->IDevSkipList.Pid,
                         VID_PID_LIST_CAPACITY, &Extension->IDevSkipList.Count);
    (VOID) GetVidPidList(L"VEXAHUBSupportList", Extension->VexaHubSupportList.Vid,
                         Extension->VexaHubSupportList.Pid, VID_PID_LIST_CAPACITY,
                         &Extension->VexaHubSupportList.Count);
    (VOID) GetRegOptionValue(L"DONTGETSTRDESC", &Extension->DontGetStrDesc);
    (VOID) GetRegOptionValue(L"CHGCMDMODE", &Extension->ChgCmdMode);
}
