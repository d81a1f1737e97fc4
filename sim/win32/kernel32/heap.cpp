// The process heap, on the host's allocator. Allocation failure, heap checks and private
// heaps (HeapCreate) are not modelled yet.
#include <windows.h>

#include <stdlib.h>

namespace {

// Any non-NULL value: the one heap every process has.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(0x10000);

}  // namespace

HANDLE WINAPI GetProcessHeap(void) {
    return kProcessHeap;
}

// A block of at least dwBytes, zeroed with HEAP_ZERO_MEMORY; NULL when none can be had.
LPVOID WINAPI HeapAlloc(HANDLE, DWORD dwFlags, SIZE_T dwBytes) {
    // A zero-byte request still yields a block of its own, as on Windows.
    void* block = malloc(dwBytes != 0 ? dwBytes : 1);
    if (block != NULL && (dwFlags & HEAP_ZERO_MEMORY) != 0) {
        memset(block, 0, dwBytes);
    }
    return block;
}

// Frees a block HeapAlloc returned; freeing NULL succeeds and does nothing.
BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    free(lpMem);
    return TRUE;
}
