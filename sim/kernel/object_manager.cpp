// Device registry keys and object names: IoOpenDeviceRegistryKey, ObReferenceObjectByHandle,
// ObQueryNameString, ObDereferenceObject.
#include <ntddk.h>

#include "kernel/wide_text.h"
#include "pc/machine.h"

using sim::Machine;

extern "C" {
NTSTATUS ObQueryNameString(PVOID Object, POBJECT_NAME_INFORMATION ObjectNameInfo, ULONG Length,
                           PULONG ReturnLength);

// Only PDOs have device keys; the key is created on first use, as Windows does. The
// "device-key" fault (target: the device's name) stands for exhausted resources.
NTSTATUS IoOpenDeviceRegistryKey(PDEVICE_OBJECT DeviceObject, ULONG DevInstKeyType,
                                 ACCESS_MASK DesiredAccess, PHANDLE DevInstRegKey) {
    UNREFERENCED_PARAMETER(DesiredAccess);
    SimCheckPagedCode("IoOpenDeviceRegistryKey");
    sim::Kernel& kernel = Machine::Current().kernel;
    if (Machine::Current().faults.Hit(sim::Fault::kDeviceKey, kernel.DeviceNameOf(DeviceObject))) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto found = kernel.device_keys.find(DeviceObject);
    if (found == kernel.device_keys.end() || DevInstKeyType != PLUGPLAY_REGKEY_DEVICE) {
        return STATUS_INVALID_PARAMETER;
    }
    kernel.registry.CreateKey(found->second);
    *DevInstRegKey = kernel.handles.Open("key:" + found->second);
    return STATUS_SUCCESS;
}

// Key objects live while referenced; each reference must be dropped. The "ob-reference"
// fault stands for a handle that no longer grants the access asked for.
NTSTATUS ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                   POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                   PVOID* Object, POBJECT_HANDLE_INFORMATION HandleInformation) {
    UNREFERENCED_PARAMETER(DesiredAccess);
    UNREFERENCED_PARAMETER(ObjectType);
    UNREFERENCED_PARAMETER(AccessMode);
    UNREFERENCED_PARAMETER(HandleInformation);
    sim::Kernel& kernel = Machine::Current().kernel;
    if (Machine::Current().faults.Hit(sim::Fault::kReferenceByHandle)) {
        return STATUS_ACCESS_DENIED;
    }
    const std::string* object = kernel.handles.Lookup(Handle);
    if (object == nullptr) {
        return STATUS_INVALID_PARAMETER;
    }
    auto name = std::make_unique<std::string>(object->substr(4));
    *Object = name.get();
    kernel.referenced_keys[name.get()] = std::move(name);
    return STATUS_SUCCESS;
}

LONG_PTR ObfDereferenceObject(PVOID Object) {
    sim::Kernel& kernel = Machine::Current().kernel;
    if (kernel.referenced_keys.erase(Object) == 0) {
        Machine::Current().BugCheck("REFERENCE_BY_POINTER: dereferencing an object not referenced");
    }
    return 0;
}

// The name follows the OBJECT_NAME_INFORMATION in the caller's buffer, terminated. The
// "query-name" fault stands for exhausted resources.
NTSTATUS ObQueryNameString(PVOID Object, POBJECT_NAME_INFORMATION ObjectNameInfo, ULONG Length,
                           PULONG ReturnLength) {
    sim::Kernel& kernel = Machine::Current().kernel;
    if (Machine::Current().faults.Hit(sim::Fault::kQueryName)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto found = kernel.referenced_keys.find(Object);
    if (found == kernel.referenced_keys.end()) {
        return STATUS_INVALID_PARAMETER;
    }
    std::vector<uint8_t> name = sim::Utf16Bytes(*found->second, true);
    ULONG needed = static_cast<ULONG>(sizeof(OBJECT_NAME_INFORMATION) + name.size());
    *ReturnLength = needed;
    if (Length < needed) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    auto* text = reinterpret_cast<PWSTR>(ObjectNameInfo + 1);
    memcpy(text, name.data(), name.size());
    ObjectNameInfo->Name.Buffer = text;
    ObjectNameInfo->Name.Length = static_cast<USHORT>(name.size() - sizeof(WCHAR));
    ObjectNameInfo->Name.MaximumLength = static_cast<USHORT>(name.size());
    return STATUS_SUCCESS;
}

}  // extern "C"
