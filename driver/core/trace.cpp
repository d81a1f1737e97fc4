// tabvolt: software tracing. The provider registers by the best route the kernel offers: a
// classic ETW provider on Windows 6 and later, a WMI trace callback on older kernels that
// export WmiTraceMessage, and the framework's trace registration with IoWMIWriteEvent
// where WmiTraceMessage is missing.
#include "filter.h"

#include <wmistr.h>
#include <evntrace.h>

#ifndef WMIREG_FLAG_CALLBACK
#define WMIREG_FLAG_CALLBACK 0x80000000
#endif

#define TRACE_FLAG_ALL 0x1
#define TRACE_MAX_ARGUMENTS 9
#define TRACE_LOCAL_PIECES 7
#define TRACE_MAX_ARGUMENT_BYTES 8192
#define ETW_CONTROL_DISABLE 0
#define ETW_CONTROL_ENABLE 1

typedef NTSTATUS (*PFN_WMI_TRACE_MESSAGE)(TRACEHANDLE LoggerHandle, ULONG MessageFlags,
                                          LPGUID MessageGuid, USHORT MessageNumber, ...);
typedef VOID ETW_CLASSIC_CALLBACK(LPCGUID Guid, UCHAR ControlCode, PVOID EnableContext,
                                  PVOID CallbackContext);
typedef NTSTATUS (*PFN_ETW_REGISTER_CLASSIC_PROVIDER)(LPCGUID ProviderGuid, ULONG Type,
                                                      ETW_CLASSIC_CALLBACK* EnableCallback,
                                                      PVOID CallbackContext, PREGHANDLE RegHandle);
typedef NTSTATUS (*PFN_ETW_UNREGISTER)(REGHANDLE RegHandle);
typedef BOOLEAN (*PFN_PS_GET_VERSION)(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                                      PUNICODE_STRING CSDVersion);

typedef enum _TRACE_ROUTE {
    TraceRouteNone,
    TraceRouteEtw,
    TraceRouteWmi,
    TraceRouteWdf
} TRACE_ROUTE;

typedef struct _TRACE_STATE {
    TRACE_ROUTE Route;
    TRACEHANDLE Logger;
    ULONG EnableFlags;
    REGHANDLE RegHandle;
    PFN_WMI_TRACE_MESSAGE TraceMessage;
    PVOID QueryTraceInformation;
    PFN_ETW_UNREGISTER EtwUnregister;
    ULONG ControlBlock;
} TRACE_STATE;

typedef struct _TRACE_PIECE {
    const VOID* Data;
    SIZE_T Length;
} TRACE_PIECE;

static TRACE_STATE Trace;

static const GUID TraceControlGuid = {
    0x8c4fb6f7, 0xb746, 0x4cfa, {0xab, 0x0e, 0x18, 0x3c, 0xed, 0x63, 0xf5, 0x99}};

// One message GUID per group: the trace-format data keys message texts on them.
static GUID TraceMessageGuids[TraceGroupCount] = {
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x01}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x02}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x03}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x04}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x05}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x06}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x07}},
    {0x2f0c6a10, 0x51d3, 0x4e0b, {0x9a, 0x41, 0x6e, 0x10, 0x0c, 0x7d, 0x21, 0x08}},
};

static const char* const TraceGroupNames[TraceGroupCount] = {
    "entry", "pnp", "usbtarget", "wdm", "control", "speaker", "charge", "registry",
};

static PVOID TraceLookupRoutine(PCWSTR Name) {
    UNICODE_STRING name;

    RtlInitUnicodeString(&name, Name);
    return MmGetSystemRoutineAddress(&name);
}

// The enable context of a trace session is its 64-bit logger handle: logger id, level and
// enable flags in the upper half.
static VOID TraceEnable(ULONG64 LoggerHandle) {
    Trace.Logger = LoggerHandle;
    Trace.EnableFlags = (ULONG)(LoggerHandle >> 32);
}

static VOID TraceDisable(VOID) {
    Trace.EnableFlags = 0;
    Trace.Logger = 0;
}

