// Framework objects: typed contexts, parents and children, deletion and references.
#include <cstdlib>

#include "kmdf/kmdf.h"
#include "pc/machine.h"

namespace sim {
namespace {

// How many freed objects stay recognisable: far more than a driver holds handles to at once.
constexpr size_t kTombstones = 4096;

}  // namespace

const char* WdfTypeName(WdfType type) {
    switch (type) {
        case WdfType::kDriver:
            return "WDFDRIVER";
        case WdfType::kDevice:
            return "WDFDEVICE";
        case WdfType::kCollection:
            return "WDFCOLLECTION";
        case WdfType::kWaitLock:
            return "WDFWAITLOCK";
        case WdfType::kObject:
            return "WDFOBJECT";
        case WdfType::kUsbDevice:
            return "WDFUSBDEVICE";
        case WdfType::kQueue:
            return "WDFQUEUE";
        case WdfType::kRequest:
            return "WDFREQUEST";
        case WdfType::kFileObject:
            return "WDFFILEOBJECT";
    }
    return "?";
}

WdfObject::~WdfObject() {
    std::free(context);
}

Kmdf::Kmdf() = default;
Kmdf::~Kmdf() {
    for (WdfObject* object : by_handle_.slots()) {
        delete object;
    }
    for (WDFDEVICE_INIT* init : control_inits) {
        delete init;
    }
}

Kmdf& CurrentKmdf() {
    return *Machine::Current().kmdf;
}

WdfObject* Kmdf::Lookup(WDFOBJECT handle, const char* caller, bool allow_deleted) {
    WdfObject* object = by_handle_.Find(handle);
    if (object == nullptr) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + caller +
                                    " with a handle that is not a framework object");
    }
    if (object->freed || (object->deleted && !allow_deleted)) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + caller + " with a " +
                                    WdfTypeName(object->type) + " that was " +
                                    (object->freed ? "freed" : "deleted"));
    }
    return object;
}

void Kmdf::TypeMismatch(WdfObject* object, WdfType expected, const char* caller) {
    Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + caller + " expects a " +
                                WdfTypeName(expected) + ", got a " + WdfTypeName(object->type));
}

NTSTATUS Kmdf::Adopt(WdfObject* object, PWDF_OBJECT_ATTRIBUTES attributes, WdfObject* parent) {
    if (attributes != WDF_NO_OBJECT_ATTRIBUTES) {
        if (attributes->Size != sizeof(WDF_OBJECT_ATTRIBUTES)) {
            delete object;
            return STATUS_INVALID_PARAMETER;
        }
        object->cleanup = attributes->EvtCleanupCallback;
        object->destroy = attributes->EvtDestroyCallback;
        if (attributes->ContextTypeInfo != NULL) {
            object->context_type = attributes->ContextTypeInfo;
            size_t size = attributes->ContextSizeOverride != 0
                              ? attributes->ContextSizeOverride
                              : attributes->ContextTypeInfo->ContextSize;
            object->context = std::calloc(1, size);
        }
        if (attributes->ParentObject != NULL) {
            parent = Lookup(attributes->ParentObject, "object creation");
        }
    }
    object->parent = parent;
    if (parent != nullptr) {
        parent->children.push_back(object);
    }
    by_handle_.Insert(object);
    return STATUS_SUCCESS;
}

// Children go first, newest first; then the object's cleanup callback; the memory goes
// with the last reference.
void Kmdf::Delete(WdfObject* object) {
    if (object->deleted) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: ") + WdfTypeName(object->type) +
                                    " deleted twice");
    }
    if (object->type == WdfType::kDevice && static_cast<WdfDevice*>(object)->control) {
        BeginControlDeviceDeletion(static_cast<WdfDevice*>(object));
    }
    object->deleted = true;
    while (!object->children.empty()) {
        WdfObject* child = object->children.back();
        if (child->deleted) {
            object->children.pop_back();
            continue;
        }
        Delete(child);
    }
    if (object->cleanup != nullptr) {
        object->cleanup(HandleOf(object));
    }
    if (object->parent != nullptr) {
        auto& siblings = object->parent->children;
        for (auto it = siblings.begin(); it != siblings.end(); ++it) {
            if (*it == object) {
                siblings.erase(it);
                break;
            }
        }
    }
    if (object->type == WdfType::kCollection) {
        auto* collection = static_cast<WdfCollection*>(object);
        for (WdfObject* item : collection->items) {
            Release(item);
        }
        collection->items.clear();
    }
    Release(object);
}

void Kmdf::Release(WdfObject* object) {
    if (--object->references > 0) {
        return;
    }
    if (!object->deleted) {
        Machine::Current().BugCheck(std::string("WDF_VIOLATION: last reference of a ") +
                                    WdfTypeName(object->type) + " released before its deletion");
    }
    if (object->destroy != nullptr) {
        object->destroy(HandleOf(object));
    }
    std::free(object->context);
    object->context = nullptr;
    object->freed = true;
    tombstones_.push_back(object);
    if (tombstones_.size() > kTombstones) {
        by_handle_.Erase(tombstones_.front());
        delete tombstones_.front();
        tombstones_.pop_front();
    }
}

size_t Kmdf::live_objects() const {
    return by_handle_.size() - tombstones_.size();
}

}  // namespace sim

using sim::CurrentKmdf;

extern "C" {

// A preemption point, as are the reference calls: the object may go meanwhile.
PVOID WdfObjectGetTypedContextWorker(WDFOBJECT Handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO TypeInfo) {
    sim::Machine::Current().PreemptionPoint();
    sim::WdfObject* object = CurrentKmdf().Lookup(Handle, "WdfObjectGetTypedContext", true);
    if (object->context_type == NULL || TypeInfo == NULL ||
        strcmp(object->context_type->ContextName, TypeInfo->ContextName) != 0) {
        return NULL;
    }
    return object->context;
}

NTSTATUS WdfObjectCreate(PWDF_OBJECT_ATTRIBUTES Attributes, WDFOBJECT* Object) {
    sim::Kmdf& kmdf = CurrentKmdf();
    if (sim::Machine::Current().faults.Hit(sim::Fault::kObjectCreate)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* object = new sim::WdfObject();
    NTSTATUS status = kmdf.Adopt(object, Attributes, kmdf.driver);
    if (NT_SUCCESS(status)) {
        *Object = object;
    }
    return status;
}

VOID WdfObjectDelete(WDFOBJECT Object) {
    sim::Kmdf& kmdf = CurrentKmdf();
    kmdf.Delete(kmdf.Lookup(Object, "WdfObjectDelete"));
}

VOID WdfObjectReferenceActual(WDFOBJECT Handle, PVOID Tag, LONG Line, PCSTR File) {
    UNREFERENCED_PARAMETER(Tag);
    UNREFERENCED_PARAMETER(Line);
    UNREFERENCED_PARAMETER(File);
    sim::Machine::Current().PreemptionPoint();
    ++CurrentKmdf().Lookup(Handle, "WdfObjectReference", true)->references;
}

VOID WdfObjectDereferenceActual(WDFOBJECT Handle, PVOID Tag, LONG Line, PCSTR File) {
    UNREFERENCED_PARAMETER(Tag);
    UNREFERENCED_PARAMETER(Line);
    UNREFERENCED_PARAMETER(File);
    sim::Machine::Current().PreemptionPoint();
    sim::Kmdf& kmdf = CurrentKmdf();
    kmdf.Release(kmdf.Lookup(Handle, "WdfObjectDereference", true));
}

}  // extern "C"
