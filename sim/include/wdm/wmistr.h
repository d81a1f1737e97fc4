// Stand-in for the WDK's wmistr.h: the WNODE header that WMI events and callbacks carry.
#pragma once

#include "wdm.h"

#define WNODE_FLAG_TRACED_GUID 0x00020000
#define WNODE_FLAG_USE_MOF_PTR 0x00100000

typedef struct _WNODE_HEADER {
    ULONG BufferSize;
    ULONG ProviderId;
    union {
        ULONG64 HistoricalContext;
        struct {
            ULONG Version;
            ULONG Linkage;
        };
    };
    union {
        ULONG CountLost;
        HANDLE KernelHandle;
        LARGE_INTEGER TimeStamp;
    };
    GUID Guid;
    ULONG ClientContext;
    ULONG Flags;
} WNODE_HEADER, *PWNODE_HEADER;
