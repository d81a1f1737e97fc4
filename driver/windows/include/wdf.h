// tabvolt's KMDF 1.9 header for the Windows image. The framework's declarations are the
// project's own (the next wdf.h on the include path); here each function becomes an inline
// call through the table that the framework loader fills when the entry stub binds version
// 1.9, and the 1.9 layout of every structure the driver hands the framework is checked.
//
// Where the values come from (all public; facts only):
// - Function-table indices: WDFFUNCENUM of Microsoft's KMDF headers (Windows-Driver-
//   Frameworks, src/publicinc/wdf/kmdf/1.19/wdffuncenum.h). The table grows only by
//   appending, so an index below the 1.9 table size is the same in 1.9.
// - The 1.9 table size, 396 entries: the public symbols of Wdf01000.sys name the enumerator
//   WdfFunctionTableNumEntries_V1_9 = 0x18c; it agrees with the framework's own source, which
//   accepts exactly the released table sizes (fxlibrarycommon.cpp: "both 1.7 and 1.5 have 387
//   functions"), and with wdffuncenum.h: of the nine functions after index 386, the
//   documentation gives 1.9 as the minimum version of WdfPdoInitAllowForwardingRequestToParent
//   (392) and of the forwarding options of WdfRequestForwardToParentDeviceIoQueue (395), and
//   index 396 opens the class-extension functions of 1.11.
// - Structure layouts: the framework's source keeps the old form of each structure that
//   changed (src/framework/kmdf/inc/private/wdf10.h to wdf119.h). Of the driver's, only
//   WDF_PNPPOWER_EVENT_CALLBACKS and WDF_IO_QUEUE_CONFIG changed after 1.9 (wdf19.h keeps
//   their 1.9 forms); WDF_DRIVER_CONFIG and WDF_OBJECT_CONTEXT_TYPE_INFO changed only before
//   it (1.0, 1.1), so their 1.9 form is the public one. The public symbols of Wdf01000.sys
//   give the same 1.9 sizes and offsets: _WDF_OBJECT_ATTRIBUTES_V1_9 0x38,
//   _WDF_OBJECT_CONTEXT_TYPE_INFO_V1_9 0x28, _WDF_DRIVER_CONFIG_V1_9 0x20,
//   _WDF_FILEOBJECT_CONFIG_V1_9 0x28, _WDF_REQUEST_SEND_OPTIONS_V1_9 0x10,
//   _WDF_MEMORY_DESCRIPTOR_V1_9 0x18, _WDF_PNPPOWER_EVENT_CALLBACKS_V1_9 0x88,
//   _WDF_IO_QUEUE_CONFIG_V1_9 0x58, and _WDF_DRIVER_GLOBALS 0x38 with DisplaceDriverUnload
//   at 0x30, unchanged since 1.5.
#pragma once

#define WDF_FUNCTION_TABLE_ENTRIES_1_9 396

#ifdef __cplusplus
extern "C" {
#endif

typedef VOID (*WDFFUNC)(VOID);

#define WDF_DRIVER_GLOBALS_NAME_LEN 32

typedef struct _WDF_DRIVER_GLOBALS {
    struct WDFDRIVER__* Driver;
    ULONG DriverFlags;
    ULONG DriverTag;
    CHAR DriverName[WDF_DRIVER_GLOBALS_NAME_LEN];
    // Whether the entry stub is to put its own unload routine in front of the framework's.
    BOOLEAN DisplaceDriverUnload;
} WDF_DRIVER_GLOBALS, *PWDF_DRIVER_GLOBALS;

// Both are filled by the framework loader when the entry stub binds: the table is copied
// into the driver's own array for versions before 1.15.
extern WDFFUNC WdfFunctions[WDF_FUNCTION_TABLE_ENTRIES_1_9];
extern PWDF_DRIVER_GLOBALS WdfDriverGlobals;

#ifdef __cplusplus
}
#endif

#define WDF_UNPARENTHESIZE(...) __VA_ARGS__

