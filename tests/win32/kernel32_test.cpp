// KERNEL32's stand-in on its own: status mapping, per-thread last error, critical sections,
// Sleep and debug output, each on simulated threads of a fresh machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "client/debug_print.h"
#include "pc/machine.h"
#include "win32/kernel32/machine_link.h"

namespace {

// Windows' own values on both sides, so that a wrong constant fails as well as a wrong row.
struct MappingCase {
    uint32_t status;
    DWORD error;
};
const MappingCase kMappingCases[] = {
    {0x00000000, 0},     // STATUS_SUCCESS
    {0xC0000023, 122},   // STATUS_BUFFER_TOO_SMALL: ERROR_INSUFFICIENT_BUFFER
    {0xC0000034, 2},     // STATUS_OBJECT_NAME_NOT_FOUND: ERROR_FILE_NOT_FOUND
    {0xC000000E, 2},     // STATUS_NO_SUCH_DEVICE: ERROR_FILE_NOT_FOUND
    {0xC0000184, 22},    // STATUS_INVALID_DEVICE_STATE: ERROR_BAD_COMMAND
    {0xC0000001, 31},    // STATUS_UNSUCCESSFUL: ERROR_GEN_FAILURE
    {0xC000009A, 1450},  // STATUS_INSUFFICIENT_RESOURCES: ERROR_NO_SYSTEM_RESOURCES
    {0xC000000D, 87},    // STATUS_INVALID_PARAMETER: ERROR_INVALID_PARAMETER
    {0xC00000C0, 20},    // STATUS_DEVICE_DOES_NOT_EXIST: ERROR_BAD_UNIT
    {0xC0000010, 1},     // STATUS_INVALID_DEVICE_REQUEST: ERROR_INVALID_FUNCTION
    {0xC00000BB, 50},    // STATUS_NOT_SUPPORTED: ERROR_NOT_SUPPORTED
    {0xC0000008, 6},     // STATUS_INVALID_HANDLE: ERROR_INVALID_HANDLE
    {0xC0000022, 5},     // STATUS_ACCESS_DENIED: ERROR_ACCESS_DENIED
    {0xC0000056, 5},     // STATUS_DELETE_PENDING: ERROR_ACCESS_DENIED
    {0x80000005, 234},   // STATUS_BUFFER_OVERFLOW: ERROR_MORE_DATA
    {0xC0000120, 995},   // STATUS_CANCELLED: ERROR_OPERATION_ABORTED
    {0xC00000B5, 121},   // STATUS_IO_TIMEOUT: ERROR_SEM_TIMEOUT
    {0xC000009D, 21},    // STATUS_DEVICE_NOT_CONNECTED: ERROR_NOT_READY
    {0xC0000BAD, 317},   // no entry: ERROR_MR_MID_NOT_FOUND
};

TEST(Kernel32, StatusesMapToTheErrorsWindowsReports) {
    for (const MappingCase& entry : kMappingCases) {
        EXPECT_EQ(sim::win32::Win32ErrorFromStatus(static_cast<int32_t>(entry.status)), entry.error)
            << std::hex << "status 0x" << entry.status;
    }
}

// Runs the bodies as simulated threads named by their keys, in a fresh machine.
sim::RunOutcome RunThreads(uint64_t seed,
                           const std::vector<std::pair<std::string, std::function<void()>>>& bodies,
                           std::vector<std::string>* app_lines = nullptr) {
    sim::Machine machine(seed);
    for (const auto& [name, body] : bodies) {
        machine.scheduler.Spawn(name, body);
    }
    sim::RunOutcome outcome = machine.scheduler.Run();
    if (app_lines != nullptr) {
        *app_lines = machine.log.Texts("app");
    }
    return outcome;
}

TEST(Kernel32, LastErrorBelongsToTheCallingThread) {
    for (uint64_t seed = 0; seed < 8; ++seed) {
        std::vector<std::string> seen;
        auto body = [&seen](const std::string& name, DWORD error) {
            return [&seen, name, error] {
                SetLastError(error);
                Sleep(1);
                // The other thread set its own value meanwhile.
                seen.push_back(name + "=" + std::to_string(GetLastError()));
            };
        };
        sim::RunOutcome outcome = RunThreads(seed, {{"a", body("a", 2)}, {"b", body("b", 122)}});
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, (std::vector<std::string>{"a=2", "b=122"})) << "seed " << seed;
    }
}

