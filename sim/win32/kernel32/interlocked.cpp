// Interlocked operations. One simulated thread runs at a time and none is preempted inside
// these calls, so plain reads and writes are atomic; memory ordering is not modelled.
#include <windows.h>

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    LONG previous = *Target;
    *Target = Value;
    return previous;
}

// Stores ExChange only if the value equals Comperand; returns the value found either way.
LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG ExChange, LONG Comperand) {
    LONG previous = *Destination;
    if (previous == Comperand) {
        *Destination = ExChange;
    }
    return previous;
}

// The incremented and decremented values wrap as 32-bit two's complement.
LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend) {
    *lpAddend = static_cast<LONG>(static_cast<DWORD>(*lpAddend) + 1);
    return *lpAddend;
}

LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend) {
    *lpAddend = static_cast<LONG>(static_cast<DWORD>(*lpAddend) - 1);
    return *lpAddend;
}
