// What KERNEL32's stand-in needs of the simulated PC, in plain C++ types: the Win32 calls
// see the machine only through here, and the status mapping, which needs wdm.h's statuses,
// never meets windows.h, which declares many of the same names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sim::win32 {

// The program's side of device I/O (sim::UserIo), by Win32-sized values.
int32_t OpenDevice(const std::string& path, uintptr_t* handle);
int32_t ControlDevice(uintptr_t handle, uint32_t code, const void* input, size_t input_length,
                      void* output, size_t output_length, size_t* information);
int32_t CloseDevice(uintptr_t handle);

// The Win32 error Windows reports for an NTSTATUS (RtlNtStatusToDosError).
uint32_t Win32ErrorFromStatus(int32_t status);

// The machine's Windows version (major, minor, build).
void WindowsVersion(uint32_t* major, uint32_t* minor, uint32_t* build);
// Whether an injected fault strikes this call; `fault` is its name ("heap-alloc").
bool FaultHits(std::string_view fault, const std::string& target = "");

// The machine registry the kernel side uses (sim::Registry), keys by full kernel name
// ("\Registry\Machine\..."); the data of string values is UTF-16, as the kernel keeps it.
struct RegistryData {
    uint32_t type = 0;
    std::vector<uint8_t> bytes;
};
bool RegistryKeyExists(const std::string& key);
bool ReadRegistryValue(const std::string& key, const std::string& name, RegistryData* value);
void WriteRegistryValue(const std::string& key, const std::string& name, RegistryData value);
// Whether the named registry fault strikes the key (its target is the key's canonical name).
bool RegistryFaultHits(std::string_view fault, const std::string& key);

// The devices the PnP manager has enumerated (each node of the USB tree that is connected and
// was not left alone by the hub above it), parents before children.
struct PnpDevice {
    std::string name;
    std::vector<std::string> hardware_ids;
    bool disabled = false;
};
std::vector<PnpDevice> EnumeratedDevices();
// Disables or enables one through the PnP manager; false when it is no longer enumerated.
bool SetDeviceEnabled(const std::string& name, bool enabled);

// Adds an event to the machine's log if anyone wants its category.
bool LogWants(std::string_view category);
void Log(std::string_view category, std::string text);
// Stops the run with a report, as a debugger breaking into a faulting program would.
[[noreturn]] void StopRun(const std::string& report);
// Lets the seed decide whether another runnable thread goes first.
void PreemptionPoint();

}  // namespace sim::win32
