#include "sched/fiber.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#if !defined(__x86_64__)
#error "the fiber switch is written for x86-64 (System V calling convention)"
#endif

#if defined(__SANITIZE_ADDRESS__)
#define SIM_FIBER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_FIBER_ASAN 1
#endif
#endif

#ifdef SIM_FIBER_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif
#ifdef TABVOLT_TSAN
#include <sanitizer/tsan_interface.h>
#endif

// Saves the callee-saved registers and the SSE and x87 control words on the running stack,
// stores its pointer in *save, and resumes the context whose stack pointer is `load`. A new
// context's first resumption "returns" into sim_fiber_start, which calls rbx(r12).
extern "C" void sim_fiber_switch(void** save, void* load);
extern "C" void sim_fiber_start();
asm(R"(
    .text
    .globl sim_fiber_switch
    .type sim_fiber_switch, @function
sim_fiber_switch:
    .cfi_startproc
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    subq $8, %rsp
    stmxcsr (%rsp)
    fnstcw 4(%rsp)
    movq %rsp, (%rdi)
    movq %rsi, %rsp
    ldmxcsr (%rsp)
    fldcw 4(%rsp)
    addq $8, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    ret
    .cfi_endproc
    .size sim_fiber_switch, .-sim_fiber_switch

    .globl sim_fiber_start
    .type sim_fiber_start, @function
sim_fiber_start:
    .cfi_startproc
    .cfi_undefined rip
    movq %r12, %rdi
    callq *%rbx
    ud2
    .cfi_endproc
    .size sim_fiber_start, .-sim_fiber_start
)");

#ifdef TABVOLT_TSAN
// The race detector's settings for every program of the build, run by ctest or by hand: the
// first report ends the program with status 66. memcpy, memset and the allocator, which the
// detector intercepts wherever they are called, count for no one's access: the stand-in's
// own bookkeeping uses them too, and a block the allocator hands out is new memory. The
// bug-check printer of a page fault allocates inside its signal handler on purpose. The
// suppressions name the races the product keeps.
extern "C" const char* __tsan_default_options() {
    return "halt_on_error=1 exitcode=66 ignore_interceptors_accesses=1 report_signal_unsafe=0 "
           "suppressions=" TABVOLT_TSAN_SUPPRESSIONS;
}
#endif

namespace sim {
namespace {

// The frame sim_fiber_switch pops, lowest address first.
struct StartFrame {
    uint32_t mxcsr;
    uint16_t fpu_control;
    uint16_t padding;
    void* r15;
    void* r14;
    void* r13;
    void* r12;  // the argument
    void* rbx;  // the routine
    void* rbp;  // zero: the end of every frame chain
    void (*resume)();
};

// Deep enough for the driver's paths with the sanitizers' larger frames; pages are only
// committed when touched, so an idle thread costs a few of them.
constexpr size_t kStackSize = 1 << 20;

#ifdef SIM_FIBER_ASAN
// Below ExitTo's local variable: the rest of its frame, with the sanitizer's red zones.
constexpr ptrdiff_t kExitFrameSlack = 4096;
#endif

// Stacks of ended fibers, with their guard page, kept for the next ones: a machine's boot
// starts a dozen threads and a fuzzer boots a machine per input. The race detector forgets
// what happened on a stack only when it is mapped again, so under it every stack is new.
#ifdef TABVOLT_TSAN
constexpr size_t kStacksKept = 0;
#else
constexpr size_t kStacksKept = 64;
#endif

// Machines run on one host thread at a time.
std::vector<void*>& KeptStacks() {
    static auto* kept = new std::vector<void*>;  // never destroyed: fibers may end after main
    return *kept;
}

#ifdef SIM_FIBER_ASAN
// The context a switch leaves, so that the one it reaches can tell the sanitizer about it.
thread_local Fiber* t_leaving = nullptr;
#endif

}  // namespace

Fiber::Fiber(void (*entry)(void*), void* argument) : entry_(entry), argument_(argument) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    mapping_size_ = kStackSize + page;
    if (!KeptStacks().empty()) {
        mapping_ = KeptStacks().back();
        KeptStacks().pop_back();
    } else {
        mapping_ = mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
        if (mapping_ == MAP_FAILED) {
            throw std::bad_alloc();
        }
        // The lowest page stays inaccessible, so that an overflow faults instead of corrupting.
        mprotect(mapping_, page, PROT_NONE);
    }
    char* stack = static_cast<char*>(mapping_) + page;
    stack_bottom_ = stack;
    stack_size_ = kStackSize;
    // The top is 16-byte aligned, so sim_fiber_start calls with the alignment the ABI wants.
    auto* frame = reinterpret_cast<StartFrame*>(stack + kStackSize - sizeof(StartFrame));
    std::memset(frame, 0, sizeof *frame);
    asm volatile("stmxcsr %0" : "=m"(frame->mxcsr));
    asm volatile("fnstcw %0" : "=m"(frame->fpu_control));
    frame->r12 = this;
    frame->rbx = reinterpret_cast<void*>(&Fiber::Start);
    frame->resume = &sim_fiber_start;
    saved_sp_ = frame;
#ifdef TABVOLT_TSAN
    race_context_ = __tsan_create_fiber(0);
#endif
}

