// Framework collections and wait locks.
#include "kmdf/kmdf.h"
#include "pc/machine.h"

using sim::CurrentKmdf;
using sim::Machine;
using sim::WdfType;

namespace {

template <typename T>
NTSTATUS CreateChild(T* object, WdfType type, PWDF_OBJECT_ATTRIBUTES attributes,
                     WDFOBJECT* handle) {
    sim::Kmdf& kmdf = CurrentKmdf();
    object->type = type;
    NTSTATUS status = kmdf.Adopt(object, attributes, kmdf.driver);
    if (NT_SUCCESS(status)) {
        *handle = sim::HandleOf(object);
    }
    return status;
}

}  // namespace

extern "C" {

NTSTATUS WdfCollectionCreate(PWDF_OBJECT_ATTRIBUTES CollectionAttributes,
                             WDFCOLLECTION* Collection) {
    if (Machine::Current().faults.Hit(sim::Fault::kCollectionCreate)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return CreateChild(new sim::WdfCollection(), WdfType::kCollection, CollectionAttributes,
                       reinterpret_cast<WDFOBJECT*>(Collection));
}

// Each collection call is a preemption point: a walk that does not hold the lock that
// guards its collection can see the collection change between two calls. The calls read and
// write the items as the program's own memory, so that the race detector judges them.
ULONG WdfCollectionGetCount(WDFCOLLECTION Collection) {
    Machine::Current().PreemptionPoint();
    auto* collection = CurrentKmdf().LookupAs<sim::WdfCollection>(Collection, WdfType::kCollection,
                                                                  "WdfCollectionGetCount");
    sim::race::Read(&collection->items, sizeof collection->items);
    return static_cast<ULONG>(collection->items.size());
}

NTSTATUS WdfCollectionAdd(WDFCOLLECTION Collection, WDFOBJECT Object) {
    Machine::Current().PreemptionPoint();
    sim::Kmdf& kmdf = CurrentKmdf();
    auto* collection =
        kmdf.LookupAs<sim::WdfCollection>(Collection, WdfType::kCollection, "WdfCollectionAdd");
    sim::WdfObject* item = kmdf.Lookup(Object, "WdfCollectionAdd");
    if (Machine::Current().faults.Hit(sim::Fault::kCollectionAdd)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ++item->references;
    sim::race::Write(&collection->items, sizeof collection->items);
    collection->items.push_back(item);
    return STATUS_SUCCESS;
}

VOID WdfCollectionRemove(WDFCOLLECTION Collection, WDFOBJECT Item) {
    Machine::Current().PreemptionPoint();
    sim::Kmdf& kmdf = CurrentKmdf();
    auto* collection =
        kmdf.LookupAs<sim::WdfCollection>(Collection, WdfType::kCollection, "WdfCollectionRemove");
    sim::WdfObject* item = kmdf.Lookup(Item, "WdfCollectionRemove", true);
    sim::race::Write(&collection->items, sizeof collection->items);
    for (auto it = collection->items.begin(); it != collection->items.end(); ++it) {
        if (*it == item) {
            collection->items.erase(it);
            kmdf.Release(item);
            return;
        }
    }
    Machine::Current().BugCheck(
        "WDF_VIOLATION: WdfCollectionRemove of an item that is not in "
        "the collection");
}

WDFOBJECT WdfCollectionGetItem(WDFCOLLECTION Collection, ULONG Index) {
    Machine::Current().PreemptionPoint();
    auto* collection = CurrentKmdf().LookupAs<sim::WdfCollection>(Collection, WdfType::kCollection,
                                                                  "WdfCollectionGetItem");
    sim::race::Read(&collection->items, sizeof collection->items);
    return Index < collection->items.size() ? sim::HandleOf(collection->items[Index]) : NULL;
}

NTSTATUS WdfWaitLockCreate(PWDF_OBJECT_ATTRIBUTES LockAttributes, WDFWAITLOCK* Lock) {
    if (Machine::Current().faults.Hit(sim::Fault::kWaitLockCreate)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return CreateChild(new sim::WdfWaitLock(), WdfType::kWaitLock, LockAttributes,
                       reinterpret_cast<WDFOBJECT*>(Lock));
}

// A preemption point: another thread may take the lock first. Acquiring a lock the caller
// already holds is a deadlock and stops the run.
NTSTATUS WdfWaitLockAcquire(WDFWAITLOCK Lock, PLONGLONG Timeout) {
    Machine& machine = Machine::Current();
    auto* lock =
        CurrentKmdf().LookupAs<sim::WdfWaitLock>(Lock, WdfType::kWaitLock, "WdfWaitLockAcquire");
    bool polling = Timeout != NULL && *Timeout == 0;
    if (!polling && KeGetCurrentIrql() > (Timeout == NULL ? PASSIVE_LEVEL : APC_LEVEL)) {
        machine.BugCheck("WDF_VIOLATION: WdfWaitLockAcquire above the allowed IRQL");
    }
    sim::SimThread* self = machine.scheduler.Current();
    if (lock->owner != nullptr && lock->owner == self) {
        machine.BugCheck("WDF_VIOLATION: WdfWaitLockAcquire of a lock the thread already holds");
    }
    if (!polling) {
        machine.scheduler.Yield();
    }
    std::optional<sim::Ticks> deadline;
    if (Timeout != NULL && *Timeout != 0) {
        deadline = *Timeout < 0 ? machine.scheduler.Now() - *Timeout : *Timeout;
    }
    while (lock->owner != nullptr) {
        if (polling) {
            return STATUS_TIMEOUT;
        }
        if (machine.scheduler.Block(lock, deadline, "wait lock") == sim::WaitResult::kTimeout) {
            return STATUS_TIMEOUT;
        }
    }
    lock->owner = self;
    sim::race::Acquire(lock);
    return STATUS_SUCCESS;
}

VOID WdfWaitLockRelease(WDFWAITLOCK Lock) {
    Machine& machine = Machine::Current();
    auto* lock =
        CurrentKmdf().LookupAs<sim::WdfWaitLock>(Lock, WdfType::kWaitLock, "WdfWaitLockRelease");
    if (lock->owner != machine.scheduler.Current()) {
        machine.BugCheck("WDF_VIOLATION: WdfWaitLockRelease by a thread that does not hold it");
    }
    lock->owner = nullptr;
    machine.scheduler.Signal(lock, false);
}

}  // extern "C"
