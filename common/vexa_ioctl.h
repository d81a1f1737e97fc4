// The one channel between tabvolt and Ampwise: the control device's name, its I/O-control
// codes and their packed, little-endian request and reply records. Both deliverables
// include this header; it needs only the Windows integer types (ULONG, USHORT, UCHAR).
#pragma once

#define VEXA_DEVICE_NAME L"\\Device\\tabvolt"
#define VEXA_SYMBOLIC_LINK_NAME L"\\DosDevices\\tabvolt"
#define VEXA_USER_DEVICE_PATH "\\\\.\\tabvolt"

// Device type FILE_DEVICE_UNKNOWN, METHOD_BUFFERED, FILE_ANY_ACCESS.
#define VEXA_CTL_CODE(function) ((0x22UL << 16) | ((ULONG)(function) << 2))

#define VEXA_IOCTL_GET_DEVICE_NUM VEXA_CTL_CODE(0x800)        // 0x222000
#define VEXA_IOCTL_ENUM_DEVICES VEXA_CTL_CODE(0x801)          // 0x222004
#define VEXA_IOCTL_VENDOR_REQUEST VEXA_CTL_CODE(0x802)        // 0x222008
#define VEXA_IOCTL_NOOP VEXA_CTL_CODE(0x803)                  // 0x22200C
#define VEXA_IOCTL_VENDOR_REQUEST2 VEXA_CTL_CODE(0x804)       // 0x222010
#define VEXA_IOCTL_BEEP_ON VEXA_CTL_CODE(0x805)               // 0x222014
#define VEXA_IOCTL_BEEP_OFF VEXA_CTL_CODE(0x806)              // 0x222018
#define VEXA_IOCTL_ENABLE_TAB_CHARGING VEXA_CTL_CODE(0x807)   // 0x22201C
#define VEXA_IOCTL_GET_SERIAL_STRING VEXA_CTL_CODE(0x808)     // 0x222020
#define VEXA_IOCTL_GET_INSTANCE_ID VEXA_CTL_CODE(0x809)       // 0x222024
#define VEXA_IOCTL_GET_CONTAINER_ID VEXA_CTL_CODE(0x80A)      // 0x222028
#define VEXA_IOCTL_GET_BOS_CONTAINER_ID VEXA_CTL_CODE(0x80B)  // 0x22202C
#define VEXA_IOCTL_GET_TOPOLOGY_ADDRESS VEXA_CTL_CODE(0x80C)  // 0x222030
#define VEXA_IOCTL_HUB_PORT_COMMAND VEXA_CTL_CODE(0x80D)      // 0x222034

#define VEXA_STRING_CAPACITY 512

#pragma pack(push, 1)

// One device of the list.
typedef struct _VEXA_DEVICE_ENTRY {
    ULONG handle;
    USHORT VexaDevType;  // 1: a Vexa hub
    USHORT VID;
    USHORT PID;
    USHORT bcdDev;
    USHORT bcdUSB;
    UCHAR ChargeSent;  // 1: the charge-current request has been sent
} VEXA_DEVICE_ENTRY;

// Reply of VEXA_IOCTL_GET_DEVICE_NUM (header only) and VEXA_IOCTL_ENUM_DEVICES.
typedef struct _VEXA_DEVICE_LIST {
    ULONG serial;  // the handle the next attached device will get
    ULONG count;   // devices attached now, whatever fits below
    VEXA_DEVICE_ENTRY entries[1];
} VEXA_DEVICE_LIST;

// Request and reply of the transfer codes; wLength data bytes follow.
typedef struct _VEXA_REQUEST {
    ULONG serial;
    ULONG handle;
    UCHAR bmRequestType;
    UCHAR bRequest;
    USHORT wValue;
    USHORT wIndex;
    USHORT wLength;
    UCHAR data[1];
} VEXA_REQUEST;

// Request and reply of the four string queries; `capacity` bytes of text follow.
typedef struct _VEXA_QUERY {
    ULONG serial;
    ULONG handle;
    ULONG capacity;
    UCHAR text[1];
} VEXA_QUERY;

// Reply of VEXA_IOCTL_GET_TOPOLOGY_ADDRESS; its request is the first 8 bytes.
typedef struct _VEXA_TOPOLOGY {
    ULONG serial;
    ULONG handle;  // not echoed: 0
    ULONG PciBusNumber;
    ULONG PciDeviceNumber;
    ULONG PciFunctionNumber;
    USHORT RootHubPortNumber;
    USHORT HubPortNumber[5];
} VEXA_TOPOLOGY;

#pragma pack(pop)

#define VEXA_DEVICE_LIST_HEADER_SIZE 8
#define VEXA_REQUEST_HEADER_SIZE 16
#define VEXA_QUERY_HEADER_SIZE 12

static_assert(sizeof(VEXA_DEVICE_ENTRY) == 15, "a device entry is 15 bytes");
static_assert(sizeof(VEXA_DEVICE_LIST) == VEXA_DEVICE_LIST_HEADER_SIZE + 15,
              "a one-entry list is 23 bytes");
static_assert(sizeof(VEXA_REQUEST) == VEXA_REQUEST_HEADER_SIZE + 1, "port command is 17 bytes");
static_assert(sizeof(VEXA_QUERY) == VEXA_QUERY_HEADER_SIZE + 1, "query header is 12 bytes");
static_assert(sizeof(VEXA_TOPOLOGY) == 32, "the topology reply is 32 bytes");
static_assert(VEXA_IOCTL_HUB_PORT_COMMAND == 0x222034, "codes run 0x222000 to 0x222034");
