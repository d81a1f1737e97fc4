// Execution contexts switched explicitly on one host thread: the simulated threads' bodies
// run on stacks of their own, and a handoff is a switch of stack pointers instead of a
// wake-up of another host thread (no system call, no host scheduling).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sim {

class Fiber {
  public:
    // The calling host thread's own context, the one a run starts from and returns to.
    Fiber() = default;
    // A context that starts entry(argument) on a fresh stack when first switched to. The
    // entry never returns: it leaves with ExitTo.
    Fiber(void (*entry)(void*), void* argument);
    ~Fiber();
    Fiber(const Fiber&) = delete;
    Fiber& operator=(const Fiber&) = delete;

    // Saves this context (which must be the one running) and resumes `next`; returns when
    // something switches back here.
    void SwitchTo(Fiber& next);
    // Leaves this context for good; its stack may be released as soon as `next` runs.
    [[noreturn]] void ExitTo(Fiber& next);
    // The name the race detector's reports give this context: the thread's, and the seed that
    // reproduces the run.
    void Name(const std::string& thread, uint64_t seed);

  private:
    static void Start(void* fiber);
    // The address and thread sanitizers' notes that a switch is about to happen and has happened.
    void BeginSwitch(Fiber& next, bool for_good);
    void EndSwitch();

    void* saved_sp_ = nullptr;  // where the switch left this context's registers
    void (*entry_)(void*) = nullptr;
    void* argument_ = nullptr;
    void* mapping_ = nullptr;  // guard page and stack
    size_t mapping_size_ = 0;
    // The stack's extent as the address sanitizer knows it, and its saved fake stack.
    const void* stack_bottom_ = nullptr;
    size_t stack_size_ = 0;
    // Where ExitTo left the stack for good; nullptr while it may still be resumed.
    const void* exit_point_ = nullptr;
    void* fake_stack_ = nullptr;
    // The thread sanitizer's own context for this one, which orders nothing by switching.
    [[maybe_unused]] void* race_context_ = nullptr;
};

}  // namespace sim
