#include "pc/faults.h"

#include "sched/scheduler.h"

namespace sim {

const char* FaultName(Fault fault) {
    switch (fault) {
        case Fault::kPoolAllocation:
            return "pool";
        case Fault::kDriverCreate:
            return "driver-create";
        case Fault::kCollectionCreate:
            return "collection-create";
        case Fault::kWaitLockCreate:
            return "waitlock-create";
        case Fault::kObjectCreate:
            return "object-create";
        case Fault::kCollectionAdd:
            return "collection-add";
        case Fault::kDeviceCreate:
            return "device-create";
        case Fault::kHardwareIdQuery:
            return "hardware-id";
        case Fault::kCompatibleIdQuery:
            return "compatible-id";
        case Fault::kContainerIdQuery:
            return "container-id";
        case Fault::kUsbTargetCreate:
            return "usb-target";
        case Fault::kIrpBuild:
            return "irp-build";
        case Fault::kControlInit:
            return "control-init";
        case Fault::kSymbolicLink:
            return "symbolic-link";
        case Fault::kQueueCreate:
            return "queue-create";
        case Fault::kAssignName:
            return "assign-name";
        case Fault::kRequestInput:
            return "request-input";
        case Fault::kRequestOutput:
            return "request-output";
        case Fault::kUsbString:
            return "usb-string";
        case Fault::kOpenKey:
            return "open-key";
        case Fault::kQueryValue:
            return "query-value";
        case Fault::kDeviceKey:
            return "device-key";
        case Fault::kReferenceByHandle:
            return "ob-reference";
        case Fault::kQueryName:
            return "query-name";
        case Fault::kHeapAlloc:
            return "heap-alloc";
        case Fault::kFileOpen:
            return "file-open";
        case Fault::kCmdExe:
            return "cmd.exe";
        case Fault::kRegOpen:
            return "reg-open";
        case Fault::kRegWrite:
            return "reg-write";
        case Fault::kSetupApi:
            return "setupapi";
        case Fault::kDialogCreate:
            return "dialog-create";
        case Fault::kUsbCancel:
            return "usb-cancel";
    }
    return "?";
}

void Faults::Arm(Fault fault, const std::string& target, int count, int skip) {
    armed_[{fault, target}] = Arming{count, skip};
}

void Faults::Disarm(Fault fault, const std::string& target) {
    armed_.erase({fault, target});
}

void Faults::SetRate(Fault fault, int permille) {
    rates_[fault] = permille;
}

bool Faults::Hit(Fault fault, const std::string& target) {
    // Asked several times a request; most runs arm nothing.
    if (armed_.empty() && rates_.empty()) {
        return false;
    }
    // An arming for this very target takes precedence over one for any target.
    for (const std::string& key : {target, std::string()}) {
        auto found = armed_.find({fault, key});
        if (found == armed_.end()) {
            continue;
        }
        Arming& arming = found->second;
        if (arming.skip > 0) {
            --arming.skip;
            return false;
        }
        if (arming.count == kAlways) {
            return true;
        }
        if (arming.count > 0) {
            if (--arming.count == 0) {
                armed_.erase(found);
            }
            return true;
        }
    }
    auto rate = rates_.find(fault);
    return rate != rates_.end() && rate->second > 0 &&
           static_cast<int>(CurrentScheduler().Random() % 1000) < rate->second;
}

}  // namespace sim
