// The simulated pool, laid out as Driver Verifier's special pool lays it out: every block on
// pages of its own, ending 16-byte aligned just before a guard page. A fault on a guard page
// or on a freed block's pages is reported as the bug check Windows would raise and ends the
// process, since the faulting instruction cannot be resumed. Pages are kept and handed out
// again with their guard page in place; only the driver's freed blocks are made inaccessible,
// so a request whose only block is the kernel's system buffer makes no system call.
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "kernel/kernel.h"
#include "pc/machine.h"

namespace sim {
namespace {

constexpr size_t kAlignment = 16;
constexpr uint8_t kFillPattern = 0xCD;   // uninitialised pool reads as garbage, not zeros
constexpr uint8_t kGuardPattern = 0xA5;  // between the block's end and the guard page
constexpr uint8_t kFreedPattern = 0xDF;  // a freed kernel block, until its pages are reused
constexpr size_t kFreedBlocksKept = 64;
// Mappings that left the freed blocks' watch, or a machine that ended, are kept for blocks of
// the same size, instead of mapping and unmapping pages, the host's most expensive part of a
// request and of a machine's boot. They outlive the machine: a fuzzer boots one per input.
constexpr size_t kSpareMappingsKept = 256;
// The race detector forgets what other threads did to memory only when it is mapped again, so
// under it every reused block gets fresh pages.
#ifdef TABVOLT_TSAN
constexpr bool kFreshPagesOnReuse = true;
#else
constexpr bool kFreshPagesOnReuse = false;
#endif

const Pool* g_pool = nullptr;

// A kept mapping; its guard page stays inaccessible.
struct Spare {
    char* mapping;
    bool inaccessible;  // the data pages too
};
struct SpareMappings {
    std::map<size_t, std::vector<Spare>> by_data_size;
    size_t count = 0;
};

SpareMappings& Spares() {
    static auto* spares = new SpareMappings;  // never destroyed: a machine may outlive main
    return *spares;
}

struct sigaction g_previous_segv;
struct sigaction g_previous_bus;

size_t PageSize() {
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

size_t RoundUp(size_t value, size_t unit) {
    return (value + unit - 1) / unit * unit;
}

std::string TagText(uint32_t tag) {
    char text[5] = {static_cast<char>(tag), static_cast<char>(tag >> 8),
                    static_cast<char>(tag >> 16), static_cast<char>(tag >> 24), 0};
    return text;
}

// Runs on the faulting thread. Only the faulting thread runs (the scheduler lets one at a
// time), so the pool's tables are not changing under the lookup.
void OnAccessViolation(int signal, siginfo_t* info, void* context) {
    (void)context;
    std::string report = g_pool != nullptr ? g_pool->DescribeFault(info->si_addr) : "";
    if (report.empty()) {
        // Not ours: the instruction faults again under whoever handled it before.
        sigaction(signal, signal == SIGBUS ? &g_previous_bus : &g_previous_segv, nullptr);
        return;
    }
    std::string text = "BUGCHECK " + report + "\n";
    try {
        Machine& machine = Machine::Current();
        text += "seed " + std::to_string(machine.scheduler.seed()) + "\n--- last events ---\n" +
                machine.log.Tail(15);
    } catch (...) {
    }
    ssize_t ignored = write(STDERR_FILENO, text.data(), text.size());
    (void)ignored;
    std::_Exit(3);
}

void InstallFaultHandler() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnAccessViolation;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &g_previous_segv);
    sigaction(SIGBUS, &action, &g_previous_bus);
}

}  // namespace

Pool::Pool() {
    InstallFaultHandler();
    g_pool = this;
}

Pool::~Pool() {
    if (g_pool == this) {
        g_pool = nullptr;
    }
    for (auto& [start, info] : blocks_) {
        Retire(info, false);
    }
    for (const Block& info : freed_) {
        Retire(info, info.owner == Owner::kDriver);
    }
}

void Pool::Retire(const Block& info, bool inaccessible) {
    SpareMappings& spares = Spares();
    if (spares.count < kSpareMappingsKept) {
        spares.by_data_size[info.data_size].push_back({info.mapping, inaccessible});
        ++spares.count;
    } else {
        munmap(info.mapping, info.data_size + PageSize());
    }
}

