#include "win32/process/process.h"

#include <algorithm>

#include "pc/machine.h"
#include "win32/kernel32/console.h"
#include "win32/kernel32/machine_link.h"
#include "win32/process/module.h"
#include "win32/process/process_memory.h"
#include "win32/process/program_images.h"

namespace sim::win32 {

// The machine's processes; the default one holds the threads no process started.
class ProcessTable {
  public:
    ProcessTable() {
        default_ = std::make_shared<Process>(NewId(), "default", 1, kFirstInstance);
        default_->permanent_ = true;
        host_thread_ = std::make_shared<Thread>(default_.get(), NewId(), "host");
        host_thread_->started = true;
    }
    // Modules still loaded when the machine goes (a run that stopped) unload here, on the
    // host thread, once no simulated thread runs their code any more.
    ~ProcessTable() {
        for (auto& process : started_) {
            acting_ = process.get();
            process->module_.reset();
        }
        acting_ = nullptr;
    }

    uint32_t NewId() { return next_id_ += 4; }
    std::vector<ProcessEndHook> end_hooks;
    int NextCopy(const std::string& image) { return ++copies_[image]; }
    uintptr_t NextInstance() const { return kFirstInstance + (started_.size() + 1) * 0x100000; }

    Thread& CurrentThread() {
        SimThread* sim = CurrentScheduler().Current();
        if (sim == nullptr) {
            return *host_thread_;
        }
        if (sim->user_thread == nullptr) {
            // A thread the scheduler runs for a test or the scenario: it joins the default
            // process for good (nothing tells the stand-in when it ends).
            auto adopted = std::make_shared<Thread>(default_.get(), NewId(), sim->name());
            adopted->started = true;
            adopted_.push_back(adopted);
            sim->user_thread = adopted.get();
        }
        return *static_cast<Thread*>(sim->user_thread);
    }

    static constexpr uintptr_t kFirstInstance = 0x00400000;
    std::shared_ptr<Process> default_;
    std::shared_ptr<Thread> host_thread_;
    std::vector<std::shared_ptr<Thread>> adopted_;
    std::vector<std::shared_ptr<Process>> started_;
    // Set while a module unloads on a thread that is not one of its process's.
    Process* acting_ = nullptr;
    // Handles (kernel objects, registry keys, devices) that programs ending on their own left
    // open; Windows closes them, but each is the program's leak.
    size_t handles_left = 0;

