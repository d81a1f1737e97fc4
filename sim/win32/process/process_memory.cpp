#include "win32/process/process_memory.h"

#include <new>
#include <unordered_map>
#include <vector>

#include "pc/machine.h"
#include "win32/process/process.h"

namespace sim::win32 {
namespace {

struct OwnedBlock {
    uint32_t process_id;
    size_t alignment;
    BlockRelease release;
};

// Looked up by address only; the order of release does not show anywhere.
struct ProcessMemory {
    std::unordered_map<void*, OwnedBlock> blocks;
};

ProcessMemory& Memory() {
    return Machine::Current().Extension<ProcessMemory>();
}

void ReleaseNew(void* block, size_t alignment) {
    if (alignment != 0) {
        ::operator delete(block, std::align_val_t(alignment));
    } else {
        ::operator delete(block);
    }
}

}  // namespace

void AdoptBlock(void* block, size_t alignment, BlockRelease release) {
    Memory().blocks[block] = {CurrentProcess().id(), alignment, release};
}

bool ForgetBlock(void* block) {
    return Memory().blocks.erase(block) != 0;
}

void ReleaseProcessMemory(uint32_t process_id) {
    std::vector<std::pair<void*, OwnedBlock>> owned;
    for (const auto& [block, owner] : Memory().blocks) {
        if (owner.process_id == process_id) {
            owned.emplace_back(block, owner);
        }
    }
    for (const auto& [block, owner] : owned) {
        Memory().blocks.erase(block);
        owner.release(block, owner.alignment);
    }
}

void* ProgramAllocate(size_t size, size_t alignment) {
    void* block =
        alignment != 0 ? ::operator new(size, std::align_val_t(alignment)) : ::operator new(size);
    AdoptBlock(block, alignment, ReleaseNew);
    return block;
}

void ProgramFree(void* block) {
    if (block == nullptr) {
        return;
    }
    auto found = Memory().blocks.find(block);
    size_t alignment = found != Memory().blocks.end() ? found->second.alignment : 0;
    if (found != Memory().blocks.end()) {
        Memory().blocks.erase(found);
    }
    ReleaseNew(block, alignment);
}

}  // namespace sim::win32
