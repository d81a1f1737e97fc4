// A program's module, loaded for one process from a copy of its file of its own: the dynamic
// loader then keeps each copy's globals apart (theApp and the rest), and its static
// constructors run at load on the loading thread, its destructors at unload.
#pragma once

#include <memory>
#include <string>

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
    LoadedModule(void* handle, WinMainEntry entry) : handle_(handle), entry_(entry) {}
    void* handle_;
    WinMainEntry entry_;
};

}  // namespace sim::win32
