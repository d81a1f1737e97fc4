// tabvolt's entry point on Windows, in the role of the framework's own entry stub: binds the
// driver to KMDF 1.9 through the framework loader, runs DriverEntry, and gives the binding
// back when DriverEntry fails or when the driver unloads.
//
// The loader's interface, from public facts: WDF_VERSION is three ULONGs and WDF_BIND_INFO
// {Size, Component, Version, FuncCount, FuncTable, Module} (the framework's fxldr.h; 0x30
// bytes on x64 in the public symbols of Wdf01000.sys); the component is "KmdfLibrary"; for a
// table of 1.13's size or less the framework copies its functions into FuncTable
// (fxlibrarycommon.cpp). The build number is not checked by the loader; 7600 is the build of
// the kit that shipped 1.9.
#include <ntddk.h>
#include <wdf.h>

#define KMDF_MAJOR_VERSION 1
#define KMDF_MINOR_VERSION 9
#define KMDF_BUILD_NUMBER 7600
// Service key paths are far shorter; a longer one is refused rather than cut.
#define REGISTRY_PATH_CAPACITY 256

typedef struct _WDF_VERSION {
    ULONG Major;
    ULONG Minor;
    ULONG Build;
} WDF_VERSION;

typedef struct _WDF_BIND_INFO {
    ULONG Size;
    PWCHAR Component;
    WDF_VERSION Version;
    ULONG FuncCount;
    WDFFUNC* FuncTable;
    PVOID Module;
} WDF_BIND_INFO, *PWDF_BIND_INFO;

WDF_CHECK_SIZE(WDF_BIND_INFO, 0x30);
WDF_CHECK_OFFSET(WDF_BIND_INFO, Component, 0x08);
WDF_CHECK_OFFSET(WDF_BIND_INFO, Version, 0x10);
WDF_CHECK_OFFSET(WDF_BIND_INFO, FuncCount, 0x1c);
WDF_CHECK_OFFSET(WDF_BIND_INFO, FuncTable, 0x20);
WDF_CHECK_OFFSET(WDF_BIND_INFO, Module, 0x28);

extern "C" {
NTSTATUS WdfVersionBind(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath,
                        PWDF_BIND_INFO BindInfo, PWDF_DRIVER_GLOBALS* DriverGlobals);
NTSTATUS WdfVersionUnbind(PUNICODE_STRING RegistryPath, PWDF_BIND_INFO BindInfo,
                          PWDF_DRIVER_GLOBALS DriverGlobals);

DRIVER_INITIALIZE DriverEntry;
DRIVER_INITIALIZE FxDriverEntry;

WDFFUNC WdfFunctions[WDF_FUNCTION_TABLE_ENTRIES_1_9];
PWDF_DRIVER_GLOBALS WdfDriverGlobals;
}

static WCHAR KmdfComponent[] = L"KmdfLibrary";

static WDF_BIND_INFO KmdfBindInfo = {
    sizeof(WDF_BIND_INFO),
    KmdfComponent,
    {KMDF_MAJOR_VERSION, KMDF_MINOR_VERSION, KMDF_BUILD_NUMBER},
    WDF_FUNCTION_TABLE_ENTRIES_1_9,
    WdfFunctions,
    NULL,
};

// The loader is given the same path at unbind as at bind, and the caller's copy lives only
// as long as the entry call.
static WCHAR BoundRegistryPathBuffer[REGISTRY_PATH_CAPACITY];
static UNICODE_STRING BoundRegistryPath = {0, sizeof(BoundRegistryPathBuffer),
                                           BoundRegistryPathBuffer};
static PDRIVER_UNLOAD FrameworkDriverUnload;

static VOID FxStubDriverUnload(PDRIVER_OBJECT DriverObject) {
    if (FrameworkDriverUnload != NULL) {
        FrameworkDriverUnload(DriverObject);
    }
    WdfVersionUnbind(&BoundRegistryPath, &KmdfBindInfo, WdfDriverGlobals);
}

NTSTATUS FxDriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
    NTSTATUS status;

    if (RegistryPath->Length > BoundRegistryPath.MaximumLength) {
        return STATUS_NAME_TOO_LONG;
    }
    RtlCopyUnicodeString(&BoundRegistryPath, RegistryPath);

    status = WdfVersionBind(DriverObject, &BoundRegistryPath, &KmdfBindInfo, &WdfDriverGlobals);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    status = DriverEntry(DriverObject, RegistryPath);
    if (!NT_SUCCESS(status)) {
        WdfVersionUnbind(&BoundRegistryPath, &KmdfBindInfo, WdfDriverGlobals);
        return status;
    }

    // The framework's unload routine, installed by WdfDriverCreate, runs first; the binding
    // goes after it, when nothing of the driver calls the framework any more.
    if (WdfDriverGlobals->DisplaceDriverUnload) {
        FrameworkDriverUnload = DriverObject->DriverUnload;
        DriverObject->DriverUnload = FxStubDriverUnload;
    }
    return status;
}
