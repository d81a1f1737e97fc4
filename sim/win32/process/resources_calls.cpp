// KERNEL32's resource calls over the module's compiled resources. A resource is found in the
// first language the file lists it in (the user's language preference is not modelled).
// Resource memory is the module's own, read-only by contract and never freed.
#include <windows.h>

#include <cstdlib>

#include "win32/process/resource_ids.h"

namespace sim::win32 {

ResourceId ResourceIdFromArgument(LPCSTR argument) {
    ResourceId id;
    if (IS_INTRESOURCE(argument)) {
        id.ordinal = static_cast<uint16_t>(reinterpret_cast<ULONG_PTR>(argument));
        return id;
    }
    if (argument[0] == '#') {
        id.ordinal = static_cast<uint16_t>(strtoul(argument + 1, nullptr, 10));
        return id;
    }
    for (const char* c = argument; *c != '\0'; ++c) {
        id.name.push_back(*c >= 'a' && *c <= 'z' ? static_cast<char>(*c - 'a' + 'A') : *c);
    }
    return id;
}

std::string ResourceIdText(const ResourceId& id) {
    return id.ordinal != 0 ? std::to_string(id.ordinal) : id.name;
}

Process* ProcessOfModule(HMODULE module) {
    return module == NULL ? &CurrentProcess()
                          : ProcessOfInstance(reinterpret_cast<uintptr_t>(module));
}

}  // namespace sim::win32

using sim::win32::ResourceEntry;

// Finds a resource by name and type; the errors say whether the module has no resources,
// none of the type, or none of the name.
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    sim::win32::Process* process = sim::win32::ProcessOfModule(hModule);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    const sim::win32::Resources& resources = process->resources;
    sim::win32::ResourceId type = sim::win32::ResourceIdFromArgument(lpType);
    if (resources.empty()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return NULL;
    }
    if (!resources.HasType(type)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return NULL;
    }
    const ResourceEntry* entry = resources.Find(type, sim::win32::ResourceIdFromArgument(lpName));
    if (entry == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return NULL;
    }
    return reinterpret_cast<HRSRC>(const_cast<ResourceEntry*>(entry));
}

// The resource's data, which stays where it is for the module's life.
HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
    if (hResInfo == NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    return reinterpret_cast<ResourceEntry*>(hResInfo)->data.data();
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
    if (hResInfo == NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return static_cast<DWORD>(reinterpret_cast<ResourceEntry*>(hResInfo)->data.size());
}
