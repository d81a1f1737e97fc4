// LoadStringA and LoadIconA: USER32's readers of a module's string tables and icon groups,
// kept beside the resources they read.
#include <windows.h>

#include <map>

#include "pc/machine.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/icon_handles.h"
#include "win32/process/resource_ids.h"

namespace {

constexpr uint16_t kIconType = 3;
constexpr uint16_t kGroupIconType = 14;
constexpr uint16_t kFirstSystemIcon = 32512;  // IDI_APPLICATION
constexpr uint16_t kLastSystemIcon = 32518;   // IDI_SHIELD

// Every HICON handed out on the machine and the resource it stands for.
struct IconHandles {
    std::map<uintptr_t, std::string> names;
    std::map<std::string, uintptr_t> system;
    uintptr_t next = 0x00010020;

    uintptr_t Make(const std::string& name) {
        uintptr_t handle = next;
        next += 0x10;
        names[handle] = name;
        return handle;
    }
};

IconHandles& Icons() {
    return sim::Machine::Current().Extension<IconHandles>();
}

// An icon group is usable if it lists at least one icon the module has.
bool GroupHasIcon(const sim::win32::Resources& resources, const sim::win32::ResourceEntry& group) {
    const std::vector<uint8_t>& data = group.data;
    // GRPICONDIR: reserved, type, count; then 14-byte entries ending in the icon's ordinal.
    if (data.size() < 6) {
        return false;
    }
    size_t count = data[4] | (data[5] << 8);
    for (size_t i = 0; i < count && 6 + (i + 1) * 14 <= data.size(); ++i) {
        size_t at = 6 + i * 14 + 12;
        uint16_t ordinal = static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
        if (resources.Find({kIconType, ""}, {ordinal, ""}) != nullptr) {
            return true;
        }
    }
    return false;
}

}  // namespace

namespace sim::win32 {

std::string IconResourceId(const void* icon) {
    IconHandles& icons = Icons();
    auto found = icons.names.find(reinterpret_cast<uintptr_t>(icon));
    return found == icons.names.end() ? "" : found->second;
}

}  // namespace sim::win32

// Copies string uID, cut to cchBufferMax - 1 characters and terminated, and returns the
// characters copied; 0 (an empty buffer) for a string the table lacks. A zero cchBufferMax
// is the ANSI call's documented memory corruption: the run stops.
int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer, int cchBufferMax) {
    if (cchBufferMax == 0) {
        sim::win32::StopRun("LoadStringA with cchBufferMax 0 corrupts the caller's memory");
    }
    sim::win32::Process* process = sim::win32::ProcessOfModule(hInstance);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::optional<std::string> text = process->resources.String(uID);
    if (!text) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        if (cchBufferMax > 0) {
            lpBuffer[0] = '\0';
        }
        return 0;
    }
    int length = std::min(static_cast<int>(text->size()), cchBufferMax - 1);
    memcpy(lpBuffer, text->data(), static_cast<size_t>(length));
    lpBuffer[length] = '\0';
    return length;
}

// The module's icon group as an icon; loading it again returns the same handle, which is
// never destroyed (shared icons). A NULL instance loads the system's IDI_ icons. Choosing
// the size and colour depth from the group is not modelled.
HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    sim::win32::ResourceId id = sim::win32::ResourceIdFromArgument(lpIconName);
    std::string name = sim::win32::ResourceIdText(id);
    IconHandles& icons = Icons();
    if (hInstance == NULL) {
        if (id.ordinal < kFirstSystemIcon || id.ordinal > kLastSystemIcon) {
            SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
            return NULL;
        }
        auto [entry, made] = icons.system.try_emplace(name, 0);
        if (made) {
            entry->second = icons.Make(name);
        }
        return reinterpret_cast<HICON>(entry->second);
    }
    sim::win32::Process* process = sim::win32::ProcessOfModule(hInstance);
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return NULL;
    }
    if (auto loaded = process->icons.find(name); loaded != process->icons.end()) {
        return reinterpret_cast<HICON>(loaded->second);
    }
    const sim::win32::ResourceEntry* group = process->resources.Find({kGroupIconType, ""}, id);
    if (group == nullptr || !GroupHasIcon(process->resources, *group)) {
        SetLastError(group == nullptr ? ERROR_RESOURCE_NAME_NOT_FOUND
                                      : ERROR_RESOURCE_DATA_NOT_FOUND);
        return NULL;
    }
    uintptr_t handle = icons.Make(name);
    process->icons[name] = handle;
    return reinterpret_cast<HICON>(handle);
}