static VOID TraceClassicCallback(LPCGUID Guid, UCHAR ControlCode, PVOID EnableContext,
                                 PVOID CallbackContext) {
    UNREFERENCED_PARAMETER(Guid);
    UNREFERENCED_PARAMETER(CallbackContext);
    if (ControlCode == ETW_CONTROL_ENABLE && EnableContext != NULL) {
        TraceEnable(*(ULONG64*)EnableContext);
    } else if (ControlCode == ETW_CONTROL_DISABLE) {
        TraceDisable();
    }
}

// WMI asks a callback-registered provider for its registration information right after it
// registers; a provider that does not name its control GUID there can never be enabled.
static NTSTATUS TraceReportRegistration(ULONG BufferLength, PVOID Buffer, PULONG Size) {
    const ULONG needed = sizeof(WMIREGINFO) + sizeof(WMIREGGUID);
    PWMIREGINFO info = (PWMIREGINFO)Buffer;

    if (Buffer == NULL || BufferLength < needed) {
        // The size needed goes in the first ULONG, so that WMI can ask again.
        if (Buffer != NULL && BufferLength >= sizeof(ULONG)) {
            *(PULONG)Buffer = needed;
            *Size = sizeof(ULONG);
        }
        return STATUS_BUFFER_TOO_SMALL;
    }
    RtlZeroMemory(info, needed);
    info->BufferSize = needed;
    info->GuidCount = 1;
    info->WmiRegGuid[0].Guid = TraceControlGuid;
    info->WmiRegGuid[0].Flags = WMIREG_FLAG_TRACE_CONTROL_GUID | WMIREG_FLAG_TRACED_GUID;
    *Size = needed;
    return STATUS_SUCCESS;
}

static NTSTATUS TraceWmiCallback(UCHAR MinorFunction, PVOID DataPath, ULONG BufferLength,
                                 PVOID Buffer, PVOID Context, PULONG Size) {
    ULONG ignored;

    UNREFERENCED_PARAMETER(DataPath);
    UNREFERENCED_PARAMETER(Context);
    if (Size == NULL) {
        Size = &ignored;
    }
    *Size = 0;
    switch (MinorFunction) {
        case IRP_MN_REGINFO:
        case IRP_MN_REGINFO_EX:
            return TraceReportRegistration(BufferLength, Buffer, Size);
        case IRP_MN_ENABLE_EVENTS:
            if (Buffer != NULL && BufferLength >= sizeof(WNODE_HEADER)) {
                TraceEnable(((PWNODE_HEADER)Buffer)->HistoricalContext);
            }
            return STATUS_SUCCESS;
        case IRP_MN_DISABLE_EVENTS:
            TraceDisable();
            return STATUS_SUCCESS;
        default:
            return STATUS_INVALID_DEVICE_REQUEST;
    }
}

