// tabvolt: trace points. Each point belongs to a message group and has a number from 10 up;
// its arguments are described by a type string that travels with the message, so that a
// decoder can print it without the message texts:
//   'u' ULONG (decimal)  'x' ULONG (hexadecimal, statuses)  'p' pointer
//   's' 8-bit string (NULL prints "NULL")  'w' wide string (NULL "NULL", empty "<NULL>")
#pragma once

typedef enum _TRACE_GROUP {
    TraceGroupEntry = 0,  // driver entry and device add
    TraceGroupPnp,        // PnP callbacks and hub test
    TraceGroupUsbTarget,  // USB target transfers
    TraceGroupWdm,        // WDM requests
    TraceGroupControl,    // control device and I/O control
    TraceGroupSpeaker,
    TraceGroupCharge,    // tablet charging and list lookups
    TraceGroupRegistry,  // registry and dumps
    TraceGroupCount
} TRACE_GROUP;

// Messages of the entry group.
enum {
    TraceEntryLoad = 10,
    TraceEntryBuildDate,
    TraceEntryDriverCreateFailed,
    TraceEntryCollectionCreateFailed,
    TraceEntryLockCreateFailed,
    TraceEntryControlDeviceFailed,
    TraceEntryContainerIdUnreadable,
    TraceEntryContainerIdText,
    TraceEntryDeviceCreateFailed,
    TraceEntryStackDevices,
    TraceEntryDeviceAdded,
    TraceEntryCollectionAddFailed,
    TraceEntryCleanup,
    TraceEntryCleanupCount,
    TraceEntryCleanupLast,
    TraceEntryControlDeviceDeleted,
    TraceEntryUnload,
    TraceEntryAttachDecision,
    TraceEntryIdQueryFailed,
    TraceEntryIdText,
    TraceEntryDeviceAddCallback,
};

// Messages of the PnP group.
enum {
    TracePnpCallback = 10,
    TracePnpUsbTargetFailed,
    TracePnpSerialReadFailed,
    TracePnpBosReadFailed,
    TracePnpBosContainerId,
    TracePnpD0ExitTarget,
    TracePnpDescriptorField,
    TracePnpHubRule,
    TracePnpDescriptorReadFailed,
    TracePnpHubNoConfiguration,
    TracePnpHubString,
    TracePnpTopologyReadFailed,
};

// Messages of the WDM group.
enum {
    TraceWdmIrpBuildFailed = 10,
    TraceWdmTimeout,
    TraceWdmPdoFailed,
    TraceWdmDescriptorFailed,
    TraceWdmInstanceIdFailed,
    TraceWdmTopologyField,
};

// Messages of the speaker group.
enum {
    TraceSpeakerPortRead = 10,
};

// Messages of the control group.
enum {
    TraceControlCreated = 10,
    TraceControlCapacityNot512,
    TraceControlFieldCopied,
    TraceControlCreateFailed,
    TraceControlFileCreate,
    TraceControlFileClose,
    TraceControlRequest,
    TraceControlLengths,
    TraceControlTransfer,
    TraceControlFailed,
    TraceControlChargeFlag,
};

// Messages of the registry group.
enum {
    TraceRegistryKeyNotOpened = 10,
    TraceRegistryQueryFailed,
    TraceRegistryAllocationFailed,
    TraceRegistryInconsistent,
    TraceRegistryPair,
    TraceRegistryOption,
    TraceRegistryDump,
    TraceRegistryDataOutOfRange,
};

// Messages of the charge group.
enum {
    TraceChargeNoControlDevice = 10,
    TraceChargeTabletDecision,
    TraceChargeEntry,
    TraceChargeDeviceCount,
    TraceChargeAllocationFailed,
    TraceChargeNoHub,
    TraceChargeTabletCount,
    TraceChargeUnknownMode,
    TraceChargeCurrentChosen,
    TraceChargeDeviceGone,
    TraceChargeSendResult,
    TraceChargeResult,
};

VOID TraceStart(PDRIVER_OBJECT DriverObject);
VOID TraceStop(VOID);
// Writes one trace point when a session has enabled the provider; costs a flag test otherwise.
VOID TraceWrite(TRACE_GROUP Group, USHORT Number, PCSTR Types, ...);
