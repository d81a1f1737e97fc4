#include "win32/kernel32/machine_link.h"

#include "pc/machine.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace sim::win32 {
namespace {

// A call into the kernel on behalf of the calling thread: a termination that arrives
// meanwhile waits until the kernel has finished with the request.
template <class Call>
auto SystemCall(Call call) {
    Scheduler& scheduler = Machine::Current().scheduler;
    scheduler.EnterKernel();
    auto result = call();
    scheduler.LeaveKernel();
    return result;
}

}  // namespace

int32_t OpenDevice(const std::string& path, uintptr_t* handle) {
    return SystemCall([&] { return Machine::Current().user_io.Open(path, handle); });
}

int32_t ControlDevice(uintptr_t handle, uint32_t code, const void* input, size_t input_length,
                      void* output, size_t output_length, size_t* information) {
    IoResult result = SystemCall([&] {
        return Machine::Current().user_io.DeviceControl(handle, code, input, input_length, output,
                                                        output_length);
    });
    *information = result.information;
    return result.status;
}

int32_t CloseDevice(uintptr_t handle) {
    return SystemCall([&] { return Machine::Current().user_io.Close(handle); });
}

void WindowsVersion(uint32_t* major, uint32_t* minor, uint32_t* build) {
    const sim::WindowsVersion& version = Machine::Current().kernel.version;
    *major = version.major;
    *minor = version.minor;
    *build = version.build;
}

bool FaultHits(std::string_view fault, const std::string& target) {
    for (int i = 0; i <= static_cast<int>(kLastFault); ++i) {
        if (fault == FaultName(static_cast<Fault>(i))) {
            return Machine::Current().faults.Hit(static_cast<Fault>(i), target);
        }
    }
    return false;
}

bool RegistryKeyExists(const std::string& key) {
    return Machine::Current().kernel.registry.KeyExists(key);
}

bool ReadRegistryValue(const std::string& key, const std::string& name, RegistryData* value) {
    const Registry::Value* found = Machine::Current().kernel.registry.Find(key, name);
    if (found == nullptr) {
        return false;
    }
    value->type = found->type;
    value->bytes = found->data;
    return true;
}

void WriteRegistryValue(const std::string& key, const std::string& name, RegistryData value) {
    Machine::Current().kernel.registry.SetValue(key, name, value.type, std::move(value.bytes));
}

bool RegistryFaultHits(std::string_view fault, const std::string& key) {
    return FaultHits(fault, Registry::Canonical(key));
}

namespace {

// Enumerated: connected, and given a stack or kept from one only by being disabled.
bool Enumerated(const UsbNode& node) {
    return node.connected && (node.stack != nullptr || node.disabled);
}

}  // namespace

std::vector<PnpDevice> EnumeratedDevices() {
    std::vector<PnpDevice> devices;
    for (const UsbNode* node : Machine::Current().usb->ConnectedNodes()) {
        if (Enumerated(*node)) {
            devices.push_back(PnpDevice{node->name, node->hardware_ids, node->disabled});
        }
    }
    return devices;
}

bool SetDeviceEnabled(const std::string& name, bool enabled) {
    Machine& machine = Machine::Current();
    UsbNode* node = machine.usb->Find(name);
    if (node == nullptr || !Enumerated(*node)) {
        return false;
    }
    if (enabled) {
        machine.pnp->Enable(node);
    } else {
        machine.pnp->Disable(node);
    }
    return true;
}

bool LogWants(std::string_view category) {
    return Machine::Current().log.Wants(category);
}

void Log(std::string_view category, std::string text) {
    Machine::Current().Log(category, std::move(text));
}

void StopRun(const std::string& report) {
    Machine::Current().BugCheck(report);
}

void PreemptionPoint() {
    Machine::Current().PreemptionPoint();
}

}  // namespace sim::win32
