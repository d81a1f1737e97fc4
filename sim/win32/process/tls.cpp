// Thread-local storage: slots allocated per process, a value per slot in each thread, NULL
// until set. The 1088 slots of Windows (64 plus 1024 expansion slots) are all one kind here.
#include <windows.h>

#include "win32/process/process.h"

namespace {

constexpr DWORD kSlots = 1088;

}  // namespace

// The lowest free slot; its value is NULL in every thread of the process.
DWORD WINAPI TlsAlloc(void) {
    sim::win32::Process& process = sim::win32::CurrentProcess();
    std::vector<bool>& slots = process.tls_slots;
    DWORD index = 0;
    while (index < slots.size() && slots[index]) {
        ++index;
    }
    if (index == kSlots) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return TLS_OUT_OF_INDEXES;
    }
    if (index == slots.size()) {
        slots.push_back(true);
    }
    slots[index] = true;
    return index;
}

// Windows checks only the range, not whether the slot is allocated; success clears the last
// error so that a NULL value can be told from a failure.
LPVOID WINAPI TlsGetValue(DWORD dwTlsIndex) {
    if (dwTlsIndex >= kSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    std::vector<void*>& values = sim::win32::CurrentThread().tls;
    SetLastError(ERROR_SUCCESS);
    return dwTlsIndex < values.size() ? values[dwTlsIndex] : NULL;
}

BOOL WINAPI TlsSetValue(DWORD dwTlsIndex, LPVOID lpTlsValue) {
    if (dwTlsIndex >= kSlots) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<void*>& values = sim::win32::CurrentThread().tls;
    if (dwTlsIndex >= values.size()) {
        values.resize(dwTlsIndex + 1, NULL);
    }
    values[dwTlsIndex] = lpTlsValue;
    return TRUE;
}

// Frees the slot and clears its value in every thread of the process, as Windows does.
BOOL WINAPI TlsFree(DWORD dwTlsIndex) {
    sim::win32::Process& process = sim::win32::CurrentProcess();
    if (dwTlsIndex >= process.tls_slots.size() || !process.tls_slots[dwTlsIndex]) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    process.tls_slots[dwTlsIndex] = false;
    auto clear = [dwTlsIndex](sim::win32::Thread& thread) {
        if (dwTlsIndex < thread.tls.size()) {
            thread.tls[dwTlsIndex] = NULL;
        }
    };
    for (const auto& thread : process.threads()) {
        clear(*thread);
    }
    clear(sim::win32::CurrentThread());
    return TRUE;
}
