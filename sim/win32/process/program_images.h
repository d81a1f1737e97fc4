// The program images a host executable can start: each a shared module built by
// add_win32_program and the compiled resources beside it. win32_host_executable generates
// the registrations, so that paths reach the stand-in from the build, not from the sources.
#pragma once

#include <string>

namespace sim::win32 {

struct ProgramImage {
    std::string name;           // "Ampwise"; started as "Ampwise" or "Ampwise.exe"
    std::string module_path;    // the module built from the program's sources
    std::string resource_path;  // its .res file
};

void RegisterProgramImage(const ProgramImage& image);
// Found by name without regard to case, with or without ".exe"; null if unknown.
const ProgramImage* FindProgramImage(const std::string& name);

// Made at static initialisation by the generated image table.
struct ProgramImageRegistration {
    explicit ProgramImageRegistration(const ProgramImage& image) { RegisterProgramImage(image); }
};

}  // namespace sim::win32
