// Stand-in for the framework's USB target header (KMDF 1.9), in terms of WDM and USB types.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Creates the framework USB target of a started device; fails (an injected fault) like a
// device whose configuration cannot be read.
NTSTATUS WdfUsbTargetDeviceCreate(WDFDEVICE Device, PWDF_OBJECT_ATTRIBUTES Attributes,
                                  WDFUSBDEVICE* UsbDevice);
// Copies the device descriptor that the framework read when it created the target.
VOID WdfUsbTargetDeviceGetDeviceDescriptor(WDFUSBDEVICE UsbDevice,
                                           PUSB_DEVICE_DESCRIPTOR UsbDeviceDescriptor);
// Reads a string descriptor and delivers its characters without the descriptor header.
// *NumCharacters is the capacity in characters on entry and the length on return;
// STATUS_BUFFER_OVERFLOW when the string is longer than the capacity.
NTSTATUS WdfUsbTargetDeviceQueryString(WDFUSBDEVICE UsbDevice, WDFREQUEST Request,
                                       PVOID RequestOptions, PUSHORT String, PUSHORT NumCharacters,
                                       UCHAR StringIndex, USHORT LangID);

#ifdef __cplusplus
}
#endif
