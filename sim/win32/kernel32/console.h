// The console of a program started from a command prompt, as KERNEL32's calls and the
// process's end reach it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sim::win32 {

class Process;

// Whether the handle is one GetStdHandle gives for the console's output or error stream.
bool IsConsoleHandle(uintptr_t handle);
// Adds the bytes to the calling process's console, showing each line as it ends; false when
// the process has no console.
bool WriteConsoleText(const void* bytes, size_t length);
// Shows what the console holds after its last line end, as the process goes.
void EndConsoleLine(Process& process);

}  // namespace sim::win32
