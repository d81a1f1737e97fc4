#include "pc/machine.h"

#include <ntddk.h>

#include <stdexcept>

#include "kmdf/kmdf.h"
#include "pc/pnp_manager.h"
#include "pc/usb_tree.h"

namespace sim {

Machine::Machine(uint64_t seed)
    : scheduler(seed),
      kmdf(std::make_unique<Kmdf>()),
      usb(std::make_unique<UsbTree>()),
      pnp(std::make_unique<PnpManager>(*this)) {
    if (current_ != nullptr) {
        throw std::logic_error("only one simulated machine may exist at a time");
    }
    current_ = this;
    SetCurrentScheduler(&scheduler);
}

Machine::~Machine() {
    DestroyExtensions();
    pnp.reset();
    current_ = nullptr;
    SetCurrentScheduler(nullptr);
}

void Machine::DestroyExtensions() {
    while (!extensions_.empty()) {
        extensions_.pop_back();
    }
}

void Machine::NoMachine() {
    throw std::logic_error("no simulated machine");
}

void Machine::Log(std::string_view category, std::string text) {
    log.Add(scheduler.Now(), category, std::move(text));
}

void Machine::PreemptionPoint() {
    SimThread* thread = scheduler.Current();
    if (thread != nullptr && thread->irql < DISPATCH_LEVEL && observing_ == 0) {
        scheduler.Yield();
    }
}

void Machine::BugCheck(const std::string& report) {
    Log("kernel", "BUGCHECK " + report);
    scheduler.BugCheck(report);
}

}  // namespace sim