Fiber::~Fiber() {
    if (mapping_ != nullptr) {
#ifdef SIM_FIBER_ASAN
        // Frames left poisoned on this stack must not haunt whatever reuses the memory. Those
        // below where the context was left for good have returned, or were skipped by a call
        // that never returns, which the sanitizer unpoisons before: only the frames above
        // that point (ExitTo's own and its callers') remain. Unpoisoning the whole stack would
        // also hand its shadow pages back to the system, to be faulted in again by the next
        // fiber on it.
        const char* bottom = static_cast<const char*>(stack_bottom_);
        const char* from = bottom;
        if (exit_point_ != nullptr) {
            from = std::max(bottom, static_cast<const char*>(exit_point_) - kExitFrameSlack);
        }
        ASAN_UNPOISON_MEMORY_REGION(from, static_cast<size_t>(bottom + stack_size_ - from));
#endif
        if (KeptStacks().size() < kStacksKept) {
            KeptStacks().push_back(mapping_);
        } else {
            munmap(mapping_, mapping_size_);
        }
#ifdef TABVOLT_TSAN
        __tsan_destroy_fiber(race_context_);
#endif
    }
}

void Fiber::Name(const std::string& thread, uint64_t seed) {
#ifdef TABVOLT_TSAN
    __tsan_set_fiber_name(race_context_, (thread + ", seed " + std::to_string(seed)).c_str());
#else
    (void)thread;
    (void)seed;
#endif
}

void Fiber::Start(void* fiber) {
    auto* self = static_cast<Fiber*>(fiber);
    self->EndSwitch();
    self->entry_(self->argument_);
    std::abort();  // an entry leaves with ExitTo, never by returning
}

void Fiber::SwitchTo(Fiber& next) {
    BeginSwitch(next, false);
    sim_fiber_switch(&saved_sp_, next.saved_sp_);
    EndSwitch();
}

void Fiber::ExitTo(Fiber& next) {
    BeginSwitch(next, true);
    void* abandoned = nullptr;
    exit_point_ = &abandoned;
    sim_fiber_switch(&abandoned, next.saved_sp_);
    std::abort();
}

void Fiber::BeginSwitch(Fiber& next, bool for_good) {
#ifdef TABVOLT_TSAN
    // The host thread's context is known once it is left; it is left before it is resumed.
    if (race_context_ == nullptr) {
        race_context_ = __tsan_get_current_fiber();
    }
    // Only the stand-in's calls order the program's memory, never the switch itself.
    __tsan_switch_to_fiber(next.race_context_, __tsan_switch_to_fiber_no_sync);
#endif
#ifdef SIM_FIBER_ASAN
    t_leaving = this;
    // A context that never comes back gives its fake stack up instead of saving it.
    __sanitizer_start_switch_fiber(for_good ? nullptr : &fake_stack_, next.stack_bottom_,
                                   next.stack_size_);
#else
    (void)next;
    (void)for_good;
#endif
}

void Fiber::EndSwitch() {
#ifdef SIM_FIBER_ASAN
    const void* bottom = nullptr;
    size_t size = 0;
    __sanitizer_finish_switch_fiber(fake_stack_, &bottom, &size);
    // Only the host thread's stack is not ours; the sanitizer tells us its extent here.
    if (t_leaving != nullptr && t_leaving->mapping_ == nullptr) {
        t_leaving->stack_bottom_ = bottom;
        t_leaving->stack_size_ = size;
    }
    t_leaving = nullptr;
#endif
}

}  // namespace sim
