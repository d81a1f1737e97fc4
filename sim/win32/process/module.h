// A program's module, loaded for one process from a copy of its file of its own: the dynamic
// loader then keeps each copy's globals apart (theApp and the rest), and its static
// constructors run at load on the loading thread, its destructors at unload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace sim::win32 {

class LoadedModule {
  public:
    using WinMainEntry = int (*)(void* instance, void* previous, char* command_line, int show);

    // Null and the loader's message in *error if the module cannot be loaded or has no WinMain.
    static std::unique_ptr<LoadedModule> Load(const std::string& path, std::string* error);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    WinMainEntry entry() const { return entry_; }

  private:
    using PageRange = std::pair<uintptr_t, size_t>;
    LoadedModule(void* handle, WinMainEntry entry, std::string copy,
                 std::vector<PageRange> writable)
        : handle_(handle), entry_(entry), copy_(std::move(copy)), writable_(std::move(writable)) {}
    void* handle_;
    WinMainEntry entry_;
    // Kept for the race detector only (make test TSAN=1): the file loaded, removed at unload,
    // and the pages of the copy's globals.
    std::string copy_;
    std::vector<PageRange> writable_;
};

}  // namespace sim::win32
