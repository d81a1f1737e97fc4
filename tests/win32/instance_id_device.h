// A control device that stands where tabvolt's would and answers the instance-ID request with
// whatever text a test gives it, so that the application can be shown a reply the real driver
// never sends. In plain C++ types: the tests that use it include windows.h.
#pragma once

#include <string>

namespace win32test {

// Names it \Device\tabvolt (and \\.\tabvolt) on the current machine; every request of
// VEXA_IOCTL_GET_INSTANCE_ID gets `text` at bytes 12 on, cut to 512 bytes and with no
// terminator added, and the whole output buffer reported.
void InstallInstanceIdDevice(const std::string& text);

}  // namespace win32test
