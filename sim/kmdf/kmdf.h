// The framework stand-in's object model: every WDF handle is a WdfObject with a parent,
// children, an optional typed context, a cleanup callback and a reference count. Freed
// objects stay as tombstones, so a handle used after its object went away is caught
// instead of silently reaching reused memory.
#pragma once

#include <ntddk.h>
#include <wdf.h>
#include <usb.h>
#include <wdfusb.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

class SimThread;
struct UsbNode;

enum class WdfType { kDriver, kDevice, kCollection, kWaitLock, kObject, kUsbDevice };
const char* WdfTypeName(WdfType type);

struct WdfObject {
    virtual ~WdfObject();
    WdfType type = WdfType::kObject;
    WdfObject* parent = nullptr;
    std::vector<WdfObject*> children;
    PCWDF_OBJECT_CONTEXT_TYPE_INFO context_type = nullptr;
    void* context = nullptr;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP cleanup = nullptr;
    PFN_WDF_OBJECT_CONTEXT_DESTROY destroy = nullptr;
    int references = 1;
    bool deleted = false;
    bool freed = false;
};

struct WdfDriver : WdfObject {
    WDF_DRIVER_CONFIG config = {};
    PDRIVER_OBJECT wdm = nullptr;
};

struct WdfCollection : WdfObject {
    std::vector<WdfObject*> items;
};

struct WdfWaitLock : WdfObject {
    SimThread* owner = nullptr;
};

struct WdfUsbDevice : WdfObject {
    UsbNode* node = nullptr;
};

struct WdfDevice : WdfObject {
    DEVICE_OBJECT self = {};
    PDEVICE_OBJECT pdo = nullptr;
    PDEVICE_OBJECT attached_to = nullptr;
    UsbNode* node = nullptr;
    WDF_PNPPOWER_EVENT_CALLBACKS pnp = {};
    PFN_WDFDEVICE_WDM_IRP_PREPROCESS preprocess = nullptr;
    UCHAR preprocess_major = 0;
    bool filter = false;
    bool prepared = false;
    bool in_d0 = false;
    WDF_POWER_DEVICE_STATE previous_state = WdfPowerDeviceD3Final;
    // Set by the framework's preprocess dispatch so that an IRP handed back twice is caught.
    PIRP preprocessed_irp = nullptr;
};

// What WdfFdoInit* calls see while the driver's device-add callback runs.
}  // namespace sim

struct WDFDEVICE_INIT {
    sim::UsbNode* node = nullptr;
    PDEVICE_OBJECT pdo = nullptr;
    bool filter = false;
    WDF_PNPPOWER_EVENT_CALLBACKS pnp = {};
    PFN_WDFDEVICE_WDM_IRP_PREPROCESS preprocess = nullptr;
    UCHAR preprocess_major = 0;
    bool consumed = false;
};

namespace sim {

class Kmdf {
  public:
    Kmdf();
    ~Kmdf();

    // Validates a handle; a stale, freed or mistyped handle is a verifier failure.
    WdfObject* Lookup(WDFOBJECT handle, const char* caller, bool allow_deleted = false);
    template <typename T>
    T* LookupAs(WDFOBJECT handle, WdfType type, const char* caller) {
        WdfObject* object = Lookup(handle, caller);
        if (object->type != type) {
            TypeMismatch(object, type, caller);
        }
        return static_cast<T*>(object);
    }
    // Registers a new object: context, cleanup and parent from the attributes.
    NTSTATUS Adopt(WdfObject* object, PWDF_OBJECT_ATTRIBUTES attributes, WdfObject* parent);
    void Delete(WdfObject* object);
    void Release(WdfObject* object);

    // Runs the loaded driver's device-add callback for a new device stack. Returns the
    // callback's status; *filter is the device it created, or nullptr.
    NTSTATUS AddDevice(UsbNode* node, PDEVICE_OBJECT pdo, WdfDevice** filter);
    // The framework's own handling of an IRP that reached a framework device.
    NTSTATUS ProcessIrp(WdfDevice* device, PIRP irp);
    // Ends the driver: its unload callback, then the driver object and its children.
    void UnloadDriver();

    WdfDriver* driver = nullptr;
    size_t live_objects() const;
    void NoteCreated(WdfDevice* device) { created_ = device; }
    // Describes a filter device for the "attached" line; set by the harness that knows
    // the driver's context layout.
    std::function<std::string(WDFDEVICE)> describe_device;

  private:
    [[noreturn]] void TypeMismatch(WdfObject* object, WdfType expected, const char* caller);
    std::vector<std::unique_ptr<WdfObject>> objects_;
    std::map<const void*, WdfObject*> by_handle_;
    WdfDevice* created_ = nullptr;
};

Kmdf& CurrentKmdf();
inline WDFOBJECT HandleOf(WdfObject* object) {
    return object;
}

}  // namespace sim
