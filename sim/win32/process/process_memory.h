// Memory that belongs to a process: what a program's module allocates with operator new,
// and its heap's blocks. What the program has not freed when its process ends goes with
// the process, as Windows takes back a process's address space: a program ended in the
// middle of its work leaks nothing on the simulated PC either.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::win32 {

// How a block is given back to the host: the block and the alignment it was made with.
using BlockRelease = void (*)(void* block, size_t alignment);

// Records a block as the calling process's.
void AdoptBlock(void* block, size_t alignment, BlockRelease release);
// Forgets a block the program frees itself; false if no process owned it.
bool ForgetBlock(void* block);
// Gives back every block the process still owns.
void ReleaseProcessMemory(uint32_t process_id);

// The operator new and delete of program modules (process/program_new.cpp forwards to these).
void* ProgramAllocate(size_t size, size_t alignment);
void ProgramFree(void* block);

}  // namespace sim::win32
