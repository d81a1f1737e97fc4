// Compiled into every program module: the module's operator new and delete allocate from
// its process, so that what a killed program still holds goes with its process.
#include <cstddef>
#include <new>

namespace sim::win32 {
void* ProgramAllocate(std::size_t size, std::size_t alignment);
void ProgramFree(void* block);
}  // namespace sim::win32

void* operator new(std::size_t size) {
    return sim::win32::ProgramAllocate(size, 0);
}
void* operator new[](std::size_t size) {
    return sim::win32::ProgramAllocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return sim::win32::ProgramAllocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return sim::win32::ProgramAllocate(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return sim::win32::ProgramAllocate(size, 0);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}

void operator delete(void* block) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete[](void* block) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete(void* block, std::size_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    sim::win32::ProgramFree(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    sim::win32::ProgramFree(block);
}
