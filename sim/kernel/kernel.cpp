#include "kernel/kernel.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pc/machine.h"

namespace sim {

Kernel::Kernel()
    : exports{"WmiTraceMessage", "WmiQueryTraceInformation", "EtwRegisterClassicProvider",
              "EtwUnregister", "PsGetVersion"} {}

Kernel::~Kernel() {
    for (_IRP* irp : live_irps.slots()) {
        delete[] reinterpret_cast<char*>(irp);
    }
}

std::string Kernel::NameOf(const void* object) const {
    if (object == nullptr) {
        return "NULL";
    }
    auto found = object_names.find(object);
    return found == object_names.end() ? "ptr" : found->second;
}

std::string Kernel::DeviceNameOf(const void* device_object) const {
    std::string name = NameOf(device_object);
    return name.substr(0, name.rfind('.'));
}

std::string Registry::Canonical(const std::string& name) {
    std::string canonical = name;
    for (char& c : canonical) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    // CurrentControlSet is a link to the active control set.
    constexpr std::string_view kLink = "\\REGISTRY\\MACHINE\\SYSTEM\\CURRENTCONTROLSET\\";
    if (canonical.starts_with(kLink)) {
        canonical.replace(0, kLink.size(), "\\REGISTRY\\MACHINE\\SYSTEM\\CONTROLSET001\\");
    }
    return canonical;
}

void Registry::CreateKey(const std::string& key) {
    keys_[Canonical(key)];
}

void Registry::SetValue(const std::string& key, const std::string& name, uint32_t type,
                        std::vector<uint8_t> data) {
    keys_[Canonical(key)][Canonical(name)] = Value{type, std::move(data), name};
}

// A key exists once it or a key below it has been made, as every key has its parents.
bool Registry::KeyExists(const std::string& key) const {
    std::string canonical = Canonical(key);
    if (keys_.count(canonical) != 0) {
        return true;
    }
    std::string below = canonical + "\\";
    auto next = keys_.lower_bound(below);
    return next != keys_.end() && next->first.compare(0, below.size(), below) == 0;
}

const Registry::Value* Registry::Find(const std::string& key, const std::string& name) const {
    auto found_key = keys_.find(Canonical(key));
    if (found_key == keys_.end()) {
        return nullptr;
    }
    auto found = found_key->second.find(Canonical(name));
    return found == found_key->second.end() ? nullptr : &found->second;
}

const std::map<std::string, Registry::Value>* Registry::Values(const std::string& key) const {
    static const std::map<std::string, Value> kNone;
    auto found = keys_.find(Canonical(key));
    if (found != keys_.end()) {
        return &found->second;
    }
    return KeyExists(key) ? &kNone : nullptr;
}

void* Handles::Open(std::string object) {
    uintptr_t handle = next_;
    next_ += 4;
    open_[handle] = std::move(object);
    return reinterpret_cast<void*>(handle);
}

bool Handles::Close(void* handle) {
    return open_.erase(reinterpret_cast<uintptr_t>(handle)) != 0;
}

const std::string* Handles::Lookup(void* handle) const {
    auto found = open_.find(reinterpret_cast<uintptr_t>(handle));
    return found == open_.end() ? nullptr : &found->second;
}

}  // namespace sim
