// MsgWaitForMultipleObjects(Ex): a wait for kernel objects that also ends when input of the
// wake mask arrives.
#include <windows.h>

#include <string>
#include <memory>
#include <vector>

#include "win32/kernel32/kernel_objects.h"
#include "win32/user32/message_queue.h"

namespace {

using namespace sim::win32::user32;

constexpr DWORD kMaximumObjects = 63;

// The objects wake the queue's key for as long as the wait lasts.
class WakeRegistration {
  public:
    WakeRegistration(std::vector<std::shared_ptr<sim::win32::Waitable>> objects, const void* key)
        : objects_(std::move(objects)), key_(key) {
        for (const auto& object : objects_) {
            object->AddWakeKey(key_);
        }
    }
    ~WakeRegistration() {
        for (const auto& object : objects_) {
            object->RemoveWakeKey(key_);
        }
    }
    WakeRegistration(const WakeRegistration&) = delete;
    WakeRegistration& operator=(const WakeRegistration&) = delete;

  private:
    std::vector<std::shared_ptr<sim::win32::Waitable>> objects_;
    const void* key_;
};

std::optional<sim::Ticks> Earliest(std::optional<sim::Ticks> a, std::optional<sim::Ticks> b) {
    if (!a) {
        return b;
    }
    return b && *b < *a ? b : a;
}

}  // namespace

// Returns WAIT_OBJECT_0 + i for the first signaled object (with MWMO_WAITALL: WAIT_OBJECT_0
// once all are signaled and input has come), WAIT_OBJECT_0 + nCount when input of the mask
// has arrived since the thread last looked at its queue (with MWMO_INPUTAVAILABLE: when any
// waits), WAIT_TIMEOUT on the virtual clock's deadline. It runs no sent message itself: it
// returns, and the caller's PeekMessageA runs them. A handle that is not a waitable object
// fails with WAIT_FAILED and ERROR_INVALID_HANDLE; so does a thread being terminated.
// Alertable waits (MWMO_ALERTABLE) are accepted and never see an APC.
DWORD WINAPI MsgWaitForMultipleObjectsEx(DWORD nCount, const HANDLE* pHandles, DWORD dwMilliseconds,
                                         DWORD dwWakeMask, DWORD dwFlags) {
    if (nCount > kMaximumObjects) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<sim::win32::Waitable>> objects;
    for (DWORD i = 0; i < nCount; i++) {
        auto object = std::dynamic_pointer_cast<sim::win32::Waitable>(
            sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(pHandles[i])));
        if (object == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    ThreadQueue& queue = CurrentQueue();
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    std::optional<sim::Ticks> deadline;
    if (dwMilliseconds != INFINITE) {
        deadline = scheduler.Now() + static_cast<sim::Ticks>(dwMilliseconds) * sim::kTicksPerMs;
    }
    // Only a wait for one object's thread, which no input can end, is that thread's to end.
    const sim::SimThread* waits_for = objects.size() == 1 && (dwWakeMask & ~QS_SENDMESSAGE) == 0
                                          ? objects[0]->SignaledBy()
                                          : nullptr;
    std::string what = "MsgWaitForMultipleObjects (";
    for (size_t i = 0; i < objects.size(); i++) {
        what += (i == 0 ? "" : ", ") + objects[i]->Describe();
    }
    what += ")";
    WakeRegistration registration(objects, queue.WakeKey());
    const bool wait_all = (dwFlags & MWMO_WAITALL) != 0;
    for (;;) {
        std::optional<sim::Ticks> next_timer = UpdateTimers(queue);
        bool input = (dwFlags & MWMO_INPUTAVAILABLE) != 0 ? HasInput(queue, dwWakeMask)
                                                          : (queue.changed & dwWakeMask) != 0;
        size_t signaled = 0;
        for (size_t i = 0; i < objects.size(); i++) {
            if (!objects[i]->signaled()) {
                continue;
            }
            if (!wait_all) {
                return WAIT_OBJECT_0 + static_cast<DWORD>(i);
            }
            signaled++;
        }
        if (wait_all && signaled == objects.size() && input) {
            return WAIT_OBJECT_0;
        }
        if (!wait_all && input) {
            return WAIT_OBJECT_0 + nCount;
        }
        if (deadline && scheduler.Now() >= *deadline) {
            return WAIT_TIMEOUT;
        }
        if (scheduler.Unwinding()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        std::optional<sim::Ticks> wake_at =
            (dwWakeMask & QS_TIMER) != 0 ? Earliest(deadline, next_timer) : deadline;
        scheduler.Block(queue.WakeKey(), wake_at, what, wake_at ? nullptr : waits_for);
    }
}

// The Ex form's wait with fWaitAll as MWMO_WAITALL.
DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                       DWORD dwMilliseconds, DWORD dwWakeMask) {
    return MsgWaitForMultipleObjectsEx(nCount, pHandles, dwMilliseconds, dwWakeMask,
                                       fWaitAll ? MWMO_WAITALL : 0);
}
