// Software tracing: the three ways a driver registers its trace provider (classic ETW
// provider, WMI trace callback, the framework's trace registration) and the two ways it
// writes messages (WmiTraceMessage, IoWMIWriteEvent). An active session enables the
// provider with flag 1 and decodes every message into a "trace" event.
//
// Messages are self-describing: the first argument piece is "GROUP TYPES", where TYPES
// gives one letter per following piece (u: ULONG decimal, x: ULONG hex, p: pointer,
// s: 8-bit string, w: wide string). Events written with IoWMIWriteEvent carry the message
// number in EVENT_TRACE_HEADER.Version and their pieces as MOF_FIELDs.
#include <ntddk.h>
#include <evntrace.h>

#include <cstdio>
#include <vector>

#include "kernel/wide_text.h"
#include "pc/machine.h"

using sim::Machine;

namespace {

constexpr GUID kEnabledProvider = {
    0x8c4fb6f7, 0xb746, 0x4cfa, {0xab, 0x0e, 0x18, 0x3c, 0xed, 0x63, 0xf5, 0x99}};
constexpr ULONG kWmiFlagCallback = 0x80000000;
constexpr ULONG kWmiActionMask = 0x0000000F;

typedef VOID ETW_CLASSIC_CALLBACK(LPCGUID Guid, UCHAR ControlCode, PVOID EnableContext,
                                  PVOID CallbackContext);
typedef NTSTATUS WMI_ENTRY(UCHAR MinorFunction, PVOID DataPath, ULONG BufferLength, PVOID Buffer,
                           PVOID Context, PULONG Size);

struct Piece {
    const UCHAR* data;
    size_t length;
};

// The 64-bit logger handle as an enable context: logger id, level, flags.
ULONG64 LoggerHandle(const sim::TraceSession& session) {
    return static_cast<ULONG64>(session.logger_id) | (static_cast<ULONG64>(session.level) << 16) |
           (static_cast<ULONG64>(session.enable_flags) << 32);
}

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string DecodePiece(char type, const Piece& piece) {
    char text[32];
    ULONG value = 0;
    switch (type) {
        case 'u':
        case 'x':
            if (piece.length != sizeof(ULONG))
                return "<bad>";
            memcpy(&value, piece.data, sizeof value);
            std::snprintf(text, sizeof text, type == 'u' ? "%u" : "0x%08x", value);
            return text;
        case 'p': {
            if (piece.length != sizeof(PVOID))
                return "<bad>";
            PVOID pointer;
            memcpy(&pointer, piece.data, sizeof pointer);
            return Machine::Current().kernel.NameOf(pointer);
        }
        case 's':
            if (piece.length == 0 || piece.data[piece.length - 1] != 0)
                return "<unterminated>";
            return Quote(reinterpret_cast<const char*>(piece.data));
        case 'w': {
            size_t units = piece.length / sizeof(WCHAR);
            if (units == 0)
                return "<unterminated>";
            std::vector<WCHAR> copy(units);
            memcpy(copy.data(), piece.data, units * sizeof(WCHAR));
            if (copy.back() != 0)
                return "<unterminated>";
            return Quote(sim::NarrowZ(copy.data()));
        }
    }
    return "<?>";
}

// Decoding is most of a trace point's cost: callers skip it when nobody reads trace lines.
bool TraceLinesWanted() {
    return Machine::Current().log.Wants("trace");
}

void LogMessage(USHORT number, const std::vector<Piece>& pieces) {
    Machine& machine = Machine::Current();
    if (pieces.empty() || pieces[0].length == 0 || pieces[0].data[pieces[0].length - 1] != 0) {
        machine.Log("trace", "<undecodable message " + std::to_string(number) + ">");
        return;
    }
    std::string descriptor = reinterpret_cast<const char*>(pieces[0].data);
    size_t space = descriptor.find(' ');
    std::string group = descriptor.substr(0, space);
    std::string types = space == std::string::npos ? "" : descriptor.substr(space + 1);
    std::string line = group + "." + std::to_string(number);
    for (size_t i = 1; i < pieces.size(); ++i) {
        char type = i - 1 < types.size() ? types[i - 1] : '?';
        line += " " + DecodePiece(type, pieces[i]);
    }
    machine.Log("trace", line);
}

// Asks the provider's callback for its registration information, as WMI does right after a
// callback registration: first with a buffer for the fixed part only, then with the size the
// provider asked for. True when it reported `guid` as a trace control GUID.
bool ReportsControlGuid(WMI_ENTRY* callback, PVOID context, const GUID& guid) {
    const sim::WindowsVersion& version = Machine::Current().kernel.version;
    UCHAR minor = version.major > 5 || (version.major == 5 && version.minor >= 1)
                      ? IRP_MN_REGINFO_EX
                      : IRP_MN_REGINFO;
    std::vector<ULONG> buffer(sizeof(WMIREGINFOW) / sizeof(ULONG));
    ULONG size = 0;
    NTSTATUS status = STATUS_BUFFER_TOO_SMALL;
    for (int attempt = 0; attempt < 2 && status == STATUS_BUFFER_TOO_SMALL; ++attempt) {
        size = 0;
        ULONG length = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
        status = callback(minor, reinterpret_cast<PVOID>(WMIREGISTER), length, buffer.data(),
                          context, &size);
        // A provider that needs more says how much in the buffer's first ULONG.
        if (status == STATUS_BUFFER_TOO_SMALL && size == sizeof(ULONG) && buffer[0] > length) {
            buffer.assign((buffer[0] + sizeof(ULONG) - 1) / sizeof(ULONG), 0);
        } else if (status == STATUS_BUFFER_TOO_SMALL) {
            return false;
        }
    }
    const size_t length = buffer.size() * sizeof(ULONG);
    const auto* info = reinterpret_cast<const WMIREGINFOW*>(buffer.data());
    if (!NT_SUCCESS(status) || size < sizeof(WMIREGINFOW) || size > length ||
        info->BufferSize > size ||
        info->GuidCount > (size - sizeof(WMIREGINFOW)) / sizeof(WMIREGGUIDW)) {
        return false;
    }
    for (ULONG i = 0; i < info->GuidCount; ++i) {
        const WMIREGGUIDW& entry = info->WmiRegGuid[i];
        if ((entry.Flags & WMIREG_FLAG_TRACE_CONTROL_GUID) &&
            memcmp(&entry.Guid, &guid, sizeof guid) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

namespace sim {

// The framework's and WMI's registration of a trace callback under `key`. An active session
// enables the provider only when its registration information names the session's GUID.
NTSTATUS RegisterWmiTraceCallback(PVOID key, PVOID callback, PVOID context, const char* route) {
    Machine& machine = Machine::Current();
    TraceSession& session = machine.kernel.trace;
    if (!session.route.empty()) {
        return STATUS_OBJECT_NAME_COLLISION;
    }
    session.route = route;
    session.wmi_key = key;
    session.wmi_callback = callback;
    session.wmi_context = context;
    machine.Log("kernel", std::string("trace provider registered via=") + route);
    auto* entry = reinterpret_cast<WMI_ENTRY*>(callback);
    if (session.active && ReportsControlGuid(entry, context, kEnabledProvider)) {
        WNODE_HEADER header = {};
        header.BufferSize = sizeof header;
        header.HistoricalContext = LoggerHandle(session);
        header.Guid = kEnabledProvider;
        ULONG size = 0;
        entry(IRP_MN_ENABLE_EVENTS, &header.Guid, sizeof header, &header, context, &size);
    }
    return STATUS_SUCCESS;
}

}  // namespace sim

extern "C" {

// The callback keeps its own function type: a driver calls this routine through a pointer of
// exactly that shape, and a call through a pointer of another type is undefined.
NTSTATUS SimEtwRegisterClassicProvider(LPCGUID ProviderGuid, ULONG Type,
                                       ETW_CLASSIC_CALLBACK* EnableCallback, PVOID CallbackContext,
                                       PREGHANDLE RegHandle) {
    UNREFERENCED_PARAMETER(Type);
    Machine& machine = Machine::Current();
    sim::TraceSession& session = machine.kernel.trace;
    session.route = "etw";
    session.etw_callback = reinterpret_cast<void*>(EnableCallback);
    session.etw_context = CallbackContext;
    *RegHandle = 0x5E55;
    machine.Log("kernel", "trace provider registered via=etw");
    if (session.active && memcmp(ProviderGuid, &kEnabledProvider, sizeof(GUID)) == 0) {
        ULONG64 context = LoggerHandle(session);
        EnableCallback(ProviderGuid, 1, &context, CallbackContext);
    }
    return STATUS_SUCCESS;
}

NTSTATUS EtwUnregister(REGHANDLE RegHandle) {
    Machine& machine = Machine::Current();
    if (RegHandle != 0x5E55 || machine.kernel.trace.route != "etw") {
        return STATUS_INVALID_PARAMETER;
    }
    machine.kernel.trace.route.clear();
    machine.Log("kernel", "trace provider unregistered via=etw");
    return STATUS_SUCCESS;
}

NTSTATUS SimWmiQueryTraceInformation(ULONG TraceInformationClass, PVOID TraceInformation,
                                     ULONG TraceInformationLength, PULONG RequiredLength,
                                     PVOID Buffer) {
    UNREFERENCED_PARAMETER(TraceInformationClass);
    UNREFERENCED_PARAMETER(TraceInformation);
    UNREFERENCED_PARAMETER(TraceInformationLength);
    UNREFERENCED_PARAMETER(RequiredLength);
    UNREFERENCED_PARAMETER(Buffer);
    return STATUS_NOT_SUPPORTED;
}

NTSTATUS IoWMIRegistrationControl(PDEVICE_OBJECT DeviceObject, ULONG Action) {
    Machine& machine = Machine::Current();
    sim::TraceSession& session = machine.kernel.trace;
    if ((Action & kWmiActionMask) == WMIREG_ACTION_DEREGISTER) {
        // Only the key the provider registered under removes it (whichever route took it).
        if (session.route.empty() || session.route == "etw" || session.wmi_key != DeviceObject) {
            return STATUS_INVALID_PARAMETER;
        }
        machine.Log("kernel", "trace provider unregistered via=" + session.route);
        session.route.clear();
        session.wmi_key = nullptr;
        session.wmi_callback = nullptr;
        session.wmi_context = nullptr;
        return STATUS_SUCCESS;
    }
    if ((Action & kWmiActionMask) != WMIREG_ACTION_REGISTER || !(Action & kWmiFlagCallback)) {
        return STATUS_NOT_SUPPORTED;
    }
    // The key is the callback itself; it is called without a context.
    return sim::RegisterWmiTraceCallback(DeviceObject, DeviceObject, NULL, "wmi");
}

NTSTATUS WmiTraceMessage(TRACEHANDLE LoggerHandle, ULONG MessageFlags, LPGUID MessageGuid,
                         USHORT MessageNumber, ...) {
    UNREFERENCED_PARAMETER(LoggerHandle);
    UNREFERENCED_PARAMETER(MessageFlags);
    UNREFERENCED_PARAMETER(MessageGuid);
    if (!TraceLinesWanted()) {
        return STATUS_SUCCESS;
    }
    std::vector<Piece> pieces;
    va_list args;
    // Windows declares the last named parameter USHORT, so clang warns that va_start after a
    // promoted type is undefined; the x86-64 ABI gives it a full slot and the rest follow.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"
#endif
    va_start(args, MessageNumber);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
    for (;;) {
        const UCHAR* data = va_arg(args, const UCHAR*);
        if (data == NULL) {
            break;
        }
        size_t length = va_arg(args, SIZE_T);
        pieces.push_back(Piece{data, length});
    }
    va_end(args);
    LogMessage(MessageNumber, pieces);
    return STATUS_SUCCESS;
}

NTSTATUS IoWMIWriteEvent(PVOID WnodeEventItem) {
    auto* header = static_cast<PEVENT_TRACE_HEADER>(WnodeEventItem);
    if (header->Size < sizeof(EVENT_TRACE_HEADER) || !(header->Flags & WNODE_FLAG_USE_MOF_PTR)) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!TraceLinesWanted()) {
        return STATUS_SUCCESS;
    }
    size_t count = (header->Size - sizeof(EVENT_TRACE_HEADER)) / sizeof(MOF_FIELD);
    auto* fields = reinterpret_cast<PMOF_FIELD>(header + 1);
    std::vector<Piece> pieces;
    for (size_t i = 0; i < count; ++i) {
        pieces.push_back(
            Piece{reinterpret_cast<const UCHAR*>(static_cast<uintptr_t>(fields[i].DataPtr)),
                  fields[i].Length});
    }
    LogMessage(static_cast<USHORT>(header->Version), pieces);
    return STATUS_SUCCESS;
}

}  // extern "C"
