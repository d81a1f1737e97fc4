// tabvolt's KMDF 1.9 USB target header for the Windows image: the project's declarations
// (the next wdfusb.h on the include path) as calls through the framework's function table
// (see wdf.h), with the 1.9 layouts of the structures the driver passes.
#pragma once

#include_next <wdfusb.h>

// The setup packet is the eight bytes of the USB standard; the other two have sizes from the
// public symbols of Wdf01000.sys (_WDF_MEMORY_DESCRIPTOR_V1_9, _WDF_REQUEST_SEND_OPTIONS_V1_9).
WDF_CHECK_SIZE(WDF_USB_CONTROL_SETUP_PACKET, 8);
WDF_CHECK_OFFSET(WDF_USB_CONTROL_SETUP_PACKET, Packet.wValue, 2);
WDF_CHECK_OFFSET(WDF_USB_CONTROL_SETUP_PACKET, Packet.wLength, 6);

WDF_CHECK_SIZE(WDF_MEMORY_DESCRIPTOR, 0x18);
WDF_CHECK_OFFSET(WDF_MEMORY_DESCRIPTOR, u.BufferType.Buffer, 0x08);
WDF_CHECK_OFFSET(WDF_MEMORY_DESCRIPTOR, u.BufferType.Length, 0x10);

WDF_CHECK_SIZE(WDF_REQUEST_SEND_OPTIONS, 0x10);
WDF_CHECK_OFFSET(WDF_REQUEST_SEND_OPTIONS, Flags, 0x04);
WDF_CHECK_OFFSET(WDF_REQUEST_SEND_OPTIONS, Timeout, 0x08);
