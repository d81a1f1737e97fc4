// The simulated PC: one scheduler and virtual clock, the event log, injected faults, the
// kernel and framework stand-ins, the USB tree and the PnP manager. One machine exists at a
// time per process; the Windows-shaped calls reach it through Machine::Current().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <typeindex>
#include <utility>
#include <vector>

#include "kernel/kernel.h"
#include "kernel/user_io.h"
#include "pc/event_log.h"
#include "pc/faults.h"
#include "sched/scheduler.h"

namespace sim {

class Kmdf;
class UsbTree;
class PnpManager;

class Machine {
  public:
    explicit Machine(uint64_t seed = 0);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Inline: the stand-in's calls ask for it dozens of times a request.
    static Machine& Current() {
        if (current_ == nullptr) {
            NoMachine();
        }
        return *current_;
    }

    // Adds an event stamped with the current virtual time, if anyone wants its category
    // (callers that spend time formatting ask log.Wants first).
    void Log(std::string_view category, std::string text);
    // Stops the run loudly, as Driver Verifier or a bug check would.
    [[noreturn]] void BugCheck(const std::string& report);
    // A thread below DISPATCH_LEVEL can lose the processor anywhere; the stand-in's calls
    // that a driver makes while walking shared state offer the seed that choice on entry.
    void PreemptionPoint();
    // While a test or ampsim reads the driver's state through the stand-in's calls, those
    // calls offer no preemption: looking at the machine must not change what it does.
    class Observation {
      public:
        explicit Observation(Machine& machine) : machine_(machine) { ++machine_.observing_; }
        ~Observation() { --machine_.observing_; }
        Observation(const Observation&) = delete;
        Observation& operator=(const Observation&) = delete;

      private:
        Machine& machine_;
    };

    // State of a higher floor (the user-mode stand-in's processes, windows, shell), made on
    // first use and destroyed with the machine, last made first; this floor never sees its type.
    template <class T>
    T& Extension() {
        for (auto& held : extensions_) {
            if (held.type == std::type_index(typeid(T))) {
                return *static_cast<T*>(held.object.get());
            }
        }
        auto object = std::make_unique<T>();
        T& made = *object;
        extensions_.push_back({std::type_index(typeid(T)), ErasedPtr(object.release(), [](void* p) {
                                   delete static_cast<T*>(p);
                               })});
        return made;
    }

    Scheduler scheduler;
    EventLog log;
    Faults faults;
    Kernel kernel;
    // Programs' handles to devices; the application's I/O goes through here.
    UserIo user_io;
    std::unique_ptr<Kmdf> kmdf;
    std::unique_ptr<UsbTree> usb;
    std::unique_ptr<PnpManager> pnp;

  private:
    using ErasedPtr = std::unique_ptr<void, void (*)(void*)>;
    struct HeldExtension {
        std::type_index type;
        ErasedPtr object;
    };
    void DestroyExtensions();

    int observing_ = 0;
    std::vector<HeldExtension> extensions_;
    [[noreturn]] static void NoMachine();
    static inline Machine* current_ = nullptr;
};

}  // namespace sim