  private:
    uint32_t next_id_ = 0x3E4;
    std::map<std::string, int> copies_;
};

namespace {

ProcessTable& Table() {
    return Machine::Current().Extension<ProcessTable>();
}

}  // namespace

// The end of a thread: it is signaled and leaves its process, which ends with its last thread.
struct ThreadEnd {
    static void Now(const std::shared_ptr<Thread>& thread) {
        thread->sim = nullptr;
        thread->SetSignaled();
        thread->process().ThreadEnded(thread.get());
    }
    // When the body has returned or been unwound.
    ~ThreadEnd() { Now(thread); }
    std::shared_ptr<Thread> thread;
};

namespace {

void RunThread(const std::shared_ptr<Thread>& thread, const std::function<uint32_t()>& body) {
    Scheduler& scheduler = CurrentScheduler();
    thread->sim = scheduler.Current();
    thread->sim->user_thread = thread.get();
    thread->started = true;
    ThreadEnd end{thread};
    while (thread->suspend_count > 0) {
        scheduler.Block(&thread->suspend_count, std::nullopt, "ResumeThread (created suspended)");
    }
    race::Acquire(&thread->suspend_count);
    thread->exit_code = body();
}

// Ends another thread of a process with `exit_code`; one that never ran ends at once.
void TerminateOther(const std::shared_ptr<Thread>& thread, uint32_t exit_code) {
    thread->exit_code = exit_code;
    if (thread->sim == nullptr) {
        return;
    }
    CurrentScheduler().Terminate(thread->sim);
    if (!thread->started) {
        ThreadEnd::Now(thread);
    }
}

std::shared_ptr<Process> NewProcess(const std::string& image, const std::string& command_line) {
    ProcessTable& table = Table();
    return std::make_shared<Process>(table.NewId(), image, table.NextCopy(image),
                                     table.NextInstance(), command_line);
}

// The first thread: the program's entry, then ExitProcess with its result.
void StartFirstThread(const std::shared_ptr<Process>& process, std::function<uint32_t()> entry) {
    Table().started_.push_back(process);
    Process* raw = process.get();
    process->SpawnThread(
        [raw, entry = std::move(entry)] {
            uint32_t code = entry();
            raw->ExitFromThread(code);
            return code;
        },
        false);
}

}  // namespace

Thread::Thread(Process* process, uint32_t id, std::string name)
    : process_(process), id_(id), name_(std::move(name)) {}

Process::Process(uint32_t id, std::string image, int copy, uintptr_t instance,
                 std::string command_line)
    : id_(id),
      image_(std::move(image)),
      copy_(copy),
      instance_(instance),
      command_line_(std::move(command_line)) {}

Process::~Process() = default;

const SimThread* Process::SignaledBy() const {
    return threads_.size() == 1 ? threads_.front()->sim : nullptr;
}

std::string Process::DisplayName() const {
    return copy_ <= 1 ? image_ : image_ + "#" + std::to_string(copy_);
}

std::string Process::NextThreadName() {
    ++threads_made_;
    bool main = threads_made_ == 1 && !permanent_;
    return DisplayName() + (main ? " main" : " thread " + std::to_string(threads_made_));
}

// ExitProcess: the other threads are unwound, then the caller's own end tears the process down.
void Process::ExitFromThread(uint32_t exit_code) {
    exit_code_ = exit_code;
    exiting_ = true;
    Thread* self = &CurrentThread();
    for (const std::shared_ptr<Thread>& thread : std::vector(threads_)) {
        if (thread.get() != self) {
            TerminateOther(thread, exit_code);
        }
    }
    while (threads_.size() > 1) {
        CurrentScheduler().Block(&threads_, std::nullopt,
                                 "ExitProcess (the process's other threads to end)");
    }
    race::Acquire(&threads_);
}

// What each thread did happens before the process's end and its teardown.
void Process::ThreadEnded(Thread* thread) {
    race::Release(&threads_);
    threads_.erase(std::find_if(threads_.begin(), threads_.end(),
                                [thread](const auto& held) { return held.get() == thread; }));
    if (exiting_ && threads_.size() == 1) {
        CurrentScheduler().Signal(&threads_, true);
    }
    if (threads_.empty() && !permanent_) {
        race::Acquire(&threads_);
        Teardown();
    }
}

// As on Windows, the module's static destructors run before the handles are closed, and the
// process is signaled once they are. Closing a device handle sends the driver requests that
// may have to wait: a thread being unwound cannot, so a thread of its own does it then (and
// in a run that has stopped, nothing does).
void Process::Teardown() {
    if (exit_code_ == kStillActive) {
        exit_code_ = 0;
    }
    ProcessTable& table = Table();
    size_t left = handles.objects.size() + device_handles.size();
    if (!terminated_ && left > 0) {
        table.handles_left += left;
        Machine::Current().Log(
            "proc", DisplayName() + " ended with " + std::to_string(left) + " handles open");
    }
    Process* outer = table.acting_;
    table.acting_ = this;
    module_.reset();
    EndConsoleLine(*this);
    ReleaseProcessMemory(id_);
    for (const ProcessEndHook& hook : table.end_hooks) {
        hook(id_, terminated_);
    }
    std::map<uintptr_t, std::shared_ptr<KernelObject>> closing;
    closing.swap(handles.objects);
    closing.clear();
    table.acting_ = outer;
    std::vector<uintptr_t> devices;
    devices.swap(device_handles);
    auto finish = [this, devices] {
        for (uintptr_t device : devices) {
            CloseDevice(device);
        }
        ended_ = true;
        SetSignaled();
    };
    if (devices.empty() || !CurrentScheduler().Unwinding()) {
        finish();
    } else {
        CurrentScheduler().Spawn(DisplayName() + " exit", finish);
    }
}

std::shared_ptr<Thread> Process::SpawnThread(std::function<uint32_t()> body, bool suspended) {
    auto thread = std::make_shared<Thread>(this, Table().NewId(), NextThreadName());
    thread->suspend_count = suspended ? 1 : 0;
    threads_.push_back(thread);
    thread->sim = CurrentScheduler().Spawn(
        thread->name(), [thread, body = std::move(body)] { RunThread(thread, body); });
    thread->sim->sleeps_with_system = true;
    return thread;
}

uint32_t Process::RunModule(const std::string& path) {
    std::string error;
    module_ = LoadedModule::Load(path, &error);
    if (module_ == nullptr) {
        Machine::Current().Log("proc", DisplayName() + " cannot start: " + error);
        return 0xC0000135;  // STATUS_DLL_NOT_FOUND, as the loader ends such a process
    }
    constexpr int kShowNormal = 1;  // SW_SHOWNORMAL, as the shell starts a program
    return static_cast<uint32_t>(module_->entry()(reinterpret_cast<void*>(instance_), nullptr,
                                                  command_line_.data(), kShowNormal));
}

std::shared_ptr<Process> StartProcess(const std::string& image, const std::string& command_line,
                                      const StartOptions& options, std::string* error) {
    const ProgramImage* program = FindProgramImage(image);
    if (program == nullptr) {
        if (error != nullptr) {
            *error = "no program image " + image;
        }
        return nullptr;
    }
    std::shared_ptr<Process> process = NewProcess(program->name, command_line);
    // A program without a resource script (a console tool) has no resources to read.
    if (!program->resource_path.empty() && !process->resources.Load(program->resource_path)) {
        if (error != nullptr) {
            *error = "cannot read the resources " + program->resource_path;
        }
        return nullptr;
    }
    process->resources.string_overrides = options.strings;
    process->console = options.console;
    Process* raw = process.get();
    StartFirstThread(process, [raw, path = program->module_path] { return raw->RunModule(path); });
    return process;
}

std::shared_ptr<Process> StartBuiltinProcess(const std::string& image,
                                             const std::string& command_line,
                                             std::function<uint32_t()> body) {
    std::shared_ptr<Process> process = NewProcess(image, command_line);
    StartFirstThread(process, std::move(body));
    return process;
}

std::shared_ptr<Thread> CreateProcessThread(std::function<uint32_t()> body, bool suspended) {
    return CurrentProcess().SpawnThread(std::move(body), suspended);
}

void EndProcess(Process& process, uint32_t exit_code) {
    if (process.ended_ || process.permanent_) {
        return;
    }
    process.exit_code_ = exit_code;
    process.exiting_ = true;
    process.terminated_ = true;
    Thread* self = &CurrentThread();
    bool own = false;
    for (const std::shared_ptr<Thread>& thread : std::vector(process.threads_)) {
        if (thread.get() == self) {
            own = true;
        } else {
            TerminateOther(thread, exit_code);
        }
    }
    if (own) {
        self->exit_code = exit_code;
        CurrentScheduler().Terminate(self->sim);
    }
}

size_t HandlesLeftByPrograms() {
    return Table().handles_left;
}

void AddProcessEndHook(ProcessEndHook hook) {
    Table().end_hooks.push_back(std::move(hook));
}

void TerminateAllProcesses() {
    Process* own = &CurrentProcess();
    for (const std::shared_ptr<Process>& process : std::vector(Table().started_)) {
        if (process.get() != own) {
            EndProcess(*process, 0);
        }
    }
    EndProcess(*own, 0);
}

Thread& CurrentThread() {
    return Table().CurrentThread();
}

Process& CurrentProcess() {
    ProcessTable& table = Table();
    return table.acting_ != nullptr ? *table.acting_ : table.CurrentThread().process();
}

std::vector<std::shared_ptr<Process>> StartedProcesses() {
    return Table().started_;
}

Process* ProcessOfInstance(uintptr_t instance) {
    ProcessTable& table = Table();
    if (table.default_->instance() == instance) {
        return table.default_.get();
    }
    for (const std::shared_ptr<Process>& process : table.started_) {
        if (process->instance() == instance) {
            return process.get();
        }
    }
    return nullptr;
}

}  // namespace sim::win32