VOID TraceStart(PDRIVER_OBJECT DriverObject) {
    PFN_PS_GET_VERSION getVersion;
    PFN_ETW_REGISTER_CLASSIC_PROVIDER registerProvider;
    ULONG majorVersion = 0;

    RtlZeroMemory(&Trace, sizeof(Trace));
    Trace.TraceMessage = (PFN_WMI_TRACE_MESSAGE)TraceLookupRoutine(L"WmiTraceMessage");
    if (Trace.TraceMessage != NULL) {
        Trace.QueryTraceInformation = TraceLookupRoutine(L"WmiQueryTraceInformation");
        getVersion = (PFN_PS_GET_VERSION)TraceLookupRoutine(L"PsGetVersion");
        if (getVersion != NULL) {
            getVersion(&majorVersion, NULL, NULL, NULL);
        }
        registerProvider =
            (PFN_ETW_REGISTER_CLASSIC_PROVIDER)TraceLookupRoutine(L"EtwRegisterClassicProvider");
        Trace.EtwUnregister = (PFN_ETW_UNREGISTER)TraceLookupRoutine(L"EtwUnregister");
        // Without EtwUnregister a classic provider could never be removed again.
        if (majorVersion >= 6 && registerProvider != NULL && Trace.EtwUnregister != NULL) {
            if (NT_SUCCESS(registerProvider(&TraceControlGuid, 0, TraceClassicCallback, NULL,
                                            &Trace.RegHandle))) {
                Trace.Route = TraceRouteEtw;
            }
        } else if (NT_SUCCESS(
                       IoWMIRegistrationControl((PDEVICE_OBJECT)TraceWmiCallback,
                                                WMIREG_ACTION_REGISTER | WMIREG_FLAG_CALLBACK))) {
            Trace.Route = TraceRouteWmi;
        }
    } else if (NT_SUCCESS(WdfDriverRegisterTraceInfo(DriverObject, TraceWmiCallback,
                                                     &Trace.ControlBlock))) {
        Trace.Route = TraceRouteWdf;
    }

    TraceWrite(TraceGroupEntry, TraceEntryLoad, "");
    TraceWrite(TraceGroupEntry, TraceEntryBuildDate, "ss", __DATE__, __TIME__);
}

VOID TraceStop(VOID) {
    switch (Trace.Route) {
        case TraceRouteEtw:
            Trace.EtwUnregister(Trace.RegHandle);
            break;
        case TraceRouteWmi:
            IoWMIRegistrationControl((PDEVICE_OBJECT)TraceWmiCallback, WMIREG_ACTION_DEREGISTER);
            break;
        case TraceRouteWdf:
            // The framework registered the provider under its control block.
            IoWMIRegistrationControl((PDEVICE_OBJECT)&Trace.ControlBlock, WMIREG_ACTION_DEREGISTER);
            break;
        case TraceRouteNone:
            break;
    }
    TraceDisable();
    Trace.Route = TraceRouteNone;
}

static SIZE_T TraceWideLength(PCWSTR Text) {
    SIZE_T length = 0;

    while (Text[length] != 0) {
        length++;
    }
    return length;
}

// Writes the event with IoWMIWriteEvent: in a local buffer for a few pieces, otherwise in
// a pool buffer that also carries a copy of the argument bytes.
static VOID TraceWriteEvent(USHORT Number, TRACE_GROUP Group, const TRACE_PIECE* Pieces,
                            ULONG Count) {
    struct {
        EVENT_TRACE_HEADER Header;
        MOF_FIELD Fields[1 + TRACE_LOCAL_PIECES];
    } local;
    PEVENT_TRACE_HEADER header = &local.Header;
    PMOF_FIELD fields;
    PUCHAR copy = NULL;
    SIZE_T argumentBytes = 0;
    SIZE_T eventBytes = sizeof(EVENT_TRACE_HEADER) + Count * sizeof(MOF_FIELD);
    ULONG index;

    if (Count > 1 + TRACE_LOCAL_PIECES) {
        for (index = 0; index < Count; index++) {
            argumentBytes += Pieces[index].Length;
        }
        if (argumentBytes > TRACE_MAX_ARGUMENT_BYTES) {
            return;
        }
        header = (PEVENT_TRACE_HEADER)ExAllocatePoolWithTag(
            NonPagedPool, eventBytes + argumentBytes, TABVOLT_POOL_TAG);
        if (header == NULL) {
            return;
        }
        copy = (PUCHAR)header + eventBytes;
    }
    RtlZeroMemory(header, sizeof(EVENT_TRACE_HEADER));
    header->Size = (USHORT)eventBytes;
    header->Flags = WNODE_FLAG_TRACED_GUID | WNODE_FLAG_USE_MOF_PTR;
    header->Guid = TraceMessageGuids[Group];
    header->Version = Number;
    fields = (PMOF_FIELD)(header + 1);
    for (index = 0; index < Count; index++) {
        const VOID* data = Pieces[index].Data;
        if (copy != NULL) {
            RtlCopyMemory(copy, data, Pieces[index].Length);
            data = copy;
            copy += Pieces[index].Length;
        }
        fields[index].DataPtr = (ULONG64)(ULONG_PTR)data;
        fields[index].Length = (ULONG)Pieces[index].Length;
        fields[index].DataType = 0;
    }
    IoWMIWriteEvent(header);
    if (header != &local.Header) {
        ExFreePoolWithTag(header, TABVOLT_POOL_TAG);
    }
}

