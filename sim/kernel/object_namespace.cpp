// The object manager's device names and symbolic links.
#include <cctype>
#include <string_view>

#include "kernel/kernel.h"
#include "sched/race.h"

namespace sim {

// "\\.\X" and "\??\X" are the same directory as "\DosDevices\X".
std::string ObjectNamespace::Canonical(const std::string& path) {
    std::string canonical = path;
    for (char& c : canonical) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (std::string_view alias : {"\\\\.\\", "\\??\\"}) {
        if (canonical.starts_with(alias)) {
            return canonical.replace(0, alias.size(), "\\DOSDEVICES\\");
        }
    }
    return canonical;
}

bool ObjectNamespace::InsertDevice(const std::string& name, void* device) {
    if (Exists(name)) {
        return false;
    }
    devices_[Canonical(name)] = device;
    // The object manager's lock: what the driver did before naming its device happens
    // before any open of the name.
    race::Release(this);
    return true;
}

void ObjectNamespace::RemoveDevice(const std::string& name) {
    devices_.erase(Canonical(name));
}

bool ObjectNamespace::Exists(const std::string& name) const {
    std::string key = Canonical(name);
    return devices_.count(key) != 0 || links_.count(key) != 0;
}

bool ObjectNamespace::InsertLink(const std::string& link, const std::string& target) {
    if (Exists(link)) {
        return false;
    }
    links_[Canonical(link)] = Canonical(target);
    race::Release(this);
    return true;
}

void ObjectNamespace::RemoveLink(const std::string& link) {
    links_.erase(Canonical(link));
}

void* ObjectNamespace::Resolve(const std::string& path) const {
    race::Acquire(this);
    std::string key = Canonical(path);
    auto link = links_.find(key);
    if (link != links_.end()) {
        key = link->second;
    }
    auto device = devices_.find(key);
    return device == devices_.end() ? nullptr : device->second;
}

}  // namespace sim
