// Stand-in for the Kernel-Mode Driver Framework 1.9 header, written only in terms of WDM
// types so that driver sources also compile against the real DDK's ntddk.h. Each framework
// function is declared once, through WDF_FUNCTION, with its index in the function table that
// the framework loader fills. Here that makes a plain declaration, which the simulated PC
// implements under sim/kmdf; the Windows image's wdf.h defines WDF_FUNCTION first, to call
// through the table instead.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// The index is the function's place in the loader's table, which grows only by appending.
#ifndef WDF_FUNCTION
#define WDF_FUNCTION(Index, Return, Name, Parameters, Arguments) Return Name Parameters
#endif

typedef PVOID WDFOBJECT, *PWDFOBJECT;
typedef struct WDFDRIVER__* WDFDRIVER;
typedef struct WDFDEVICE__* WDFDEVICE;
typedef struct WDFCOLLECTION__* WDFCOLLECTION;
typedef struct WDFWAITLOCK__* WDFWAITLOCK;
typedef struct WDFQUEUE__* WDFQUEUE;
typedef struct WDFREQUEST__* WDFREQUEST;
typedef struct WDFFILEOBJECT__* WDFFILEOBJECT;
typedef struct WDFMEMORY__* WDFMEMORY;
typedef struct WDFCMRESLIST__* WDFCMRESLIST;
typedef struct WDFUSBDEVICE__* WDFUSBDEVICE;
typedef struct WDFDEVICE_INIT* PWDFDEVICE_INIT;

#define WDF_NO_OBJECT_ATTRIBUTES NULL
#define WDF_NO_HANDLE NULL
#define WDF_NO_SEND_OPTIONS NULL
#define WDF_NO_EVENT_CALLBACK NULL

// ---------------------------------------------------------------------------------------------
// Objects and their typed contexts
typedef enum _WDF_EXECUTION_LEVEL {
    WdfExecutionLevelInvalid = 0,
    WdfExecutionLevelInheritFromParent,
    WdfExecutionLevelPassive,
    WdfExecutionLevelDispatch,
} WDF_EXECUTION_LEVEL;

typedef enum _WDF_SYNCHRONIZATION_SCOPE {
    WdfSynchronizationScopeInvalid = 0,
    WdfSynchronizationScopeInheritFromParent,
    WdfSynchronizationScopeDevice,
    WdfSynchronizationScopeQueue,
    WdfSynchronizationScopeNone,
} WDF_SYNCHRONIZATION_SCOPE;

