// Injected faults, named and armed the same way by unit tests, scenarios and the soak test:
// "fail the next allocation with tag Tabv", "the container-ID property of T1 cannot be read".
#pragma once

#include <map>
#include <string>
#include <utility>

namespace sim {

enum class Fault {
    kPoolAllocation,     // target: the pool tag as four characters
    kDriverCreate,       // WdfDriverCreate
    kCollectionCreate,   // WdfCollectionCreate
    kWaitLockCreate,     // WdfWaitLockCreate
    kObjectCreate,       // WdfObjectCreate
    kCollectionAdd,      // WdfCollectionAdd
    kDeviceCreate,       // WdfDeviceCreate; target: device name, "control" for a control device
    kHardwareIdQuery,    // target: device name
    kCompatibleIdQuery,  // target: device name
    kContainerIdQuery,   // target: device name
    kUsbTargetCreate,    // WdfUsbTargetDeviceCreate; target: device name
    kIrpBuild,           // IoBuildDeviceIoControlRequest
    kControlInit,        // WdfControlDeviceInitAllocate
    kSymbolicLink,       // WdfDeviceCreateSymbolicLink
    kQueueCreate,        // WdfIoQueueCreate
    kAssignName,         // WdfDeviceInitAssignName
    kRequestInput,       // WdfRequestRetrieveInputBuffer
    kRequestOutput,      // WdfRequestRetrieveOutputBuffer
    kUsbString,          // WdfUsbTargetDeviceQueryString; target: device name
    kOpenKey,            // ZwOpenKey
    kQueryValue,         // ZwQueryValueKey; target: the value's name
    kDeviceKey,          // IoOpenDeviceRegistryKey; target: device name
    kReferenceByHandle,  // ObReferenceObjectByHandle
    kQueryName,          // ObQueryNameString
    kHeapAlloc,          // HeapAlloc and HeapReAlloc of programs
    kFileOpen,           // CreateFileA of a file; target: the path in lower case
    kCmdExe,             // ShellExecuteExA of cmd.exe
    kRegOpen,            // RegOpenKeyExA; target: the key's canonical name (Registry::Canonical)
    kRegWrite,           // RegSetValueExA; target: as for kRegOpen
    kSetupApi,           // a SetupDi call; target: the call's name
    kDialogCreate,       // CreateDialogParamA / DialogBoxParamA; target: the template's number
    kUsbCancel,          // a device ignores a cancel until its answer; target: device name
};
// The scenario parser walks the names up to this one.
constexpr Fault kLastFault = Fault::kUsbCancel;

const char* FaultName(Fault fault);

class Faults {
  public:
    static constexpr int kAlways = -1;
    // Fails `count` hits (kAlways: every hit) of `fault` on `target` ("" matches any target)
    // after letting `skip` matching hits pass.
    void Arm(Fault fault, const std::string& target = "", int count = 1, int skip = 0);
    void Disarm(Fault fault, const std::string& target = "");
    // Fails each hit with probability permille/1000, drawn from the run's seed.
    void SetRate(Fault fault, int permille);
    // Asked by the stand-in at each place where the fault can strike.
    bool Hit(Fault fault, const std::string& target = "");

  private:
    struct Arming {
        int count = 0;
        int skip = 0;
    };
    std::map<std::pair<Fault, std::string>, Arming> armed_;
    std::map<Fault, int> rates_;
};

}  // namespace sim
