// Run-time library and executive pool calls.
#include <ntddk.h>

#include "pc/machine.h"

using sim::Machine;

extern "C" {

// Builds a counted string over the caller's buffer; the text is not copied.
VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
    size_t units = 0;
    if (SourceString != NULL) {
        while (SourceString[units] != 0) {
            ++units;
        }
    }
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
    DestinationString->Length = static_cast<USHORT>(units * sizeof(WCHAR));
    DestinationString->MaximumLength =
        static_cast<USHORT>(SourceString == NULL ? 0 : (units + 1) * sizeof(WCHAR));
}

// Non-paged pool may be allocated at DISPATCH_LEVEL and below; paged pool only below it.
// Both pool calls are preemption points.
PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    Machine::Current().PreemptionPoint();
    if (PoolType == PagedPool && KeGetCurrentIrql() > APC_LEVEL) {
        Machine::Current().BugCheck("IRQL_NOT_LESS_OR_EQUAL: paged pool at DISPATCH_LEVEL");
    }
    return Machine::Current().kernel.pool.Allocate(NumberOfBytes, Tag, sim::Pool::Owner::kDriver);
}

VOID ExFreePoolWithTag(PVOID P, ULONG Tag) {
    Machine::Current().PreemptionPoint();
    Machine::Current().kernel.pool.Free(P, Tag);
}

}  // extern "C"
