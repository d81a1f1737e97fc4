// The object manager's device names and symbolic links.
#include <string_view>

#include "kernel/kernel.h"
#include "sched/race.h"

namespace sim {

// "\\.\X" and "\??\X" are the same directory as "\DosDevices\X". Built in one string, as
// every open resolves a name; case folds as in the C locale.
std::string ObjectNamespace::Canonical(const std::string& path) {
    std::string_view rest = path;
    std::string canonical;
    canonical.reserve(path.size() + 12);
    for (std::string_view alias : {"\\\\.\\", "\\??\\"}) {
        if (rest.starts_with(alias)) {
            rest.remove_prefix(alias.size());
            canonical = "\\DOSDEVICES\\";
            break;
        }
    }
    for (char c : rest) {
        canonical += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return canonical;
}

bool ObjectNamespace::InsertDevice(const std::string& name, void* device) {
    if (Exists(name)) {
        return false;
    }
    devices_[Canonical(name)] = device;
    Changed();
    // The object manager's lock: what the driver did before naming its device happens
    // before any open of the name.
    race::Release(this);
    return true;
}

void ObjectNamespace::RemoveDevice(const std::string& name) {
    devices_.erase(Canonical(name));
    Changed();
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
    Changed();
    race::Release(this);
    return true;
}

void ObjectNamespace::RemoveLink(const std::string& link) {
    links_.erase(Canonical(link));
    Changed();
}

void* ObjectNamespace::Resolve(const std::string& path) const {
    race::Acquire(this);
    if (!path.empty() && path == last_path_) {
        return last_device_;
    }
    std::string key = Canonical(path);
    auto link = links_.find(key);
    auto device = devices_.find(link != links_.end() ? link->second : key);
    last_path_ = path;
    last_device_ = device == devices_.end() ? nullptr : device->second;
    return last_device_;
}

}  // namespace sim
