#include "win32/process/program_images.h"

#include <algorithm>
#include <map>

#include "win32/ascii_lower.h"

namespace sim::win32 {
namespace {

std::string Key(std::string name) {
    name = AsciiLower(name);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) {
        name.resize(name.size() - 4);
    }
    return name;
}

// Filled before main runs, read-only afterwards: not per machine.
std::map<std::string, ProgramImage>& Images() {
    static std::map<std::string, ProgramImage> images;
    return images;
}

}  // namespace

void RegisterProgramImage(const ProgramImage& image) {
    Images()[Key(image.name)] = image;
}

const ProgramImage* FindProgramImage(const std::string& name) {
    auto found = Images().find(Key(name));
    return found == Images().end() ? nullptr : &found->second;
}

}  // namespace sim::win32