// Every framework function takes the driver's globals first, ahead of its documented
// parameters.
#define WDF_FUNCTION(Index, Return, Name, Parameters, Arguments)                           \
    FORCEINLINE Return Name Parameters {                                                   \
        typedef Return (*PFN)(PWDF_DRIVER_GLOBALS, WDF_UNPARENTHESIZE Parameters);         \
        return ((PFN)WdfFunctions[Index])(WdfDriverGlobals, WDF_UNPARENTHESIZE Arguments); \
    }                                                                                      \
    static_assert((Index) < WDF_FUNCTION_TABLE_ENTRIES_1_9, #Name " is not in the 1.9 table")

#include_next <wdf.h>

#ifndef _WIN64
#error "tabvolt's Windows image is built for x64 only: the layouts below are the x64 ones"
#endif

#define WDF_CHECK_SIZE(Type, Size) static_assert(sizeof(Type) == (Size), #Type " size")
#define WDF_CHECK_OFFSET(Type, Field, Offset) \
    static_assert(offsetof(Type, Field) == (Offset), #Type "." #Field " offset")

WDF_CHECK_SIZE(WDF_DRIVER_GLOBALS, 0x38);
WDF_CHECK_OFFSET(WDF_DRIVER_GLOBALS, DisplaceDriverUnload, 0x30);

WDF_CHECK_SIZE(WDF_OBJECT_ATTRIBUTES, 0x38);
WDF_CHECK_OFFSET(WDF_OBJECT_ATTRIBUTES, EvtCleanupCallback, 0x08);
WDF_CHECK_OFFSET(WDF_OBJECT_ATTRIBUTES, ExecutionLevel, 0x18);
WDF_CHECK_OFFSET(WDF_OBJECT_ATTRIBUTES, SynchronizationScope, 0x1c);
WDF_CHECK_OFFSET(WDF_OBJECT_ATTRIBUTES, ParentObject, 0x20);
WDF_CHECK_OFFSET(WDF_OBJECT_ATTRIBUTES, ContextTypeInfo, 0x30);

WDF_CHECK_SIZE(WDF_OBJECT_CONTEXT_TYPE_INFO, 0x28);
WDF_CHECK_OFFSET(WDF_OBJECT_CONTEXT_TYPE_INFO, ContextName, 0x08);
WDF_CHECK_OFFSET(WDF_OBJECT_CONTEXT_TYPE_INFO, ContextSize, 0x10);
WDF_CHECK_OFFSET(WDF_OBJECT_CONTEXT_TYPE_INFO, UniqueType, 0x18);

WDF_CHECK_SIZE(WDF_DRIVER_CONFIG, 0x20);
WDF_CHECK_OFFSET(WDF_DRIVER_CONFIG, EvtDriverDeviceAdd, 0x08);
WDF_CHECK_OFFSET(WDF_DRIVER_CONFIG, EvtDriverUnload, 0x10);
WDF_CHECK_OFFSET(WDF_DRIVER_CONFIG, DriverInitFlags, 0x18);
WDF_CHECK_OFFSET(WDF_DRIVER_CONFIG, DriverPoolTag, 0x1c);

WDF_CHECK_SIZE(WDF_PNPPOWER_EVENT_CALLBACKS, 0x88);
WDF_CHECK_OFFSET(WDF_PNPPOWER_EVENT_CALLBACKS, EvtDeviceD0Entry, 0x08);
WDF_CHECK_OFFSET(WDF_PNPPOWER_EVENT_CALLBACKS, EvtDeviceD0Exit, 0x18);
WDF_CHECK_OFFSET(WDF_PNPPOWER_EVENT_CALLBACKS, EvtDevicePrepareHardware, 0x28);
WDF_CHECK_OFFSET(WDF_PNPPOWER_EVENT_CALLBACKS, EvtDeviceReleaseHardware, 0x30);
WDF_CHECK_OFFSET(WDF_PNPPOWER_EVENT_CALLBACKS, EvtDeviceRelationsQuery, 0x80);

WDF_CHECK_SIZE(WDF_FILEOBJECT_CONFIG, 0x28);
WDF_CHECK_OFFSET(WDF_FILEOBJECT_CONFIG, EvtDeviceFileCreate, 0x08);
WDF_CHECK_OFFSET(WDF_FILEOBJECT_CONFIG, EvtFileClose, 0x10);
WDF_CHECK_OFFSET(WDF_FILEOBJECT_CONFIG, EvtFileCleanup, 0x18);
WDF_CHECK_OFFSET(WDF_FILEOBJECT_CONFIG, AutoForwardCleanupClose, 0x20);
WDF_CHECK_OFFSET(WDF_FILEOBJECT_CONFIG, FileObjectClass, 0x24);

WDF_CHECK_SIZE(WDF_IO_QUEUE_CONFIG, 0x58);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, DispatchType, 0x04);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, PowerManaged, 0x08);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, AllowZeroLengthRequests, 0x0c);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, DefaultQueue, 0x0d);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, EvtIoDeviceControl, 0x28);
WDF_CHECK_OFFSET(WDF_IO_QUEUE_CONFIG, Settings, 0x50);