typedef VOID EVT_WDF_OBJECT_CONTEXT_CLEANUP(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_CLEANUP* PFN_WDF_OBJECT_CONTEXT_CLEANUP;
typedef VOID EVT_WDF_OBJECT_CONTEXT_DESTROY(WDFOBJECT Object);
typedef EVT_WDF_OBJECT_CONTEXT_DESTROY* PFN_WDF_OBJECT_CONTEXT_DESTROY;

typedef struct _WDF_OBJECT_CONTEXT_TYPE_INFO {
    ULONG Size;
    PCSTR ContextName;
    SIZE_T ContextSize;
    const struct _WDF_OBJECT_CONTEXT_TYPE_INFO* UniqueType;
    PVOID EvtDriverGetUniqueContextType;
} WDF_OBJECT_CONTEXT_TYPE_INFO, *PWDF_OBJECT_CONTEXT_TYPE_INFO;
typedef const WDF_OBJECT_CONTEXT_TYPE_INFO* PCWDF_OBJECT_CONTEXT_TYPE_INFO;

typedef struct _WDF_OBJECT_ATTRIBUTES {
    ULONG Size;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP EvtCleanupCallback;
    PFN_WDF_OBJECT_CONTEXT_DESTROY EvtDestroyCallback;
    WDF_EXECUTION_LEVEL ExecutionLevel;
    WDF_SYNCHRONIZATION_SCOPE SynchronizationScope;
    WDFOBJECT ParentObject;
    SIZE_T ContextSizeOverride;
    PCWDF_OBJECT_CONTEXT_TYPE_INFO ContextTypeInfo;
} WDF_OBJECT_ATTRIBUTES, *PWDF_OBJECT_ATTRIBUTES;

FORCEINLINE VOID WDF_OBJECT_ATTRIBUTES_INIT(PWDF_OBJECT_ATTRIBUTES Attributes) {
    RtlZeroMemory(Attributes, sizeof(WDF_OBJECT_ATTRIBUTES));
    Attributes->Size = sizeof(WDF_OBJECT_ATTRIBUTES);
    Attributes->ExecutionLevel = WdfExecutionLevelInheritFromParent;
    Attributes->SynchronizationScope = WdfSynchronizationScopeInheritFromParent;
}

#define WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) _WDF_##_contexttype##_TYPE_INFO
#define WDF_GET_CONTEXT_TYPE_INFO(_contexttype) (&WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype))

#define WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, _castingfunction)                      \
    inline const WDF_OBJECT_CONTEXT_TYPE_INFO WDF_TYPE_NAME_TO_TYPE_INFO(_contexttype) = {      \
        sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO), #_contexttype, sizeof(_contexttype), NULL, NULL}; \
    FORCEINLINE _contexttype* _castingfunction(WDFOBJECT Handle) {                              \
        return (_contexttype*)WdfObjectGetTypedContextWorker(                                   \
            Handle, WDF_GET_CONTEXT_TYPE_INFO(_contexttype));                                   \
    }

#define WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(_attributes, _contexttype)        \
    do {                                                                          \
        WDF_OBJECT_ATTRIBUTES_INIT(_attributes);                                  \
        (_attributes)->ContextTypeInfo = WDF_GET_CONTEXT_TYPE_INFO(_contexttype); \
    } while (0)

#define WdfObjectGetTypedContext(handle, type) \
    ((type*)WdfObjectGetTypedContextWorker((WDFOBJECT)(handle), WDF_GET_CONTEXT_TYPE_INFO(type)))

// Returns the context of that type, zeroed at creation, or NULL when the object has none.
WDF_FUNCTION(202, PVOID, WdfObjectGetTypedContextWorker,
             (WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo), (Handle, TypeInfo));
// A general object with an optional context, parented to the driver unless told otherwise.
WDF_FUNCTION(207, NTSTATUS, WdfObjectCreate, (PWDF_OBJECT_ATTRIBUTES Attributes, WDFOBJECT* Object),
             (Attributes, Object));
// Deletes the object and its children: children first, each one's cleanup callback runs,
// and the memory goes when the last reference is released.
WDF_FUNCTION(208, VOID, WdfObjectDelete, (WDFOBJECT Object), (Object));
WDF_FUNCTION(205, VOID, WdfObjectReferenceActual,
             (WDFOBJECT Handle, PVOID Tag, LONG Line, PCSTR File), (Handle, Tag, Line, File));
WDF_FUNCTION(206, VOID, WdfObjectDereferenceActual,
             (WDFOBJECT Handle, PVOID Tag, LONG Line, PCSTR File), (Handle, Tag, Line, File));
#define WdfObjectReference(Handle) WdfObjectReferenceActual(Handle, NULL, __LINE__, __FILE__)
#define WdfObjectDereference(Handle) WdfObjectDereferenceActual(Handle, NULL, __LINE__, __FILE__)

// ---------------------------------------------------------------------------------------------
// Driver
typedef NTSTATUS EVT_WDF_DRIVER_DEVICE_ADD(WDFDRIVER Driver, PWDFDEVICE_INIT DeviceInit);
typedef EVT_WDF_DRIVER_DEVICE_ADD* PFN_WDF_DRIVER_DEVICE_ADD;
typedef VOID EVT_WDF_DRIVER_UNLOAD(WDFDRIVER Driver);
typedef EVT_WDF_DRIVER_UNLOAD* PFN_WDF_DRIVER_UNLOAD;

typedef struct _WDF_DRIVER_CONFIG {
    ULONG Size;
    PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
    PFN_WDF_DRIVER_UNLOAD EvtDriverUnload;
    ULONG DriverInitFlags;
    ULONG DriverPoolTag;
} WDF_DRIVER_CONFIG, *PWDF_DRIVER_CONFIG;

FORCEINLINE VOID WDF_DRIVER_CONFIG_INIT(PWDF_DRIVER_CONFIG Config,
                                        PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd) {
    RtlZeroMemory(Config, sizeof(WDF_DRIVER_CONFIG));
    Config->Size = sizeof(WDF_DRIVER_CONFIG);
    Config->EvtDriverDeviceAdd = EvtDriverDeviceAdd;
}

WDF_FUNCTION(116, NTSTATUS, WdfDriverCreate,
             (PDRIVER_OBJECT DriverObject, PCUNICODE_STRING RegistryPath,
              PWDF_OBJECT_ATTRIBUTES DriverAttributes, PWDF_DRIVER_CONFIG DriverConfig,
              WDFDRIVER* Driver),
             (DriverObject, RegistryPath, DriverAttributes, DriverConfig, Driver));

// The WMI trace callback that the framework registers for a driver without WmiTraceMessage,
// keyed by the control block; it answers IRP_MN_REGINFO(_EX) and receives
// IRP_MN_ENABLE_EVENTS / IRP_MN_DISABLE_EVENTS, with the control block as context.
typedef NTSTATUS EVT_WDF_TRACE_CALLBACK(UCHAR MinorFunction, PVOID DataPath, ULONG BufferLength,
                                        PVOID Buffer, PVOID Context, PULONG Size);
typedef EVT_WDF_TRACE_CALLBACK* PFN_WDF_TRACE_CALLBACK;
WDF_FUNCTION(121, NTSTATUS, WdfDriverRegisterTraceInfo,
             (PDRIVER_OBJECT DriverObject, PFN_WDF_TRACE_CALLBACK EvtTraceCallback,
              PVOID ControlBlock),
             (DriverObject, EvtTraceCallback, ControlBlock));

// ---------------------------------------------------------------------------------------------
// Collections and wait locks
WDF_FUNCTION(13, NTSTATUS, WdfCollectionCreate,
             (PWDF_OBJECT_ATTRIBUTES CollectionAttributes, WDFCOLLECTION* Collection),
             (CollectionAttributes, Collection));
WDF_FUNCTION(14, ULONG, WdfCollectionGetCount, (WDFCOLLECTION Collection), (Collection));
// Appends the object and takes a reference on it; fails with STATUS_INSUFFICIENT_RESOURCES.
WDF_FUNCTION(15, NTSTATUS, WdfCollectionAdd, (WDFCOLLECTION Collection, WDFOBJECT Object),
             (Collection, Object));
// Removing an object that is not in the collection is a framework verifier failure.
WDF_FUNCTION(16, VOID, WdfCollectionRemove, (WDFCOLLECTION Collection, WDFOBJECT Item),
             (Collection, Item));
WDF_FUNCTION(18, WDFOBJECT, WdfCollectionGetItem, (WDFCOLLECTION Collection, ULONG Index),
             (Collection, Index));

WDF_FUNCTION(312, NTSTATUS, WdfWaitLockCreate,
             (PWDF_OBJECT_ATTRIBUTES LockAttributes, WDFWAITLOCK* Lock), (LockAttributes, Lock));
// Without a timeout, the caller must run at PASSIVE_LEVEL and the wait is unbounded.
WDF_FUNCTION(313, NTSTATUS, WdfWaitLockAcquire, (WDFWAITLOCK Lock, PLONGLONG Timeout),
             (Lock, Timeout));
WDF_FUNCTION(314, VOID, WdfWaitLockRelease, (WDFWAITLOCK Lock), (Lock));

// ---------------------------------------------------------------------------------------------
// Device initialisation and PnP/power callbacks
typedef enum _WDF_POWER_DEVICE_STATE {
    WdfPowerDeviceInvalid = 0,
    WdfPowerDeviceD0,
    WdfPowerDeviceD1,
    WdfPowerDeviceD2,
    WdfPowerDeviceD3,
    WdfPowerDeviceD3Final,
    WdfPowerDevicePrepareForHibernation,
    WdfPowerDeviceMaximum,
} WDF_POWER_DEVICE_STATE;

typedef NTSTATUS EVT_WDF_DEVICE_D0_ENTRY(WDFDEVICE Device, WDF_POWER_DEVICE_STATE PreviousState);
typedef EVT_WDF_DEVICE_D0_ENTRY* PFN_WDF_DEVICE_D0_ENTRY;
typedef NTSTATUS EVT_WDF_DEVICE_D0_EXIT(WDFDEVICE Device, WDF_POWER_DEVICE_STATE TargetState);
typedef EVT_WDF_DEVICE_D0_EXIT* PFN_WDF_DEVICE_D0_EXIT;
typedef NTSTATUS EVT_WDF_DEVICE_PREPARE_HARDWARE(WDFDEVICE Device, WDFCMRESLIST ResourcesRaw,
                                                 WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_PREPARE_HARDWARE* PFN_WDF_DEVICE_PREPARE_HARDWARE;
typedef NTSTATUS EVT_WDF_DEVICE_RELEASE_HARDWARE(WDFDEVICE Device,
                                                 WDFCMRESLIST ResourcesTranslated);
typedef EVT_WDF_DEVICE_RELEASE_HARDWARE* PFN_WDF_DEVICE_RELEASE_HARDWARE;

typedef struct _WDF_PNPPOWER_EVENT_CALLBACKS {
    ULONG Size;
    PFN_WDF_DEVICE_D0_ENTRY EvtDeviceD0Entry;
    PVOID EvtDeviceD0EntryPostInterruptsEnabled;
    PFN_WDF_DEVICE_D0_EXIT EvtDeviceD0Exit;
    PVOID EvtDeviceD0ExitPreInterruptsDisabled;
    PFN_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
    PFN_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
    PVOID EvtDeviceSelfManagedIoCleanup;
    PVOID EvtDeviceSelfManagedIoFlush;
    PVOID EvtDeviceSelfManagedIoInit;
    PVOID EvtDeviceSelfManagedIoSuspend;
    PVOID EvtDeviceSelfManagedIoRestart;
    PVOID EvtDeviceSurpriseRemoval;
    PVOID EvtDeviceQueryRemove;
    PVOID EvtDeviceQueryStop;
    PVOID EvtDeviceUsageNotification;
    PVOID EvtDeviceRelationsQuery;
} WDF_PNPPOWER_EVENT_CALLBACKS, *PWDF_PNPPOWER_EVENT_CALLBACKS;

FORCEINLINE VOID WDF_PNPPOWER_EVENT_CALLBACKS_INIT(PWDF_PNPPOWER_EVENT_CALLBACKS Callbacks) {
    RtlZeroMemory(Callbacks, sizeof(WDF_PNPPOWER_EVENT_CALLBACKS));
    Callbacks->Size = sizeof(WDF_PNPPOWER_EVENT_CALLBACKS);
}

typedef NTSTATUS EVT_WDFDEVICE_WDM_IRP_PREPROCESS(WDFDEVICE Device, PIRP Irp);
typedef EVT_WDFDEVICE_WDM_IRP_PREPROCESS* PFN_WDFDEVICE_WDM_IRP_PREPROCESS;

// Fails with STATUS_BUFFER_TOO_SMALL (and the size needed) when the buffer is short.
WDF_FUNCTION(126, NTSTATUS, WdfFdoInitQueryProperty,
             (PWDFDEVICE_INIT DeviceInit, DEVICE_REGISTRY_PROPERTY DeviceProperty,
              ULONG BufferLength, PVOID PropertyBuffer, PULONG ResultLength),
             (DeviceInit, DeviceProperty, BufferLength, PropertyBuffer, ResultLength));
WDF_FUNCTION(129, VOID, WdfFdoInitSetFilter, (PWDFDEVICE_INIT DeviceInit), (DeviceInit));
WDF_FUNCTION(124, PDEVICE_OBJECT, WdfFdoInitWdmGetPhysicalDevice, (PWDFDEVICE_INIT DeviceInit),
             (DeviceInit));
WDF_FUNCTION(55, VOID, WdfDeviceInitSetPnpPowerEventCallbacks,
             (PWDFDEVICE_INIT DeviceInit, PWDF_PNPPOWER_EVENT_CALLBACKS PnpPowerEventCallbacks),
             (DeviceInit, PnpPowerEventCallbacks));
WDF_FUNCTION(73, NTSTATUS, WdfDeviceInitAssignWdmIrpPreprocessCallback,
             (PWDFDEVICE_INIT DeviceInit,
              PFN_WDFDEVICE_WDM_IRP_PREPROCESS EvtDeviceWdmIrpPreprocess, UCHAR MajorFunction,
              PUCHAR MinorFunctions, ULONG NumMinorFunctions),
             (DeviceInit, EvtDeviceWdmIrpPreprocess, MajorFunction, MinorFunctions,
              NumMinorFunctions));

// Creates the device object and, for a filter, attaches it on top of the stack. On success
// the init record is consumed and *DeviceInit set to NULL.
WDF_FUNCTION(75, NTSTATUS, WdfDeviceCreate,
             (PWDFDEVICE_INIT * DeviceInit, PWDF_OBJECT_ATTRIBUTES DeviceAttributes,
              WDFDEVICE* Device),
             (DeviceInit, DeviceAttributes, Device));
WDF_FUNCTION(31, PDEVICE_OBJECT, WdfDeviceWdmGetDeviceObject, (WDFDEVICE Device), (Device));
WDF_FUNCTION(32, PDEVICE_OBJECT, WdfDeviceWdmGetAttachedDevice, (WDFDEVICE Device), (Device));
WDF_FUNCTION(33, PDEVICE_OBJECT, WdfDeviceWdmGetPhysicalDevice, (WDFDEVICE Device), (Device));
// Gives an IRP that the preprocess callback has seen back to the framework. The callback
// must have skipped its stack location first.
WDF_FUNCTION(34, NTSTATUS, WdfDeviceWdmDispatchPreprocessedIrp, (WDFDEVICE Device, PIRP Irp),
             (Device, Irp));

// ---------------------------------------------------------------------------------------------
// Control devices, file objects and the symbolic link
typedef enum _WDF_TRI_STATE { WdfFalse = 0, WdfTrue = 1, WdfUseDefault = 2 } WDF_TRI_STATE;

typedef enum _WDF_FILEOBJECT_CLASS {
    WdfFileObjectInvalid = 0,
    WdfFileObjectNotRequired = 1,
    WdfFileObjectWdfCanUseFsContext = 2,
    WdfFileObjectWdfCanUseFsContext2 = 3,
    WdfFileObjectWdfCannotUseFsContexts = 4,
} WDF_FILEOBJECT_CLASS;

typedef VOID EVT_WDF_DEVICE_FILE_CREATE(WDFDEVICE Device, WDFREQUEST Request,
                                        WDFFILEOBJECT FileObject);
typedef EVT_WDF_DEVICE_FILE_CREATE* PFN_WDF_DEVICE_FILE_CREATE;
typedef VOID EVT_WDF_FILE_CLOSE(WDFFILEOBJECT FileObject);
typedef EVT_WDF_FILE_CLOSE* PFN_WDF_FILE_CLOSE;
typedef VOID EVT_WDF_FILE_CLEANUP(WDFFILEOBJECT FileObject);
typedef EVT_WDF_FILE_CLEANUP* PFN_WDF_FILE_CLEANUP;

typedef struct _WDF_FILEOBJECT_CONFIG {
    ULONG Size;
    PFN_WDF_DEVICE_FILE_CREATE EvtDeviceFileCreate;
    PFN_WDF_FILE_CLOSE EvtFileClose;
    PFN_WDF_FILE_CLEANUP EvtFileCleanup;
    WDF_TRI_STATE AutoForwardCleanupClose;
    WDF_FILEOBJECT_CLASS FileObjectClass;
} WDF_FILEOBJECT_CONFIG, *PWDF_FILEOBJECT_CONFIG;

FORCEINLINE VOID WDF_FILEOBJECT_CONFIG_INIT(PWDF_FILEOBJECT_CONFIG FileEventCallbacks,
                                            PFN_WDF_DEVICE_FILE_CREATE EvtDeviceFileCreate,
                                            PFN_WDF_FILE_CLOSE EvtFileClose,
                                            PFN_WDF_FILE_CLEANUP EvtFileCleanup) {
    FileEventCallbacks->Size = sizeof(WDF_FILEOBJECT_CONFIG);
    FileEventCallbacks->EvtDeviceFileCreate = EvtDeviceFileCreate;
    FileEventCallbacks->EvtFileClose = EvtFileClose;
    FileEventCallbacks->EvtFileCleanup = EvtFileCleanup;
    FileEventCallbacks->AutoForwardCleanupClose = WdfUseDefault;
    FileEventCallbacks->FileObjectClass = WdfFileObjectWdfCannotUseFsContexts;
}

// An init record for a device outside any PnP stack, or NULL when none can be allocated.
// The record is the caller's until WdfDeviceCreate succeeds with it; otherwise the caller
// frees it with WdfDeviceInitFree. The SDDL string is kept with the device (access checks
// are not modelled).
WDF_FUNCTION(25, PWDFDEVICE_INIT, WdfControlDeviceInitAllocate,
             (WDFDRIVER Driver, PCUNICODE_STRING SDDLString), (Driver, SDDLString));
WDF_FUNCTION(54, VOID, WdfDeviceInitFree, (PWDFDEVICE_INIT DeviceInit), (DeviceInit));
// An exclusive device accepts one open handle at a time.
WDF_FUNCTION(62, VOID, WdfDeviceInitSetExclusive, (PWDFDEVICE_INIT DeviceInit, BOOLEAN IsExclusive),
             (DeviceInit, IsExclusive));
WDF_FUNCTION(67, NTSTATUS, WdfDeviceInitAssignName,
             (PWDFDEVICE_INIT DeviceInit, PCUNICODE_STRING DeviceName), (DeviceInit, DeviceName));
WDF_FUNCTION(71, VOID, WdfDeviceInitSetFileObjectConfig,
             (PWDFDEVICE_INIT DeviceInit, PWDF_FILEOBJECT_CONFIG FileObjectConfig,
              PWDF_OBJECT_ATTRIBUTES FileObjectAttributes),
             (DeviceInit, FileObjectConfig, FileObjectAttributes));
// The link lives as long as the device; a name that exists already gives
// STATUS_OBJECT_NAME_COLLISION.
WDF_FUNCTION(80, NTSTATUS, WdfDeviceCreateSymbolicLink,
             (WDFDEVICE Device, PCUNICODE_STRING SymbolicLinkName), (Device, SymbolicLinkName));
// Until this is called the device refuses every open.
WDF_FUNCTION(27, VOID, WdfControlFinishInitializing, (WDFDEVICE Device), (Device));

// ---------------------------------------------------------------------------------------------
// Queues and requests
typedef enum _WDF_IO_QUEUE_DISPATCH_TYPE {
    WdfIoQueueDispatchInvalid = 0,
    WdfIoQueueDispatchSequential,
    WdfIoQueueDispatchParallel,
    WdfIoQueueDispatchManual,
    WdfIoQueueDispatchMax,
} WDF_IO_QUEUE_DISPATCH_TYPE;

typedef VOID EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL(WDFQUEUE Queue, WDFREQUEST Request,
                                                size_t OutputBufferLength, size_t InputBufferLength,
                                                ULONG IoControlCode);
typedef EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL* PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL;

typedef struct _WDF_IO_QUEUE_CONFIG {
    ULONG Size;
    WDF_IO_QUEUE_DISPATCH_TYPE DispatchType;
    WDF_TRI_STATE PowerManaged;
    BOOLEAN AllowZeroLengthRequests;
    BOOLEAN DefaultQueue;
    PVOID EvtIoDefault;
    PVOID EvtIoRead;
    PVOID EvtIoWrite;
    PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL EvtIoDeviceControl;
    PVOID EvtIoInternalDeviceControl;
    PVOID EvtIoStop;
    PVOID EvtIoResume;
    PVOID EvtIoCanceledOnQueue;
    // Since 1.9: how many requests a parallel queue presents at once; 0 for other queues.
    union {
        struct {
            ULONG NumberOfPresentedRequests;
        } Parallel;
    } Settings;
} WDF_IO_QUEUE_CONFIG, *PWDF_IO_QUEUE_CONFIG;

FORCEINLINE VOID WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(PWDF_IO_QUEUE_CONFIG Config,
                                                        WDF_IO_QUEUE_DISPATCH_TYPE DispatchType) {
    RtlZeroMemory(Config, sizeof(WDF_IO_QUEUE_CONFIG));
    Config->Size = sizeof(WDF_IO_QUEUE_CONFIG);
    Config->DispatchType = DispatchType;
    Config->PowerManaged = WdfUseDefault;
    Config->DefaultQueue = TRUE;
    if (DispatchType == WdfIoQueueDispatchParallel) {
        Config->Settings.Parallel.NumberOfPresentedRequests = (ULONG)-1;
    }
}

// Only a device's default queue with sequential dispatch is modelled: one request in the
// driver at a time, the others presented in arrival order as each completes. The
// configuration must have the 1.9 size, and a presented-request limit only fits a parallel
// queue (STATUS_INVALID_PARAMETER otherwise).
WDF_FUNCTION(152, NTSTATUS, WdfIoQueueCreate,
             (WDFDEVICE Device, PWDF_IO_QUEUE_CONFIG Config, PWDF_OBJECT_ATTRIBUTES QueueAttributes,
              WDFQUEUE* Queue),
             (Device, Config, QueueAttributes, Queue));
// Buffered requests: input and output are the one system buffer. A zero-length buffer, or
// one shorter than MinimumRequiredSize, gives STATUS_BUFFER_TOO_SMALL and no buffer.
WDF_FUNCTION(269, NTSTATUS, WdfRequestRetrieveInputBuffer,
             (WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer, size_t* Length),
             (Request, MinimumRequiredSize, Buffer, Length));
WDF_FUNCTION(270, NTSTATUS, WdfRequestRetrieveOutputBuffer,
             (WDFREQUEST Request, size_t MinimumRequiredSize, PVOID* Buffer, size_t* Length),
             (Request, MinimumRequiredSize, Buffer, Length));
// Completes the request once; the handle is dead afterwards, so completing it again is a
// verifier failure.
WDF_FUNCTION(263, VOID, WdfRequestComplete, (WDFREQUEST Request, NTSTATUS Status),
             (Request, Status));
WDF_FUNCTION(265, VOID, WdfRequestCompleteWithInformation,
             (WDFREQUEST Request, NTSTATUS Status, ULONG_PTR Information),
             (Request, Status, Information));

#ifdef __cplusplus
}
#endif
