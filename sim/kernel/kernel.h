// The simulated kernel's state behind the WDM-shaped calls: pool, registry, handles, the
// exports that drivers look up by name, the Windows version, software tracing and the names
// of kernel objects (so that traces print pointers reproducibly).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pc/pointer_set.h"

struct _IRP;

namespace sim {

// Non-paged pool with what Driver Verifier's special pool adds: each block ends just before
// an inaccessible guard page, so reading or writing past its end stops the run at once;
// the few bytes between the block's end and the page (blocks are 16-byte aligned) carry a
// pattern that is checked when the block is freed and at the end of a run. A freed block of
// the driver's stays inaccessible for a while, so a late use of it stops the run too; the
// kernel's own buffers, one or two per request, are instead filled with a pattern when freed
// and checked when their pages are handed out again, so that they cost no system call.
class Pool {
  public:
    // Whose block it is: the verifier watches the driver's blocks most closely.
    enum class Owner { kDriver, kKernel };
    Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;
    // What the driver leaked goes with the machine; it has been counted by then.
    ~Pool();
    void* Allocate(size_t bytes, uint32_t tag, Owner owner);
    // Frees a block; an unknown pointer, a wrong tag or a damaged pattern is a bug check.
    void Free(void* block, uint32_t tag);
    // Bug check if any outstanding block's pattern, or a freed kernel block's, has been
    // overwritten.
    void CheckOutstanding();
    size_t outstanding_bytes() const { return outstanding_bytes_; }
    size_t outstanding_blocks() const { return blocks_.size(); }
    size_t allocations() const { return allocations_; }
    // The report for an access to `address`, if it lies in a guard page or a freed block.
    std::string DescribeFault(const void* address) const;

  private:
    struct Block {
        size_t bytes;
        uint32_t tag;
        size_t number;  // the allocation's ordinal, counted from 1
        char* start;    // what the caller got
        char* mapping;  // data pages, then the guard page
        size_t data_size;
        Owner owner;
    };
    static std::string Describe(const Block& info);
    static std::string DamageOf(const Block& info);
    static std::string UseAfterFreeOf(const Block& info);
    void Quarantine(const Block& info);
    // Keeps a block's pages for the next block of their size, or unmaps them.
    static void Retire(const Block& info, bool inaccessible);
    // Pages for a block of `data_size` data bytes followed by its guard page, or nullptr.
    char* MapBlock(size_t data_size);
    std::map<void*, Block> blocks_;
    std::deque<Block> freed_;
    size_t outstanding_bytes_ = 0;
    size_t allocations_ = 0;
};

// Keys by full kernel name ("\REGISTRY\MACHINE\..."), values by name; both case-insensitive.
// Making a key makes its parents, which hold no values until one is set.
class Registry {
  public:
    struct Value {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        std::string name;  // as its last writer spelt it
    };
    void SetValue(const std::string& key, const std::string& name, uint32_t type,
                  std::vector<uint8_t> data);
    void CreateKey(const std::string& key);
    bool KeyExists(const std::string& key) const;
    const Value* Find(const std::string& key, const std::string& name) const;
    // The key's values by canonical name, or nullptr for a key that does not exist.
    const std::map<std::string, Value>* Values(const std::string& key) const;
    // Canonical form of a key or value name: "\Registry\Machine\..." -> upper case.
    static std::string Canonical(const std::string& name);
    // Runs at the start of every value query: lets a test change a value between the two
    // queries of one read.
    std::function<void(const std::string& key, const std::string& name)> on_query;

  private:
    std::map<std::string, std::map<std::string, Value>> keys_;
};

// The kernel handle table (registry keys so far).
class Handles {
  public:
    void* Open(std::string object);
    // Returns false for a handle that is not open.
    bool Close(void* handle);
    const std::string* Lookup(void* handle) const;
    size_t open_count() const { return open_.size(); }

  private:
    std::map<uintptr_t, std::string> open_;
    uintptr_t next_ = 0x100;
};

// The object manager's namespace as far as devices go: device names ("\Device\X") and the
// symbolic links to them ("\DosDevices\X", which "\??\X" and the Win32 path "\\.\X"
// also name). Names compare case-insensitively. A link is resolved at each open, so a link
// whose device has gone leads nowhere.
class ObjectNamespace {
  public:
    // False when the name exists already.
    bool InsertDevice(const std::string& name, void* device);
    void RemoveDevice(const std::string& name);
    bool Exists(const std::string& name) const;
    bool InsertLink(const std::string& link, const std::string& target);
    void RemoveLink(const std::string& link);
    // The device an NT or Win32 path leads to, or nullptr.
    void* Resolve(const std::string& path) const;

  private:
    static std::string Canonical(const std::string& path);
    void Changed() { last_path_.clear(); }
    std::map<std::string, void*> devices_;
    std::map<std::string, std::string> links_;
    // The last path resolved and where it led, until a name changes: a program opens the
    // same name again and again.
    mutable std::string last_path_;
    mutable void* last_device_ = nullptr;
};

// The PC/AT speaker: port 0x61 bits 0 (timer 2 gate) and 1 (speaker data), and counter 2
// of the interval timer, loaded low byte then high byte after control word 0xB6.
struct Speaker {
    uint8_t port61 = 0x30;  // bits the speaker does not own, set as on a real board
    bool expecting_high = false;
    uint8_t low = 0;
    int divisor = -1;  // -1: never loaded
    bool sounding = false;
    int sounding_divisor = -1;
};

struct WindowsVersion {
    uint32_t major = 6;
    uint32_t minor = 1;
    uint32_t build = 7601;
};

// A trace session that has enabled providers; records how the driver registered.
struct TraceSession {
    bool active = true;
    uint32_t enable_flags = 1;
    uint8_t level = 0;
    uint16_t logger_id = 7;
    std::string route;  // "etw", "wmi" or "wdf" while a provider is registered
    // A WMI-registered provider: the key it registered under, its callback and the context
    // the callback receives.
    void* wmi_key = nullptr;
    void* wmi_callback = nullptr;
    void* wmi_context = nullptr;
    void* etw_callback = nullptr;
    void* etw_context = nullptr;
};

class Kernel {
  public:
    Kernel();
    // IRPs still in flight when a run is stopped go with the machine.
    ~Kernel();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;
    Pool pool;
    Registry registry;
    Handles handles;
    WindowsVersion version;
    TraceSession trace;
    Speaker speaker;
    ObjectNamespace names;
    // Routines that MmGetSystemRoutineAddress finds; tests remove names to take the
    // driver down another tracing route.
    std::set<std::string> exports;
    // Names of kernel objects for trace output.
    std::map<const void*, std::string> object_names;
    // IRPs allocated and not yet freed; those the I/O manager built for a caller and frees
    // itself when they complete.
    PointerSet<_IRP> live_irps;
    PointerSet<_IRP> built_irps;
    int power_irps_started = 0;
    // The "Device Parameters" key of each PDO, for IoOpenDeviceRegistryKey.
    std::map<const void*, std::string> device_keys;
    // Key objects referenced through ObReferenceObjectByHandle and not yet released.
    std::map<const void*, std::unique_ptr<std::string>> referenced_keys;
    std::string NameOf(const void* object) const;
    // The USB device a device object ("PAD.pdo") belongs to, for fault targets.
    std::string DeviceNameOf(const void* device_object) const;
};

}  // namespace sim
