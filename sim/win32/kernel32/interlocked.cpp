// Interlocked operations: the processor's atomic instructions, full barriers as on Windows.
#include <windows.h>

LONG WINAPI InterlockedExchange(LONG volatile* Target, LONG Value) {
    return __atomic_exchange_n(Target, Value, __ATOMIC_SEQ_CST);
}

// Stores ExChange only if the value equals Comperand; returns the value found either way.
LONG WINAPI InterlockedCompareExchange(LONG volatile* Destination, LONG ExChange, LONG Comperand) {
    __atomic_compare_exchange_n(Destination, &Comperand, ExChange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return Comperand;
}

// The incremented and decremented values wrap as 32-bit two's complement (the builtins wrap).
LONG WINAPI InterlockedIncrement(LONG volatile* lpAddend) {
    return __atomic_add_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* lpAddend) {
    return __atomic_sub_fetch(lpAddend, 1, __ATOMIC_SEQ_CST);
}
