// The framework stand-in's object model: every WDF handle is a WdfObject with a parent,
// children, an optional typed context, a cleanup callback and a reference count. The most
// recently freed objects stay as tombstones, so a handle used after its object went away is
// caught instead of silently reaching reused memory; older tombstones are forgotten, so a
// long run's tables hold only what lives.
#pragma once

#include <ntddk.h>
#include <wdf.h>
#include <usb.h>
#include <wdfusb.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pc/pointer_set.h"

namespace sim {

class SimThread;
struct UsbNode;

enum class WdfType {
    kDriver,
    kDevice,
    kCollection,
    kWaitLock,
    kObject,
    kUsbDevice,
    kQueue,
    kRequest,
    kFileObject,
};
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

struct WdfDevice;

struct WdfFileObject : WdfObject {
    PFILE_OBJECT wdm = nullptr;
};

struct WdfRequest;

struct WdfQueue : WdfObject {
    WdfDevice* device = nullptr;
    WDF_IO_QUEUE_CONFIG config = {};
    WdfRequest* current = nullptr;    // the request the driver holds
    std::deque<WdfRequest*> waiting;  // in arrival order
    bool idle() const { return current == nullptr && waiting.empty(); }
};

struct WdfRequest : WdfObject {
    PIRP irp = nullptr;
    WdfQueue* queue = nullptr;         // NULL for a create request
    WdfFileObject* created = nullptr;  // the file object a create request opens
    ULONG input_length = 0;
    ULONG output_length = 0;
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
    // A control device: outside any PnP stack, named, reached through file handles.
    bool control = false;
    bool deleting = false;  // deletion has begun: new requests are refused
    std::string name;
    std::string link;
    std::string sddl;
    WDF_FILEOBJECT_CONFIG file_config = {};
    WdfQueue* queue = nullptr;
    std::map<PFILE_OBJECT, WdfFileObject*> files;
};

// What WdfFdoInit* calls see while the driver's device-add callback runs.
}  // namespace sim

struct WDFDEVICE_INIT {
    // Set for a record from WdfControlDeviceInitAllocate, which the driver owns.
    bool control = false;
    std::string name;
    std::string sddl;
    bool exclusive = false;
    WDF_FILEOBJECT_CONFIG file_config = {};
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

    // The framework's handling of an IRP that reached a control device: opens and closes
    // through the file callbacks, I/O-control requests through the default queue.
    NTSTATUS ProcessControlIrp(WdfDevice* device, PIRP irp);
    // A framework request object for an IRP that reached a control device.
    WdfRequest* NewRequest(PIRP irp, WdfQueue* queue);
    // Hands an I/O-control request to the queue; the driver sees it when its turn comes.
    NTSTATUS QueueRequest(WdfDevice* device, PIRP irp);
    // Completes a request: the IRP goes back to its sender and the next request is presented.
    void CompleteRequest(WdfRequest* request, NTSTATUS status, ULONG_PTR information);
    // Deleting a control device takes its names away, refuses new requests and waits until
    // the requests already queued have been through the driver.
    void BeginControlDeviceDeletion(WdfDevice* device);
    // Control-device init records the driver allocated and has not handed over or freed.
    std::set<WDFDEVICE_INIT*> control_inits;

    // Runs the loaded driver's device-add callback for a new device stack. Returns the
    // callback's status; *filter is the device it created, or nullptr.
    NTSTATUS AddDevice(UsbNode* node, PDEVICE_OBJECT pdo, WdfDevice** filter);
    // The framework's own handling of an IRP that reached a framework device.
    NTSTATUS ProcessIrp(WdfDevice* device, PIRP irp);
    // Ends the driver: its unload callback, then the driver object and its children.
    void UnloadDriver();
    // Whether the loaded driver still has a device, filter or control, not yet deleted.
    bool DriverHasDevices() const;

    WdfDriver* driver = nullptr;
    size_t live_objects() const;
    // Live objects and the tombstones still remembered.
    size_t tracked_objects() const { return by_handle_.size(); }
    void NoteCreated(WdfDevice* device) { created_ = device; }
    // Describes a filter device for the "attached" line; set by the harness that knows
    // the driver's context layout.
    std::function<std::string(WDFDEVICE)> describe_device;

  private:
    [[noreturn]] void TypeMismatch(WdfObject* object, WdfType expected, const char* caller);
    // Live objects and tombstones by handle (owned), and the tombstones from oldest to newest.
    PointerSet<WdfObject> by_handle_;
    std::deque<WdfObject*> tombstones_;
    WdfDevice* created_ = nullptr;
};

Kmdf& CurrentKmdf();
// WdfDeviceCreate for a control-device init record.
NTSTATUS CreateControlDevice(PWDFDEVICE_INIT* DeviceInit, PWDF_OBJECT_ATTRIBUTES attributes,
                             WDFDEVICE* created);
inline WDFOBJECT HandleOf(WdfObject* object) {
    return object;
}
inline WDFDEVICE Handle(WdfDevice* device) {
    return reinterpret_cast<WDFDEVICE>(HandleOf(device));
}
inline WDFFILEOBJECT Handle(WdfFileObject* file) {
    return reinterpret_cast<WDFFILEOBJECT>(HandleOf(file));
}

}  // namespace sim