// Two threads each hold the section across a 10 ms sleep; whoever comes second gets in only
// once the first has left, 10 ms later.
TEST(Kernel32, ContendedCriticalSectionAdmitsOneThreadAtATime) {
    for (uint64_t seed = 0; seed < 8; ++seed) {
        CRITICAL_SECTION section;
        InitializeCriticalSection(&section);
        std::vector<std::string> steps;
        auto body = [&](const std::string& name) {
            return [&, name] {
                EnterCriticalSection(&section);
                // Entered twice by its owner, left twice: the second leave frees it.
                EnterCriticalSection(&section);
                steps.push_back(name + " in t=" +
                                std::to_string(sim::CurrentScheduler().Now() / sim::kTicksPerMs));
                LeaveCriticalSection(&section);
                Sleep(10);
                steps.push_back(name + " out");
                LeaveCriticalSection(&section);
            };
        };
        sim::RunOutcome outcome = RunThreads(seed, {{"a", body("a")}, {"b", body("b")}});
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        std::vector<std::string> a_first = {"a in t=0", "a out", "b in t=10", "b out"};
        std::vector<std::string> b_first = {"b in t=0", "b out", "a in t=10", "a out"};
        EXPECT_TRUE(steps == a_first || steps == b_first)
            << "seed " << seed << ": " << ::testing::PrintToString(steps);
        EXPECT_EQ(section.OwningThread, nullptr);
        EXPECT_EQ(section.LockCount, -1);
        DeleteCriticalSection(&section);
    }
}

TEST(Kernel32, ThreadsWaitingForEachOthersSectionsEndInADeadlockReportNamingBoth) {
    CRITICAL_SECTION first;
    CRITICAL_SECTION second;
    InitializeCriticalSection(&first);
    InitializeCriticalSection(&second);
    auto body = [](CRITICAL_SECTION* held, CRITICAL_SECTION* wanted) {
        return [held, wanted] {
            EnterCriticalSection(held);
            Sleep(1);
            EnterCriticalSection(wanted);
            LeaveCriticalSection(wanted);
            LeaveCriticalSection(held);
        };
    };
    sim::RunOutcome outcome =
        RunThreads(0, {{"monitor", body(&first, &second)}, {"window", body(&second, &first)}});
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_EQ(outcome.report,
              "deadlock at t=0.001: threads wait for each other\n"
              "  thread 'window' waits for EnterCriticalSection (owned by 'monitor')\n"
              "  thread 'monitor' waits for EnterCriticalSection (owned by 'window')");
}

TEST(Kernel32, SleepWaitsItsMillisecondsOfVirtualTime) {
    std::vector<sim::Ticks> wakeups;
    RunThreads(0, {{"sleeper", [&] {
                        for (DWORD ms : {0u, 1u, 500u}) {
                            Sleep(ms);
                            wakeups.push_back(sim::CurrentScheduler().Now());
                        }
                    }}});
    EXPECT_EQ(wakeups, (std::vector<sim::Ticks>{0, sim::kTicksPerMs, 501 * sim::kTicksPerMs}));
}

TEST(Kernel32, DebugOutputBecomesAppLinesWithoutTheirFinalLineFeed) {
    std::string long_text(300, 'x');
    std::vector<std::string> lines;
    RunThreads(0,
               {{"app",
                 [&] {
                     OutputDebugStringA("hello world\n");
                     OutputDebugStringA("two\n\n");
                     OutputDebugStringA("no line feed");
                     OutputDebugStringA(NULL);
                     DebugPrint("open filter fail, %d\n", 2);
                     // Cut to the 259 bytes the buffer holds before its terminator.
                     DebugPrint("%s\n", long_text.c_str());
                 }}},
               &lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"dbg hello world", "dbg two", "dbg ",
                                               "dbg no line feed", "dbg open filter fail, 2",
                                               "dbg " + std::string(259, 'x')}));
}

struct CopyCase {
    const char* source;
    int max_length;
    const char* copied;
};
const CopyCase kCopyCases[] = {
    {"abc", 10, "abc"},
    {"abcdef", 4, "abc"},
    {"abc", 4, "abc"},
    {"abc", 1, ""},
};

TEST(Kernel32, LstrcpynCopiesAtMostOneLessThanItsLimitAndTerminates) {
    for (const CopyCase& entry : kCopyCases) {
        char buffer[16];
        memset(buffer, '#', sizeof(buffer));
        EXPECT_STREQ(lstrcpynA(buffer, entry.source, entry.max_length), entry.copied)
            << entry.source << " limit " << entry.max_length;
        EXPECT_EQ(buffer[strlen(entry.copied) + 1], '#') << "wrote beyond the terminator";
    }
}

}  // namespace