char* Pool::MapBlock(size_t data_size) {
    SpareMappings& spares = Spares();
    auto spare = spares.by_data_size.find(data_size);
    if (spare != spares.by_data_size.end() && !spare->second.empty()) {
        const Spare reused = spare->second.back();
        spare->second.pop_back();
        --spares.count;
        if (kFreshPagesOnReuse) {
            mmap(reused.mapping, data_size, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        } else if (reused.inaccessible) {
            mprotect(reused.mapping, data_size, PROT_READ | PROT_WRITE);
        }
        return reused.mapping;
    }
    void* mapping = mmap(nullptr, data_size + PageSize(), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    mprotect(static_cast<char*>(mapping) + data_size, PageSize(), PROT_NONE);
    return static_cast<char*>(mapping);
}

void* Pool::Allocate(size_t bytes, uint32_t tag, Owner owner) {
    if (Machine::Current().faults.Hit(Fault::kPoolAllocation, TagText(tag))) {
        return nullptr;
    }
    const size_t rounded = RoundUp(bytes == 0 ? 1 : bytes, kAlignment);
    const size_t data_size = RoundUp(rounded, PageSize());
    char* mapping = MapBlock(data_size);
    if (mapping == nullptr) {
        return nullptr;
    }
    Block info;
    info.bytes = bytes;
    info.tag = tag;
    info.number = ++allocations_;
    info.mapping = mapping;
    info.data_size = data_size;
    info.start = info.mapping + data_size - rounded;
    info.owner = owner;
    std::memset(info.start, kFillPattern, bytes);
    std::memset(info.start + bytes, kGuardPattern, rounded - bytes);
    blocks_[info.start] = info;
    outstanding_bytes_ += bytes;
    return info.start;
}

void Pool::Free(void* block, uint32_t tag) {
    auto found = blocks_.find(block);
    if (found == blocks_.end()) {
        Machine::Current().BugCheck("BAD_POOL_CALLER: freeing memory that is not allocated");
    }
    const Block info = found->second;
    if (info.tag != tag) {
        Machine::Current().BugCheck("BAD_POOL_CALLER: freeing pool with the wrong tag");
    }
    std::string damage = DamageOf(info);
    if (!damage.empty()) {
        Machine::Current().BugCheck(damage + " when it was freed");
    }
    outstanding_bytes_ -= info.bytes;
    blocks_.erase(found);
    Quarantine(info);
}

void Pool::CheckOutstanding() {
    for (const auto& [start, info] : blocks_) {
        std::string damage = DamageOf(info);
        if (!damage.empty()) {
            Machine::Current().BugCheck(damage + " (found at the end of the run)");
        }
    }
    for (const Block& info : freed_) {
        std::string damage = UseAfterFreeOf(info);
        if (!damage.empty()) {
            Machine::Current().BugCheck(damage + " (found at the end of the run)");
        }
    }
}

void Pool::Quarantine(const Block& info) {
    if (info.owner == Owner::kDriver) {
        mprotect(info.mapping, info.data_size, PROT_NONE);
    } else {
        std::memset(info.start, kFreedPattern, info.mapping + info.data_size - info.start);
    }
    freed_.push_back(info);
    if (freed_.size() <= kFreedBlocksKept) {
        return;
    }
    const Block oldest = freed_.front();
    freed_.pop_front();
    std::string damage = UseAfterFreeOf(oldest);
    if (!damage.empty()) {
        Machine::Current().BugCheck(damage + " (found when its pages were reused)");
    }
    Retire(oldest, oldest.owner == Owner::kDriver);
}

std::string Pool::Describe(const Block& info) {
    return "pool block " + TagText(info.tag) + " of " + std::to_string(info.bytes) +
           " bytes (allocation #" + std::to_string(info.number) + ")";
}

std::string Pool::DamageOf(const Block& info) {
    const char* end = info.mapping + info.data_size;
    for (const char* byte = info.start + info.bytes; byte < end; ++byte) {
        if (static_cast<uint8_t>(*byte) != kGuardPattern) {
            return "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: " + Describe(info) +
                   " was written past its end at byte " + std::to_string(byte - info.start);
        }
    }
    return "";
}

std::string Pool::UseAfterFreeOf(const Block& info) {
    if (info.owner == Owner::kDriver) {
        return "";  // its pages are inaccessible: a use faults at once
    }
    const char* end = info.mapping + info.data_size;
    for (const char* byte = info.start; byte < end; ++byte) {
        if (static_cast<uint8_t>(*byte) != kFreedPattern) {
            return "SPECIAL_POOL_DETECTED_MEMORY_CORRUPTION: " + Describe(info) +
                   " was written at byte " + std::to_string(byte - info.start) +
                   " after it was freed";
        }
    }
    return "";
}

std::string Pool::DescribeFault(const void* address) const {
    const char* at = static_cast<const char*>(address);
    for (const auto& [start, info] : blocks_) {
        const char* guard = info.mapping + info.data_size;
        if (at >= guard && at < guard + PageSize()) {
            return "DRIVER_PAGE_FAULT_BEYOND_END_OF_ALLOCATION: " + Describe(info) +
                   " accessed at byte " + std::to_string(at - info.start);
        }
    }
    for (const Block& info : freed_) {
        if (at >= info.mapping && at < info.mapping + info.data_size + PageSize()) {
            return "DRIVER_PAGE_FAULT_IN_FREED_SPECIAL_POOL: " + Describe(info) +
                   " accessed at byte " + std::to_string(at - info.start) + " after it was freed";
        }
    }
    return "";
}

}  // namespace sim
