// tabvolt: records and driver-wide state shared by the driver's sources.
#pragma once

#include <ntddk.h>
#include <wdf.h>
#include <usb.h>
#include <usbioctl.h>
#include <usbdlib.h>
#include <wdfusb.h>

#include "trace.h"
#include "vexa_ioctl.h"

// Pool tag "Tabv", spelled out so that no compiler has to accept a multi-character constant.
#define TABVOLT_POOL_TAG ((ULONG)'T' | ((ULONG)'a' << 8) | ((ULONG)'b' << 16) | ((ULONG)'v' << 24))
#define IDENT_TEXT_SIZE 512
#define VID_PID_LIST_CAPACITY 64

typedef struct _VID_PID_LIST {
    USHORT Vid[VID_PID_LIST_CAPACITY];
    USHORT Pid[VID_PID_LIST_CAPACITY];
    LONG Count;
} VID_PID_LIST, *PVID_PID_LIST;

typedef struct _CONTROL_DEVICE_EXTENSION {
    VID_PID_LIST IpadSupportList;
    VID_PID_LIST IDevSkipList;
    VID_PID_LIST VexaHubSupportList;
    ULONG DontGetStrDesc;
    ULONG ChgCmdMode;
} CONTROL_DEVICE_EXTENSION, *PCONTROL_DEVICE_EXTENSION;

WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(CONTROL_DEVICE_EXTENSION, ControlGetData)

typedef struct _FILTER_EXTENSION {
    WDFUSBDEVICE UsbDevice;
    PDEVICE_OBJECT Pdo;
    PDEVICE_OBJECT LowerDevice;
    ULONG Handle;
    USB_DEVICE_DESCRIPTOR DeviceDescriptor;
    USHORT VexaDevType;
    UCHAR ChargeSent;
    UCHAR SerialNumber[IDENT_TEXT_SIZE];
    UCHAR InstanceId[IDENT_TEXT_SIZE];
    UCHAR ContainerId[IDENT_TEXT_SIZE];
    UCHAR BosContainerId[IDENT_TEXT_SIZE];
    USB_TOPOLOGY_ADDRESS TopologyAddress;
} FILTER_EXTENSION, *PFILTER_EXTENSION;

WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(FILTER_EXTENSION, FilterGetData)

// Wire records are packed little-endian; these write and read them a byte at a time, so that
// no field is ever accessed unaligned.
FORCEINLINE VOID WirePutUshort(PUCHAR Where, USHORT Value) {
    Where[0] = (UCHAR)Value;
    Where[1] = (UCHAR)(Value >> 8);
}

FORCEINLINE VOID WirePutUlong(PUCHAR Where, ULONG Value) {
    WirePutUshort(Where, (USHORT)Value);
    WirePutUshort(Where + 2, (USHORT)(Value >> 16));
}

FORCEINLINE USHORT WireGetUshort(const UCHAR* Where) {
    return (USHORT)(Where[0] | (Where[1] << 8));
}

FORCEINLINE ULONG WireGetUlong(const UCHAR* Where) {
    return (ULONG)WireGetUshort(Where) | ((ULONG)WireGetUshort(Where + 2) << 16);
}

// Driver-wide state.
extern WDFCOLLECTION FilterDevices;
extern WDFWAITLOCK FilterDevicesLock;
extern LONG DeviceSerial;
extern WDFDEVICE ControlDevice;

// Routines placed in INIT or PAGE with #pragma alloc_text have C linkage: the compiler
// places no other.

// Entry and device lifecycle.
extern "C" DRIVER_INITIALIZE DriverEntry;
extern "C" EVT_WDF_DRIVER_DEVICE_ADD FilterEvtDeviceAdd;
extern "C" EVT_WDF_DRIVER_UNLOAD FilterEvtDriverUnload;
extern "C" EVT_WDF_OBJECT_CONTEXT_CLEANUP FilterEvtDeviceContextCleanup;
EVT_WDF_DEVICE_PREPARE_HARDWARE FilterEvtDevicePrepareHardware;
EVT_WDF_DEVICE_RELEASE_HARDWARE FilterEvtDeviceReleaseHardware;
EVT_WDF_DEVICE_D0_ENTRY FilterEvtDeviceD0Entry;
EVT_WDF_DEVICE_D0_EXIT FilterEvtDeviceD0Exit;
EVT_WDFDEVICE_WDM_IRP_PREPROCESS FilterEvtDeviceWdmIrpPreprocess;

// Control device and configuration.
extern "C" NTSTATUS FilterCreateControlDevice(WDFDRIVER Driver);
EVT_WDF_DEVICE_FILE_CREATE FilterEvtDeviceFileCreate;
EVT_WDF_FILE_CLOSE FilterEvtFileClose;
extern "C" EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL FilterEvtIoDeviceControl;
PCONTROL_DEVICE_EXTENSION FilterGetControlExtension(VOID);
NTSTATUS GetVidPidList(PCWSTR ValueName, PUSHORT Vid, PUSHORT Pid, LONG Capacity, PLONG Count);
NTSTATUS GetRegOptionValue(PCWSTR ValueName, PULONG Value);
// Reads the five settings into a zeroed context; a setting that cannot be read stays zero.
VOID FilterReadConfiguration(PCONTROL_DEVICE_EXTENSION Extension);

