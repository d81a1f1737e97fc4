#include "win32/process/module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

namespace sim::win32 {
namespace {

#ifdef TABVOLT_TSAN
// For the race detector: it reads a program's function names from its file when it reports,
// and it must forget what an unloaded copy's threads did where the next copy may be mapped.
constexpr bool kRaceDetector = true;
#else
constexpr bool kRaceDetector = false;
#endif

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

using PageRange = std::pair<uintptr_t, size_t>;

// Unloaded copies stay until the host program ends: the detector's symbolizer may still take
// a later copy's addresses for an earlier one's.
struct UnloadedCopies {
    ~UnloadedCopies() {
        for (const std::string& copy : files) {
            std::filesystem::remove(copy);
        }
    }
    std::vector<std::string> files;
};

void RemoveAtExit(std::string copy) {
    static UnloadedCopies unloaded;
    unloaded.files.push_back(std::move(copy));
}

// The copy's writable pages, where its globals lie.
int FindWritablePages(dl_phdr_info* info, size_t, void* found) {
    auto* module = static_cast<std::pair<const char*, std::vector<PageRange>*>*>(found);
    if (std::strcmp(info->dlpi_name, module->first) != 0) {
        return 0;
    }
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (ElfW(Half) index = 0; index < info->dlpi_phnum; ++index) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[index];
        if (segment.p_type == PT_LOAD && (segment.p_flags & PF_W) != 0) {
            uintptr_t start = info->dlpi_addr + segment.p_vaddr;
            uintptr_t end = (start + segment.p_memsz + page - 1) & ~(page - 1);
            start &= ~(page - 1);
            module->second->push_back({start, end - start});
        }
    }
    return 1;
}

}  // namespace

std::unique_ptr<LoadedModule> LoadedModule::Load(const std::string& path, std::string* error) {
    std::string copy = CopyToTemporary(path, error);
    if (copy.empty()) {
        return nullptr;
    }
    // RTLD_NOW: a Win32 call the stand-in lacks fails the start, not the program later.
    void* handle = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::vector<PageRange> writable;
    if (handle != nullptr && kRaceDetector) {
        std::pair<const char*, std::vector<PageRange>*> module{copy.c_str(), &writable};
        dl_iterate_phdr(&FindWritablePages, &module);
    }
    if (handle == nullptr || !kRaceDetector) {
        std::filesystem::remove(copy);
        copy.clear();
    }
    if (handle == nullptr) {
        *error = dlerror();
        return nullptr;
    }
    auto entry = reinterpret_cast<WinMainEntry>(dlsym(handle, "WinMain"));
    if (entry == nullptr) {
        dlclose(handle);
        if (!copy.empty()) {
            std::filesystem::remove(copy);
        }
        *error = path + " has no WinMain";
        return nullptr;
    }
    return std::unique_ptr<LoadedModule>(
        new LoadedModule(handle, entry, std::move(copy), std::move(writable)));
}

LoadedModule::~LoadedModule() {
    dlclose(handle_);
    if (!copy_.empty()) {
        // The loader unmaps the copy without the race detector seeing it; unmapping the
        // vacated pages once more, which only the detector notices, makes it forget them.
        if (void* still = dlopen(copy_.c_str(), RTLD_NOW | RTLD_NOLOAD)) {
            dlclose(still);
        } else {
            for (const PageRange& range : writable_) {
                munmap(reinterpret_cast<void*>(range.first), range.second);
            }
        }
        RemoveAtExit(std::move(copy_));
    }
}

}  // namespace sim::win32
