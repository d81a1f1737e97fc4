// IRQL, events and waits on the virtual clock.
#include <ntddk.h>

#include "pc/machine.h"

using sim::Machine;

namespace {

sim::SimThread* CurrentThread() {
    return Machine::Current().scheduler.Current();
}

}  // namespace

extern "C" {

// The host thread (tests calling the stand-in directly) runs at PASSIVE_LEVEL.
KIRQL KeGetCurrentIrql(VOID) {
    sim::SimThread* thread = CurrentThread();
    return thread == nullptr ? PASSIVE_LEVEL : thread->irql;
}

VOID KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
    sim::SimThread* thread = CurrentThread();
    KIRQL old = KeGetCurrentIrql();
    if (NewIrql < old) {
        Machine::Current().BugCheck("IRQL_NOT_GREATER_OR_EQUAL: KeRaiseIrql to a lower level");
    }
    if (thread != nullptr) {
        thread->irql = NewIrql;
    }
    *OldIrql = old;
}

VOID KeLowerIrql(KIRQL NewIrql) {
    sim::SimThread* thread = CurrentThread();
    if (NewIrql > KeGetCurrentIrql()) {
        Machine::Current().BugCheck("IRQL_NOT_LESS_OR_EQUAL: KeLowerIrql to a higher level");
    }
    if (thread != nullptr) {
        thread->irql = NewIrql;
    }
}

VOID SimCheckPagedCode(const char* Function) {
    if (KeGetCurrentIrql() > APC_LEVEL) {
        Machine::Current().BugCheck(std::string("DRIVER_IRQL_NOT_LESS_OR_EQUAL: pageable ") +
                                    Function + " called at DISPATCH_LEVEL");
    }
}

// Type 0 is a notification event, 1 a synchronization event, as in the dispatcher header.
VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
    Event->Header.Type = static_cast<UCHAR>(Type);
    Event->Header.SignalState = State ? 1 : 0;
    Event->Header.SimObject = NULL;
}

// A notification event releases every waiter and stays signalled; a synchronization event
// releases one waiter, or stays signalled until one comes. Another thread may run at once.
LONG KeSetEvent(PRKEVENT Event, LONG Increment, BOOLEAN Wait) {
    UNREFERENCED_PARAMETER(Increment);
    UNREFERENCED_PARAMETER(Wait);
    auto& scheduler = Machine::Current().scheduler;
    sim::race::Release(Event);
    LONG previous = Event->Header.SignalState;
    int woken;
    if (Event->Header.Type == NotificationEvent) {
        Event->Header.SignalState = 1;
        woken = scheduler.Signal(Event, true);
    } else {
        woken = scheduler.Signal(Event, false);
        if (woken == 0) {
            Event->Header.SignalState = 1;
        }
    }
    if (woken > 0) {
        scheduler.Yield();
    }
    return previous;
}

VOID KeClearEvent(PRKEVENT Event) {
    Event->Header.SignalState = 0;
}

LONG KeReadStateEvent(PRKEVENT Event) {
    return Event->Header.SignalState;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
    UNREFERENCED_PARAMETER(WaitReason);
    UNREFERENCED_PARAMETER(WaitMode);
    UNREFERENCED_PARAMETER(Alertable);
    Machine& machine = Machine::Current();
    auto* header = static_cast<DISPATCHER_HEADER*>(Object);
    if (header->SignalState != 0) {
        if (header->Type == SynchronizationEvent) {
            header->SignalState = 0;
        }
        sim::race::Acquire(Object);
        return STATUS_SUCCESS;
    }
    if (Timeout != NULL && Timeout->QuadPart == 0) {
        return STATUS_TIMEOUT;
    }
    if (KeGetCurrentIrql() > APC_LEVEL) {
        machine.BugCheck(
            "IRQL_NOT_LESS_OR_EQUAL: KeWaitForSingleObject with a timeout at "
            "DISPATCH_LEVEL");
    }
    std::optional<sim::Ticks> deadline;
    if (Timeout != NULL) {
        deadline =
            Timeout->QuadPart < 0 ? machine.scheduler.Now() - Timeout->QuadPart : Timeout->QuadPart;
    }
    sim::WaitResult result =
        machine.scheduler.Block(Object, deadline, "event " + machine.kernel.NameOf(Object));
    return result == sim::WaitResult::kSignaled ? STATUS_SUCCESS : STATUS_TIMEOUT;
}

}  // extern "C"