// Text routines. Sizes are the caller's buffer size in bytes; nothing outside it is touched.
VOID NarrowWideString(PUCHAR Buffer, SIZE_T BufferSize);
VOID StrToUpperInPlace(PCHAR Buffer, SIZE_T BufferSize);
ULONG HexStrToInt(PCSTR Text);

// Classification.
extern "C" BOOLEAN FilterShouldSkipDevice(PWDFDEVICE_INIT DeviceInit);
extern "C" BOOLEAN FilterSkipUnlessExternalHub(PWDFDEVICE_INIT DeviceInit);
BOOLEAN FilterIsVexaHub(WDFDEVICE Device);
BOOLEAN VidPidListContains(const VID_PID_LIST* List, USHORT VendorId, USHORT ProductId);
BOOLEAN IsChargeableTablet(USHORT VendorId, USHORT ProductId);

// Tablet charging. SelectChargeCurrent answers FALSE, choosing nothing, for a ChgCmdMode it
// does not know.
BOOLEAN SelectChargeCurrent(USHORT ProductId, ULONG TabletCount, PUSHORT WValue, PUSHORT WIndex);
NTSTATUS EnableTabCharging(BOOLEAN SkipHubCheck);

// Speaker tone.
VOID SpeakerToneOn(ULONG Divisor);
VOID SpeakerToneOff(VOID);

// Transfers.
NTSTATUS BoundedInternalRequest(PDEVICE_OBJECT DeviceObject, ULONG IoControlCode, PVOID Argument);
IO_COMPLETION_ROUTINE FilterRequestCompletion;
NTSTATUS FilterSendControlCommand_wdm(PDEVICE_OBJECT DeviceObject, USHORT UrbFunction,
                                      UCHAR bmRequestType, UCHAR bRequest, USHORT wValue,
                                      USHORT wIndex, PVOID Data, USHORT wLength);
NTSTATUS FilterSendControlTransfer(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest,
                                   USHORT wValue, USHORT wIndex, USHORT wLength, PVOID Data);
NTSTATUS FilterSendDeviceRequest(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest,
                                 USHORT wValue, USHORT wIndex, USHORT wLength, PVOID Data);
NTSTATUS FilterSendPortRequest(WDFDEVICE Device, UCHAR bmRequestType, UCHAR bRequest, USHORT wValue,
                               USHORT wIndex, USHORT wLength, PVOID Data);

// Device information.
VOID FilterReadDeviceInformation(WDFDEVICE Device, PFILTER_EXTENSION Extension);
NTSTATUS FilterGetDeviceDescriptor_wdm(PDEVICE_OBJECT DeviceObject,
                                       PUSB_DEVICE_DESCRIPTOR Destination);
NTSTATUS FilterGetStringDescriptor_wdm(PDEVICE_OBJECT DeviceObject, UCHAR Index, PVOID Destination,
                                       USHORT Length);
NTSTATUS FilterGetUsbTopologyAddress_wdm(PDEVICE_OBJECT DeviceObject,
                                         PUSB_TOPOLOGY_ADDRESS Destination);
NTSTATUS FilterQueryInstanceId(WDFDEVICE Device, PUCHAR Destination);

// Reads keyed by handle, and the device list. Each writes the serial where told.
ULONG GetFilterDeviceCount(PULONG Serial);
NTSTATUS EnumFilterDevices(PULONG Serial, PUCHAR Reply, ULONG Capacity);
// A device found by handle, with exactly the references the lookup took: its USB target is
// created by the first start that succeeds, so it may appear after the lookup, and only the
// target held here is released.
typedef struct _FOUND_FILTER_DEVICE {
    WDFDEVICE Device;
    WDFUSBDEVICE UsbDevice;
} FOUND_FILTER_DEVICE, *PFOUND_FILTER_DEVICE;
NTSTATUS FindFilterDeviceByHandle(PULONG Serial, ULONG Handle, PFOUND_FILTER_DEVICE Found);
VOID FilterReleaseFoundDevice(PFOUND_FILTER_DEVICE Found);
NTSTATUS QueryFilterDeviceSerialStr(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity);
NTSTATUS QueryFilterDeviceInstanceID(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity);
NTSTATUS QueryFilterDeviceContainerID(PULONG Serial, ULONG Handle, PUCHAR Area, ULONG Capacity,
                                      BOOLEAN FromBos);
NTSTATUS QueryFilterDeviceTopoAddr(PULONG Serial, ULONG Handle, PUCHAR Reply);

// The object's full name; declared in ntifs.h, which a filter driver does not include.
extern "C" NTSTATUS ObQueryNameString(PVOID Object, POBJECT_NAME_INFORMATION ObjectNameInfo,
                                      ULONG Length, PULONG ReturnLength);
NTSTATUS FilterQueryStringDescriptor(WDFDEVICE Device, UCHAR Index, PVOID Destination,
                                     USHORT Capacity);
