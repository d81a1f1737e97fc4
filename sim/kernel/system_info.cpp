// Debug output, run-time lookup of kernel routines and the Windows version.
#include <ntddk.h>

#include <cstdio>

#include "kernel/wide_text.h"
#include "pc/machine.h"

using sim::Machine;

extern "C" {
NTSTATUS SimEtwRegisterClassicProvider(LPCGUID ProviderGuid, ULONG Type,
                                       VOID (*EnableCallback)(LPCGUID Guid, UCHAR ControlCode,
                                                              PVOID EnableContext,
                                                              PVOID CallbackContext),
                                       PVOID CallbackContext, PREGHANDLE RegHandle);
NTSTATUS SimWmiQueryTraceInformation(ULONG TraceInformationClass, PVOID TraceInformation,
                                     ULONG TraceInformationLength, PULONG RequiredLength,
                                     PVOID Buffer);

// Each line becomes one "dbg" event; a trailing line end is dropped.
ULONG DbgPrint(PCSTR Format, ...) {
    Machine& machine = Machine::Current();
    if (!machine.log.Wants("dbg")) {
        return STATUS_SUCCESS;  // nobody reads the debugger's output: nothing to format
    }
    char text[512];
    va_list args;
    va_start(args, Format);
    vsnprintf(text, sizeof text, Format, args);
    va_end(args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    machine.Log("dbg", line);
    return STATUS_SUCCESS;
}

// Finds only the routines in the kernel's export set, so that a test can present an older
// kernel by removing names.
PVOID MmGetSystemRoutineAddress(PUNICODE_STRING SystemRoutineName) {
    SimCheckPagedCode("MmGetSystemRoutineAddress");
    std::string name = sim::Narrow(SystemRoutineName);
    const auto& exports = Machine::Current().kernel.exports;
    if (exports.count(name) == 0) {
        return NULL;
    }
    if (name == "WmiTraceMessage")
        return reinterpret_cast<PVOID>(&WmiTraceMessage);
    if (name == "WmiQueryTraceInformation")
        return reinterpret_cast<PVOID>(&SimWmiQueryTraceInformation);
    if (name == "EtwRegisterClassicProvider")
        return reinterpret_cast<PVOID>(&SimEtwRegisterClassicProvider);
    if (name == "EtwUnregister")
        return reinterpret_cast<PVOID>(&EtwUnregister);
    if (name == "PsGetVersion")
        return reinterpret_cast<PVOID>(&PsGetVersion);
    return NULL;
}

BOOLEAN PsGetVersion(PULONG MajorVersion, PULONG MinorVersion, PULONG BuildNumber,
                     PUNICODE_STRING CSDVersion) {
    UNREFERENCED_PARAMETER(CSDVersion);
    const sim::WindowsVersion& version = Machine::Current().kernel.version;
    if (MajorVersion != NULL)
        *MajorVersion = version.major;
    if (MinorVersion != NULL)
        *MinorVersion = version.minor;
    if (BuildNumber != NULL)
        *BuildNumber = version.build;
    return FALSE;  // not a checked build
}

}  // extern "C"
