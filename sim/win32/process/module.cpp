#include "win32/process/module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace sim::win32 {
namespace {

// A private copy of the module's file; the loader keeps its mapping after the file is gone.
std::string CopyToTemporary(const std::string& path, std::string* error) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "win32-image-XXXXXX.so").string();
    int fd = mkstemps(pattern.data(), 3);
    if (fd < 0) {
        *error = "cannot make a temporary copy of " + path;
        return "";
    }
    close(fd);
    std::error_code failed;
    std::filesystem::copy_file(path, pattern, std::filesystem::copy_options::overwrite_existing,
                               failed);
    if (failed) {
        std::filesystem::remove(pattern);
        *error = "cannot copy " + path + ": " + failed.message();
        return "";
    }
    return pattern;
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string* error) {
    std::string copy = CopyToTemporary(path, error);
    if (copy.empty()) {
        return nullptr;
    }
    // RTLD_NOW: a Win32 call the stand-in lacks fails the start, not the program later.
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::filesystem::remove(copy);
    if (handle == nullptr) {
        *error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<WinMainEntry>(dlsym(handle, "WinMain"));
    if (entry == nullptr) {
        dlclose(handle);
        *error = path + " has no WinMain";
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(new LoadedModule(handle, entry));
}

LoadedModule::~LoadedModule() {
    dlclose(handle_);
}

}  // namespace sim::win32
