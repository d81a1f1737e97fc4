// Stand-in for the framework's USB target header (KMDF 1.9), in terms of WDM and USB types.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

typedef union _WDF_USB_CONTROL_SETUP_PACKET {
    struct {
        union {
            struct {
                UCHAR Recipient : 2;
                UCHAR Reserved : 3;
                UCHAR Type : 2;
                UCHAR Dir : 1;
            } Request;
            UCHAR Byte;
        } bm;
        UCHAR bRequest;
        union {
            struct {
                UCHAR LowByte;
                UCHAR HiByte;
            } Bytes;
            USHORT Value;
        } wValue;
        union {
            struct {
                UCHAR LowByte;
                UCHAR HiByte;
            } Bytes;
            USHORT Value;
        } wIndex;
        USHORT wLength;
    } Packet;
    struct {
        UCHAR Bytes[8];
    } Generic;
} WDF_USB_CONTROL_SETUP_PACKET, *PWDF_USB_CONTROL_SETUP_PACKET;

typedef enum _WDF_MEMORY_DESCRIPTOR_TYPE {
    WdfMemoryDescriptorTypeInvalid = 0,
    WdfMemoryDescriptorTypeBuffer,
    WdfMemoryDescriptorTypeMdl,
    WdfMemoryDescriptorTypeHandle,
} WDF_MEMORY_DESCRIPTOR_TYPE;

typedef struct _WDF_MEMORY_DESCRIPTOR {
    WDF_MEMORY_DESCRIPTOR_TYPE Type;
    union {
        struct {
            PVOID Buffer;
            ULONG Length;
        } BufferType;
    } u;
} WDF_MEMORY_DESCRIPTOR, *PWDF_MEMORY_DESCRIPTOR;

FORCEINLINE VOID WDF_MEMORY_DESCRIPTOR_INIT_BUFFER(PWDF_MEMORY_DESCRIPTOR Descriptor, PVOID Buffer,
                                                   ULONG BufferLength) {
    RtlZeroMemory(Descriptor, sizeof(WDF_MEMORY_DESCRIPTOR));
    Descriptor->Type = WdfMemoryDescriptorTypeBuffer;
    Descriptor->u.BufferType.Buffer = Buffer;
    Descriptor->u.BufferType.Length = BufferLength;
}

#define WDF_REQUEST_SEND_OPTION_TIMEOUT 0x00000001

typedef struct _WDF_REQUEST_SEND_OPTIONS {
    ULONG Size;
    ULONG Flags;
    LONGLONG Timeout;
} WDF_REQUEST_SEND_OPTIONS, *PWDF_REQUEST_SEND_OPTIONS;

FORCEINLINE VOID WDF_REQUEST_SEND_OPTIONS_INIT(PWDF_REQUEST_SEND_OPTIONS Options, ULONG Flags) {
    RtlZeroMemory(Options, sizeof(WDF_REQUEST_SEND_OPTIONS));
    Options->Size = sizeof(WDF_REQUEST_SEND_OPTIONS);
    Options->Flags = Flags;
}

FORCEINLINE VOID WDF_REQUEST_SEND_OPTIONS_SET_TIMEOUT(PWDF_REQUEST_SEND_OPTIONS Options,
                                                      LONGLONG Timeout) {
    Options->Flags |= WDF_REQUEST_SEND_OPTION_TIMEOUT;
    Options->Timeout = Timeout;
}

#define WDF_REL_TIMEOUT_IN_SEC(Time) ((LONGLONG)(Time) * -10000000LL)

// Sends the setup packet and data stage on the default pipe and waits; with a timeout in
// the options an unanswered transfer is cancelled and reported as STATUS_IO_TIMEOUT. The
// packet's length field is taken from the memory descriptor.
WDF_FUNCTION(333, NTSTATUS, WdfUsbTargetDeviceSendControlTransferSynchronously,
             (WDFUSBDEVICE UsbDevice, WDFREQUEST Request, PWDF_REQUEST_SEND_OPTIONS RequestOptions,
              PWDF_USB_CONTROL_SETUP_PACKET SetupPacket, PWDF_MEMORY_DESCRIPTOR MemoryDescriptor,
              PULONG BytesTransferred),
             (UsbDevice, Request, RequestOptions, SetupPacket, MemoryDescriptor, BytesTransferred));

// Creates the framework USB target of a started device; fails (an injected fault) like a
// device whose configuration cannot be read.
WDF_FUNCTION(322, NTSTATUS, WdfUsbTargetDeviceCreate,
             (WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES Attributes, WDFUSBDEVICE* UsbDevice),
             (Device, Attributes, UsbDevice));
// Copies the device descriptor that the framework read when it created the target.
WDF_FUNCTION(324, VOID, WdfUsbTargetDeviceGetDeviceDescriptor,
             (WDFUSBDEVICE UsbDevice, PUSB_DEVICE_DESCRIPTOR UsbDeviceDescriptor),
             (UsbDevice, UsbDeviceDescriptor));
// Reads a string descriptor and delivers its characters without the descriptor header.
// *NumCharacters is the capacity in characters on entry and the length on return;
// STATUS_BUFFER_OVERFLOW when the string is longer than the capacity.
WDF_FUNCTION(326, NTSTATUS, WdfUsbTargetDeviceQueryString,
             (WDFUSBDEVICE UsbDevice, WDFREQUEST Request, PWDF_REQUEST_SEND_OPTIONS RequestOptions,
              PUSHORT String, PUSHORT NumCharacters, UCHAR StringIndex, USHORT LangID),
             (UsbDevice, Request, RequestOptions, String, NumCharacters, StringIndex, LangID));

#ifdef __cplusplus
}
#endif
