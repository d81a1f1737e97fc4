// The I/O manager's IRP calls: allocation, IoCallDriver, completion.
#include <ntddk.h>

#include "pc/machine.h"

using sim::Machine;

extern "C" {

// The stack locations follow the IRP in one block; the first location handed to a driver
// is the last one, as on Windows. Quotas are not modelled. A zeroed array from operator new,
// not calloc (nor malloc and memset, which the compiler turns into calloc): glibc's calloc
// bypasses its per-thread cache, and an IRP is allocated per request.
PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota) {
    UNREFERENCED_PARAMETER(ChargeQuota);
    size_t bytes = sizeof(IRP) + static_cast<size_t>(StackSize) * sizeof(IO_STACK_LOCATION);
    auto* irp = reinterpret_cast<PIRP>(new char[bytes]());
    auto* stack = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1);
    irp->Type = 6;
    irp->Size = static_cast<USHORT>(bytes);
    irp->StackCount = StackSize;
    irp->CurrentLocation = static_cast<CHAR>(StackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = stack + StackSize;
    Machine::Current().kernel.live_irps.Insert(irp);
    return irp;
}

VOID IoFreeIrp(PIRP Irp) {
    auto& live = Machine::Current().kernel.live_irps;
    if (!live.Erase(Irp)) {
        Machine::Current().BugCheck("MULTIPLE_IRP_COMPLETE_REQUESTS: freeing an IRP twice");
    }
    Irp->Type = 0;
    delete[] reinterpret_cast<char*>(Irp);
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    Machine& machine = Machine::Current();
    if (machine.kernel.live_irps.Find(Irp) == nullptr) {
        machine.BugCheck("DRIVER_VERIFIER_DETECTED_VIOLATION: IoCallDriver with a freed IRP");
    }
    IoSetNextIrpStackLocation(Irp);
    if (Irp->CurrentLocation <= 0) {
        machine.BugCheck("NO_MORE_IRP_STACK_LOCATIONS");
    }
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    stack->DeviceObject = DeviceObject;
    PDRIVER_DISPATCH dispatch = DeviceObject->DriverObject->MajorFunction[stack->MajorFunction];
    return dispatch(DeviceObject, Irp);
}

// Completion routines run from the current location up, each seeing the device object of
// its own location (NULL for the originator's). STATUS_MORE_PROCESSING_REQUIRED stops the
// walk: the routine's owner now holds the IRP. Otherwise the originator's status block is
// filled, its event signalled, and an IRP built by the I/O manager is freed.
VOID IoCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
    UNREFERENCED_PARAMETER(PriorityBoost);
    Machine& machine = Machine::Current();
    if (machine.kernel.live_irps.Find(Irp) == nullptr) {
        machine.BugCheck("MULTIPLE_IRP_COMPLETE_REQUESTS: completing a freed IRP");
    }
    if (Irp->IoStatus.Status == STATUS_PENDING) {
        machine.BugCheck("DRIVER_VERIFIER_DETECTED_VIOLATION: completing with STATUS_PENDING");
    }
    if (Irp->CurrentLocation > Irp->StackCount + 1) {
        machine.BugCheck("MULTIPLE_IRP_COMPLETE_REQUESTS");
    }
    while (Irp->CurrentLocation <= Irp->StackCount) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
        Irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
        PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
        PVOID context = stack->Context;
        UCHAR control = stack->Control;
        stack->CompletionRoutine = NULL;
        stack->Control = 0;
        IoSkipCurrentIrpStackLocation(Irp);
        NTSTATUS status = Irp->IoStatus.Status;
        bool invoke =
            routine != NULL && ((NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                                (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR)) ||
                                (Irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
        if (invoke) {
            PDEVICE_OBJECT device = Irp->CurrentLocation <= Irp->StackCount
                                        ? IoGetCurrentIrpStackLocation(Irp)->DeviceObject
                                        : NULL;
            if (routine(device, Irp, context) == STATUS_MORE_PROCESSING_REQUIRED) {
                return;
            }
        } else if (Irp->PendingReturned && Irp->CurrentLocation <= Irp->StackCount) {
            IoMarkIrpPending(Irp);
        }
    }
    if (Irp->UserIosb != NULL) {
        *Irp->UserIosb = Irp->IoStatus;
    }
    PKEVENT event = Irp->UserEvent;
    bool built = machine.kernel.built_irps.Erase(Irp);
    if (built) {
        IoFreeIrp(Irp);
    }
    if (event != NULL) {
        KeSetEvent(event, IO_NO_INCREMENT, FALSE);
    }
}

PIRP IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                   PVOID InputBuffer, ULONG InputBufferLength, PVOID OutputBuffer,
                                   ULONG OutputBufferLength, BOOLEAN InternalDeviceIoControl,
                                   PKEVENT Event, PIO_STATUS_BLOCK IoStatusBlock) {
    Machine& machine = Machine::Current();
    if (machine.faults.Hit(sim::Fault::kIrpBuild)) {
        return NULL;
    }
    PIRP irp = IoAllocateIrp(DeviceObject->StackSize, FALSE);
    machine.kernel.built_irps.Insert(irp);
    irp->UserEvent = Event;
    irp->UserIosb = IoStatusBlock;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction =
        InternalDeviceIoControl ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IoControlCode;
    next->Parameters.DeviceIoControl.InputBufferLength = InputBufferLength;
    next->Parameters.DeviceIoControl.OutputBufferLength = OutputBufferLength;
    irp->AssociatedIrp.SystemBuffer = InputBuffer != NULL ? InputBuffer : OutputBuffer;
    return irp;
}

namespace {
const char g_cancel_lock = 0;  // the lock's identity for the race detector
}  // namespace

// The cancel spin lock is a raise to DISPATCH_LEVEL: one thread runs at a time, and no
// one may block while holding it. It still orders what its holders do.
VOID IoAcquireCancelSpinLock(PKIRQL Irql) {
    KeRaiseIrql(DISPATCH_LEVEL, Irql);
    sim::race::Acquire(&g_cancel_lock);
}

VOID IoReleaseCancelSpinLock(KIRQL Irql) {
    sim::race::Release(&g_cancel_lock);
    KeLowerIrql(Irql);
}

BOOLEAN IoCancelIrp(PIRP Irp) {
    Machine& machine = Machine::Current();
    if (machine.kernel.live_irps.Find(Irp) == nullptr) {
        machine.BugCheck("DRIVER_VERIFIER_DETECTED_VIOLATION: IoCancelIrp of a freed IRP");
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    Irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, NULL);
    if (routine == NULL) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    Irp->CancelIrql = irql;
    routine(IoGetCurrentIrpStackLocation(Irp)->DeviceObject, Irp);
    // The driver that owns the IRP may complete it on another processor at once, before the
    // canceller's next instruction, or later: the seed chooses.
    machine.PreemptionPoint();
    return TRUE;
}

VOID PoStartNextPowerIrp(PIRP Irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    if (stack->MajorFunction != IRP_MJ_POWER) {
        Machine::Current().BugCheck(
            "DRIVER_VERIFIER_DETECTED_VIOLATION: PoStartNextPowerIrp on "
            "an IRP that is not a power IRP");
    }
    ++Machine::Current().kernel.power_irps_started;
}

}  // extern "C"
