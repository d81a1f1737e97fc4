// Registry calls of the kernel: ZwOpenKey, ZwQueryValueKey (full information), ZwClose.
#include <ntddk.h>

#include "kernel/wide_text.h"
#include "pc/machine.h"

using sim::Machine;

namespace {

// Registry calls run at PASSIVE_LEVEL and are preemption points.
void RequirePassive(const char* routine) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL) {
        Machine::Current().BugCheck(std::string("IRQL_NOT_LESS_OR_EQUAL: ") + routine +
                                    " above PASSIVE_LEVEL");
    }
    Machine::Current().PreemptionPoint();
}

}  // namespace

extern "C" {

// Opens by absolute name only (no root directory); access rights are not checked. The
// "open-key" fault stands for exhausted resources.
NTSTATUS ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                   POBJECT_ATTRIBUTES ObjectAttributes) {
    UNREFERENCED_PARAMETER(DesiredAccess);
    RequirePassive("ZwOpenKey");
    auto& kernel = Machine::Current().kernel;
    if (Machine::Current().faults.Hit(sim::Fault::kOpenKey)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (ObjectAttributes == NULL || ObjectAttributes->ObjectName == NULL ||
        ObjectAttributes->RootDirectory != NULL) {
        return STATUS_INVALID_PARAMETER;
    }
    std::string name = sim::Narrow(ObjectAttributes->ObjectName);
    if (!kernel.registry.KeyExists(name)) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    *KeyHandle = kernel.handles.Open("key:" + name);
    return STATUS_SUCCESS;
}

// The data follows the name at a 4-byte aligned DataOffset. A buffer too short for the fixed
// part gives STATUS_BUFFER_TOO_SMALL; one that holds the fixed part but not all of the rest
// gives STATUS_BUFFER_OVERFLOW with the fixed part filled. Both report the size needed. The
// "query-value" fault (target: the value's name) stands for exhausted resources.
NTSTATUS ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                         KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                         PVOID KeyValueInformation, ULONG Length, PULONG ResultLength) {
    RequirePassive("ZwQueryValueKey");
    auto& kernel = Machine::Current().kernel;
    const std::string* object = kernel.handles.Lookup(KeyHandle);
    if (object == nullptr || object->rfind("key:", 0) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    if (KeyValueInformationClass != KeyValueFullInformation) {
        return STATUS_NOT_IMPLEMENTED;
    }
    std::string key = object->substr(4);
    std::string name = sim::Narrow(ValueName);
    if (Machine::Current().faults.Hit(sim::Fault::kQueryValue, name)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (kernel.registry.on_query) {
        kernel.registry.on_query(key, name);
    }
    const sim::Registry::Value* value = kernel.registry.Find(key, name);
    if (value == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    const ULONG fixed = FIELD_OFFSET(KEY_VALUE_FULL_INFORMATION, Name);
    const ULONG name_bytes = static_cast<ULONG>(ValueName->Length);
    const ULONG data_offset = (fixed + name_bytes + 3) & ~3u;
    const ULONG total = data_offset + static_cast<ULONG>(value->data.size());
    *ResultLength = total;
    if (Length < fixed) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* info = static_cast<PKEY_VALUE_FULL_INFORMATION>(KeyValueInformation);
    info->TitleIndex = 0;
    info->Type = value->type;
    info->DataOffset = data_offset;
    info->DataLength = static_cast<ULONG>(value->data.size());
    info->NameLength = name_bytes;
    if (Length < total) {
        return STATUS_BUFFER_OVERFLOW;
    }
    memcpy(info->Name, ValueName->Buffer, name_bytes);
    // An empty value has no data buffer to copy from.
    if (!value->data.empty()) {
        memcpy(static_cast<UCHAR*>(KeyValueInformation) + data_offset, value->data.data(),
               value->data.size());
    }
    return STATUS_SUCCESS;
}

// Closing a handle that is not open is a bug check, as with handle verification on.
NTSTATUS ZwClose(HANDLE Handle) {
    if (!Machine::Current().kernel.handles.Close(Handle)) {
        Machine::Current().BugCheck("INVALID_KERNEL_HANDLE: ZwClose of a handle that is not open");
    }
    return STATUS_SUCCESS;
}

}  // extern "C"
