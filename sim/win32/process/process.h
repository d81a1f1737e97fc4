// Processes and threads of the simulated PC's programs. A process is a copy of a program
// image (a shared module with its own globals, or a built-in program such as cmd.exe), its
// threads, its handle table, its TLS slots, its resources and an exit code; it is signaled
// once its last thread has ended. Threads that no process started (a test's own threads and
// the host thread) belong to a default process, so every Win32 call has a process to act in.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win32/kernel32/kernel_objects.h"
#include "win32/process/resources.h"

namespace sim::win32 {

constexpr uint32_t kStillActive = 259;  // STILL_ACTIVE: the exit code of a running thread

class Process;
class LoadedModule;

class Thread : public Waitable {
  public:
    Thread(Process* process, uint32_t id, std::string name);
    std::string Describe() const override { return "thread '" + name_ + "'"; }
    const SimThread* SignaledBy() const override { return sim; }

    uint32_t id() const { return id_; }
    const std::string& name() const { return name_; }
    Process& process() const { return *process_; }

    SimThread* sim = nullptr;  // while the thread exists in the scheduler
    bool started = false;
    int suspend_count = 0;
    int priority = 0;
    uint32_t exit_code = kStillActive;
    std::vector<void*> tls;  // by slot index

  private:
    Process* process_;
    uint32_t id_;
    std::string name_;
};

struct HandleTable {
    std::map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    uintptr_t next = 0x70000000;  // multiples of four, as Windows' handles are
};

class Process : public Waitable {
  public:
    Process(uint32_t id, std::string image, int copy, uintptr_t instance,
            std::string command_line = "");
    ~Process() override;
    std::string Describe() const override { return "process '" + DisplayName() + "'"; }
    const SimThread* SignaledBy() const override;

    uint32_t id() const { return id_; }
    const std::string& image() const { return image_; }
    // 1 for the first copy of an image started on this machine, 2 for the second...
    int copy() const { return copy_; }
    // "Ampwise", "Ampwise#2": how logs and thread names tell the copies apart.
    std::string DisplayName() const;
    uintptr_t instance() const { return instance_; }
    uint32_t exit_code() const { return exit_code_; }
    bool ended() const { return ended_; }
    const std::string& command_line() const { return command_line_; }
    // The threads that have not ended, first thread first.
    const std::vector<std::shared_ptr<Thread>>& threads() const { return threads_; }

    Resources resources;
    HandleTable handles;
    std::vector<bool> tls_slots;             // which TLS indexes are allocated
    std::map<std::string, uintptr_t> icons;  // icon group ("128", "MAINICON") -> its HICON
    std::vector<uintptr_t> device_handles;   // closed, as the rest, when the process ends
    // A console program's console (GetStdHandle): whether it has one, and the text written
    // to it since the last line end. A GUI program has none.
    bool console = false;
    std::string console_text;

    // Runs on the first thread: loads the module from `path` (its static constructors run
    // now) and calls its WinMain; the process's exit code if it cannot be loaded.
    uint32_t RunModule(const std::string& path);
    // ExitProcess on one of its threads: unwinds the others and waits until they have ended.
    void ExitFromThread(uint32_t exit_code);
    // A new thread of this process, run when the scheduler chooses it.
    std::shared_ptr<Thread> SpawnThread(std::function<uint32_t()> body, bool suspended);

  private:
    friend class ProcessTable;
    friend struct ThreadEnd;
    friend void EndProcess(Process& process, uint32_t exit_code);
    // "Ampwise main" for the first thread, "Ampwise thread 2" and on for the others; the
    // deadlock report and USER32's wait texts name threads so.
    std::string NextThreadName();
    void ThreadEnded(Thread* thread);
    void Teardown();

    uint32_t id_;
    std::string image_;
    int copy_;
    uintptr_t instance_;
    std::string command_line_;
    uint32_t exit_code_ = kStillActive;
    bool exiting_ = false;
    bool terminated_ = false;  // ended by EndProcess
    bool ended_ = false;
    bool permanent_ = false;  // the default process never ends
    int threads_made_ = 0;
    std::vector<std::shared_ptr<Thread>> threads_;
    std::unique_ptr<LoadedModule> module_;
};

struct StartOptions {
    // Replaces string-table entries of the copy before it starts (ampsim: str1002=TEXT).
    std::map<uint32_t, std::string> strings;
    // Started from a command prompt: the program writes to its console, whose lines the
    // event log shows as `proc NAME TEXT`.
    bool console = false;
};

// Starts a copy of a program image registered with RegisterProgramImage (program_images.h):
// reads the resources, then loads the module and runs WinMain on the first thread. Null when
// the image is unknown or its resources unreadable (the reason in *error); a module that
// does not load ends the process with STATUS_DLL_NOT_FOUND and a "proc" line saying why.
std::shared_ptr<Process> StartProcess(const std::string& image, const std::string& command_line,
                                      const StartOptions& options = {},
                                      std::string* error = nullptr);
// Starts a program without a module: `body` runs on the first thread and returns the exit code.
std::shared_ptr<Process> StartBuiltinProcess(const std::string& image,
                                             const std::string& command_line,
                                             std::function<uint32_t()> body);
// Creates a thread of the current process that runs `body`, suspended if asked; the thread
// is not yet in any handle table.
std::shared_ptr<Thread> CreateProcessThread(std::function<uint32_t()> body, bool suspended);

// Ends the process as TerminateProcess does: each thread is unwound, then the module is
// unloaded and the handles closed. Ending one's own process does not return.
void EndProcess(Process& process, uint32_t exit_code);
// Ends every process still running, for the end of a run.
void TerminateAllProcesses();

// Called as a process is torn down, with whether it was ended from outside (EndProcess, the
// end of a run) rather than by returning from its entry or calling ExitProcess: what other
// parts of the system keep per process goes with it.
using ProcessEndHook = std::function<void(uint32_t process_id, bool terminated)>;
void AddProcessEndHook(ProcessEndHook hook);
// Handles that programs which ended on their own had left open, over the whole run.
size_t HandlesLeftByPrograms();

// The calling thread and its process (the default process outside any started one).
Thread& CurrentThread();
Process& CurrentProcess();
// Every process started on this machine, in start order, ended ones included.
std::vector<std::shared_ptr<Process>> StartedProcesses();
// The process whose module has this instance handle; null for an unknown one.
Process* ProcessOfInstance(uintptr_t instance);

}  // namespace sim::win32
