// The process heap, on the host's allocator. A block remembers its size so that HeapReAlloc
// can copy it, and belongs to its process, which takes back what is left when it ends. Heap checks,
// HEAP_GENERATE_EXCEPTIONS and private heaps (HeapCreate) are not modelled; the "heap-alloc" fault
// makes allocations fail as an exhausted heap would.
#include <windows.h>

#include <stdlib.h>

#include "win32/kernel32/machine_link.h"
#include "win32/process/process_memory.h"

namespace {

// Any non-NULL value: the one heap every process has.
HANDLE const kProcessHeap = reinterpret_cast<HANDLE>(0x10000);

// Each block is preceded by its requested size, kept 16-byte aligned as Windows' blocks are.
struct alignas(16) BlockHeader {
    SIZE_T size;
};

SIZE_T& SizeOf(LPVOID block) {
    return (static_cast<BlockHeader*>(block) - 1)->size;
}

void FreeBlock(void* raw, size_t) {
    free(raw);
}

LPVOID Allocate(LPVOID old, SIZE_T bytes) {
    if (sim::win32::FaultHits("heap-alloc")) {
        return NULL;
    }
    void* old_raw = old == NULL ? NULL : static_cast<BlockHeader*>(old) - 1;
    bool owned = old_raw != NULL && sim::win32::ForgetBlock(old_raw);
    void* raw = realloc(old_raw, sizeof(BlockHeader) + bytes);
    if (raw == NULL) {
        if (owned) {
            sim::win32::AdoptBlock(old_raw, 0, FreeBlock);
        }
        return NULL;
    }
    sim::win32::AdoptBlock(raw, 0, FreeBlock);
    LPVOID block = static_cast<BlockHeader*>(raw) + 1;
    SizeOf(block) = bytes;
    return block;
}

}  // namespace

HANDLE WINAPI GetProcessHeap(void) {
    return kProcessHeap;
}

// A block of at least dwBytes, zeroed with HEAP_ZERO_MEMORY; NULL when none can be had (the
// last error is not set, as documented). A zero-byte request still yields a block.
LPVOID WINAPI HeapAlloc(HANDLE, DWORD dwFlags, SIZE_T dwBytes) {
    LPVOID block = Allocate(NULL, dwBytes);
    if (block != NULL && (dwFlags & HEAP_ZERO_MEMORY) != 0) {
        memset(block, 0, dwBytes);
    }
    return block;
}

// Resizes a block, moving it if needed; the bytes it gains are zeroed with HEAP_ZERO_MEMORY.
// On failure the old block stays valid. HEAP_REALLOC_IN_PLACE_ONLY is not modelled.
LPVOID WINAPI HeapReAlloc(HANDLE, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    if (lpMem == NULL) {
        return NULL;
    }
    SIZE_T old_size = SizeOf(lpMem);
    LPVOID block = Allocate(lpMem, dwBytes);
    if (block != NULL && (dwFlags & HEAP_ZERO_MEMORY) != 0 && dwBytes > old_size) {
        memset(static_cast<char*>(block) + old_size, 0, dwBytes - old_size);
    }
    return block;
}

// Frees a block HeapAlloc returned; freeing NULL succeeds and does nothing.
BOOL WINAPI HeapFree(HANDLE, DWORD, LPVOID lpMem) {
    if (lpMem != NULL) {
        void* raw = static_cast<BlockHeader*>(lpMem) - 1;
        sim::win32::ForgetBlock(raw);
        free(raw);
    }
    return TRUE;
}
