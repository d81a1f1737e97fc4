// cmd.exe as a built-in program: "/c COMMAND [> FILE]" with POWERCFG as the one command it
// knows, taking virtual time as the real one takes wall-clock time.
#pragma once

#include <cstdint>
#include <string>

namespace sim::win32 {

// The body of a cmd.exe process started with `parameters`; returns its exit code.
uint32_t RunCmdExe(const std::string& parameters);

}  // namespace sim::win32
