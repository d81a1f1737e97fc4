#include "win32/kernel32/kernel_objects.h"

#include <algorithm>

#include "sched/scheduler.h"
#include "win32/process/process.h"

namespace sim::win32 {
namespace {

// Each process has its own handles; a handle means nothing in another process.
HandleTable& Table() {
    return CurrentProcess().handles;
}

}  // namespace

void Waitable::SetSignaled() {
    signaled_ = true;
    Scheduler& scheduler = CurrentScheduler();
    scheduler.Signal(this, true);
    for (const void* key : wake_keys_) {
        scheduler.Signal(key, true);
    }
}

void Waitable::AddWakeKey(const void* key) {
    wake_keys_.push_back(key);
}

void Waitable::RemoveWakeKey(const void* key) {
    auto found = std::find(wake_keys_.begin(), wake_keys_.end(), key);
    if (found != wake_keys_.end()) {
        wake_keys_.erase(found);
    }
}

uintptr_t InsertObjectHandle(std::shared_ptr<KernelObject> object) {
    HandleTable& table = Table();
    uintptr_t handle = table.next;
    table.next += 4;
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> ObjectFromHandle(uintptr_t handle) {
    HandleTable& table = Table();
    auto found = table.objects.find(handle);
    return found == table.objects.end() ? nullptr : found->second;
}

bool CloseObjectHandle(uintptr_t handle) {
    return Table().objects.erase(handle) != 0;
}

size_t OpenObjectHandles() {
    return Table().objects.size();
}

}  // namespace sim::win32
