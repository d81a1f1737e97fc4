// Kernel objects a program holds by handle (threads, processes, files) and the handle table
// that maps its handles to them. A handle keeps its object alive until CloseHandle; the
// object may outlive the handle where something else still holds it (a running thread).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {
class SimThread;
}

namespace sim::win32 {

class KernelObject {
  public:
    virtual ~KernelObject() = default;
    // How the deadlock report and the end-of-run listing name the object.
    virtual std::string Describe() const = 0;
};

// An object a thread can wait for: it becomes signaled once, for good (a thread or process
// that has ended), and wakes every thread that waits for it.
class Waitable : public KernelObject {
  public:
    bool signaled() const { return signaled_; }
    // The thread whose progress alone signals the object, for the deadlock report's chain of
    // waits; null if no single thread does.
    virtual const SimThread* SignaledBy() const { return nullptr; }
    // Wakes the threads blocked on this object and those blocked on a registered key.
    void SetSignaled();
    // A wait for several objects (MsgWaitForMultipleObjects) blocks on a key of its own and
    // registers it with each object for the time of the wait.
    void AddWakeKey(const void* key);
    void RemoveWakeKey(const void* key);

  private:
    bool signaled_ = false;
    std::vector<const void*> wake_keys_;
};

// Handles of the calling thread's process. Their values never collide with the device
// channel's handles.
uintptr_t InsertObjectHandle(std::shared_ptr<KernelObject> object);
// The object behind a handle, or null if the handle is not an open object handle.
std::shared_ptr<KernelObject> ObjectFromHandle(uintptr_t handle);
// Forgets the handle; false if it was not an open object handle.
bool CloseObjectHandle(uintptr_t handle);
// Open object handles of the calling thread's process, for the end-of-run listing.
size_t OpenObjectHandles();

}  // namespace sim::win32