VOID TraceWrite(TRACE_GROUP Group, USHORT Number, PCSTR Types, ...) {
    CHAR descriptor[16 + TRACE_MAX_ARGUMENTS];
    TRACE_PIECE pieces[1 + TRACE_MAX_ARGUMENTS + 1];
    ULONG numbers[TRACE_MAX_ARGUMENTS];
    PVOID pointers[TRACE_MAX_ARGUMENTS];
    SIZE_T groupLength;
    ULONG count = 1;
    ULONG index;
    va_list args;

    if (!(Trace.EnableFlags & TRACE_FLAG_ALL) || Trace.Route == TraceRouteNone) {
        return;
    }

    // The first piece names the group and the argument types, so that a decoder can print
    // the message without its text.
    groupLength = strlen(TraceGroupNames[Group]);
    RtlCopyMemory(descriptor, TraceGroupNames[Group], groupLength);
    descriptor[groupLength] = ' ';
    for (index = 0; Types[index] != 0 && index < TRACE_MAX_ARGUMENTS; index++) {
        descriptor[groupLength + 1 + index] = Types[index];
    }
    descriptor[groupLength + 1 + index] = 0;
    pieces[0].Data = descriptor;
    pieces[0].Length = groupLength + 2 + index;

    va_start(args, Types);
    for (index = 0; Types[index] != 0 && index < TRACE_MAX_ARGUMENTS; index++) {
        switch (Types[index]) {
            case 's': {
                PCSTR text = va_arg(args, PCSTR);
                if (text == NULL) {
                    text = "NULL";
                }
                pieces[count].Data = text;
                pieces[count].Length = strlen(text) + 1;
                break;
            }
            case 'w': {
                PCWSTR text = va_arg(args, PCWSTR);
                if (text == NULL) {
                    text = L"NULL";
                } else if (text[0] == 0) {
                    text = L"<NULL>";
                }
                pieces[count].Data = text;
                pieces[count].Length = (TraceWideLength(text) + 1) * sizeof(WCHAR);
                break;
            }
            case 'p':
                pointers[index] = va_arg(args, PVOID);
                pieces[count].Data = &pointers[index];
                pieces[count].Length = sizeof(PVOID);
                break;
            default:
                numbers[index] = va_arg(args, ULONG);
                pieces[count].Data = &numbers[index];
                pieces[count].Length = sizeof(ULONG);
                break;
        }
        count++;
    }
    va_end(args);

    if (Trace.Route == TraceRouteWdf) {
        TraceWriteEvent(Number, Group, pieces, count);
        return;
    }
    // Unused pieces end the argument list with a NULL pointer.
    for (index = count; index < ARRAYSIZE(pieces); index++) {
        pieces[index].Data = NULL;
        pieces[index].Length = 0;
    }
    Trace.TraceMessage(Trace.Logger,
                       TRACE_MESSAGE_SEQUENCE | TRACE_MESSAGE_GUID | TRACE_MESSAGE_TIMESTAMP |
                           TRACE_MESSAGE_SYSTEMINFO,
                       &TraceMessageGuids[Group], Number, pieces[0].Data, pieces[0].Length,
                       pieces[1].Data, pieces[1].Length, pieces[2].Data, pieces[2].Length,
                       pieces[3].Data, pieces[3].Length, pieces[4].Data, pieces[4].Length,
                       pieces[5].Data, pieces[5].Length, pieces[6].Data, pieces[6].Length,
                       pieces[7].Data, pieces[7].Length, pieces[8].Data, pieces[8].Length,
                       pieces[9].Data, pieces[9].Length, NULL);
}
