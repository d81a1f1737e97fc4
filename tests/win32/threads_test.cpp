// KERNEL32's threads, waits, TLS, interlocked operations, version and heap, each on simulated
// threads of a fresh machine.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pc/machine.h"
#include "win32/process/process.h"

namespace {

// Runs `body` as the only simulated thread of a fresh machine.
sim::RunOutcome RunOnThread(const std::function<void()>& body, sim::Machine* machine = nullptr) {
    std::unique_ptr<sim::Machine> own;
    if (machine == nullptr) {
        own = std::make_unique<sim::Machine>(0);
        machine = own.get();
    }
    machine->scheduler.Spawn("test", body);
    return machine->scheduler.Run();
}

long NowMs() {
    return static_cast<long>(sim::CurrentScheduler().Now() / sim::kTicksPerMs);
}

DWORD WINAPI ReturnParameter(LPVOID parameter) {
    Sleep(20);
    return static_cast<DWORD>(reinterpret_cast<uintptr_t>(parameter));
}

TEST(Threads, AThreadRunsItsProcedureAndItsHandleSignalsItsEnd) {
    sim::RunOutcome outcome = RunOnThread([] {
        DWORD id = 0;
        HANDLE thread =
            CreateThread(NULL, 0, ReturnParameter, reinterpret_cast<LPVOID>(42), 0, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_NE(id, GetCurrentThreadId());
        DWORD code = 0;
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
        EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(NowMs(), 20);
        ASSERT_TRUE(GetExitCodeThread(thread, &code));
        EXPECT_EQ(code, 42u);
        // Signaled for good: a second wait returns at once.
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);
        EXPECT_TRUE(CloseHandle(thread));
        EXPECT_FALSE(CloseHandle(thread));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
}

TEST(Threads, ASuspendedThreadStartsOnlyWhenResumed) {
    std::vector<std::string> steps;
    sim::RunOutcome outcome = RunOnThread([&] {
        HANDLE thread = CreateThread(
            NULL, 0,
            [](LPVOID param) -> DWORD {
                static_cast<std::vector<std::string>*>(param)->push_back("ran t=" +
                                                                         std::to_string(NowMs()));
                return 0;
            },
            &steps, CREATE_SUSPENDED, NULL);
        Sleep(30);
        steps.push_back("resume t=" + std::to_string(NowMs()));
        EXPECT_EQ(ResumeThread(thread), 1u);
        EXPECT_EQ(ResumeThread(thread), 0u);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_EQ(steps, (std::vector<std::string>{"resume t=30", "ran t=30"}));
}

TEST(Threads, AWaitWithTimeoutEndsOnItsDeadlineOfVirtualTime) {
    sim::RunOutcome outcome = RunOnThread([] {
        HANDLE thread = CreateThread(NULL, 0, ReturnParameter, NULL, 0, NULL);
        EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(WaitForSingleObject(thread, 15), static_cast<DWORD>(WAIT_TIMEOUT));
        EXPECT_EQ(NowMs(), 15);
        EXPECT_EQ(WaitForSingleObject(thread, 100), WAIT_OBJECT_0);
        EXPECT_EQ(NowMs(), 20);
        CloseHandle(thread);
        EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
}

HANDLE g_waited_for[2];

DWORD WINAPI WaitForTheOther(LPVOID index) {
    WaitForSingleObject(g_waited_for[reinterpret_cast<uintptr_t>(index)], INFINITE);
    return 0;
}

TEST(Threads, ThreadsWaitingForEachOtherEndInADeadlockReportNamingBoth) {
    sim::RunOutcome outcome = RunOnThread([] {
        HANDLE first = CreateThread(NULL, 0, WaitForTheOther, reinterpret_cast<LPVOID>(0),
                                    CREATE_SUSPENDED, NULL);
        HANDLE second = CreateThread(NULL, 0, WaitForTheOther, reinterpret_cast<LPVOID>(1),
                                     CREATE_SUSPENDED, NULL);
        g_waited_for[0] = second;
        g_waited_for[1] = first;
        ResumeThread(first);
        Sleep(1);
        ResumeThread(second);
        WaitForSingleObject(first, INFINITE);
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_EQ(outcome.report,
              "deadlock at t=0.001: threads wait for each other\n"
              "  thread 'default thread 2' waits for WaitForSingleObject (thread 'default thread "
              "1')\n"
              "  thread 'default thread 1' waits for WaitForSingleObject (thread 'default thread "
              "2')");
}

TEST(Threads, TlsSlotsHoldAValuePerThread) {
    sim::RunOutcome outcome = RunOnThread([] {
        DWORD slot = TlsAlloc();
        ASSERT_NE(slot, TLS_OUT_OF_INDEXES);
        EXPECT_NE(TlsAlloc(), slot);
        int mine = 1;
        ASSERT_TRUE(TlsSetValue(slot, &mine));
        static DWORD shared_slot;
        shared_slot = slot;
        HANDLE other = CreateThread(
            NULL, 0,
            [](LPVOID) -> DWORD {
                SetLastError(ERROR_ACCESS_DENIED);
                DWORD seen = TlsGetValue(shared_slot) == NULL ? 0 : 1;
                // A NULL value is told from a failure by the cleared last error.
                seen |= GetLastError() == ERROR_SUCCESS ? 0 : 2;
                int theirs = 2;
                TlsSetValue(shared_slot, &theirs);
                return seen;
            },
            NULL, 0, NULL);
        WaitForSingleObject(other, INFINITE);
        DWORD seen = 99;
        GetExitCodeThread(other, &seen);
        EXPECT_EQ(seen, 0u) << "the new thread saw another thread's value or an error";
        EXPECT_EQ(TlsGetValue(slot), &mine);
        EXPECT_TRUE(TlsFree(slot));
        EXPECT_EQ(TlsGetValue(slot), nullptr);
        EXPECT_FALSE(TlsFree(slot));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(TlsGetValue(1088), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        CloseHandle(other);
    });
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
}

TEST(Threads, AProcessHasAsManyTlsSlotsAsWindowsGives) {
    sim::Machine machine(0);
    std::vector<DWORD> slots;
    for (DWORD slot = TlsAlloc(); slot != TLS_OUT_OF_INDEXES; slot = TlsAlloc()) {
        slots.push_back(slot);
    }
    EXPECT_EQ(slots.size(), 1088u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
    // A freed slot is the next one handed out.
    EXPECT_TRUE(TlsFree(700));
    EXPECT_EQ(TlsAlloc(), 700u);
}

struct PriorityCase {
    int priority;
    BOOL accepted;
};
const PriorityCase kPriorityCases[] = {
    {THREAD_PRIORITY_ABOVE_NORMAL, TRUE},
    {THREAD_PRIORITY_LOWEST, TRUE},
    {THREAD_PRIORITY_HIGHEST, TRUE},
    {THREAD_PRIORITY_IDLE, TRUE},
    {THREAD_PRIORITY_TIME_CRITICAL, TRUE},
    {3, FALSE},
    {-3, FALSE},
    {16, FALSE},
};

TEST(Threads, SetThreadPriorityAcceptsTheNormalClassLevels) {
    RunOnThread([] {
        for (const PriorityCase& entry : kPriorityCases) {
            SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
            EXPECT_EQ(SetThreadPriority(GetCurrentThread(), entry.priority), entry.accepted)
                << entry.priority;
            EXPECT_EQ(GetThreadPriority(GetCurrentThread()),
                      entry.accepted ? entry.priority : THREAD_PRIORITY_NORMAL);
        }
        EXPECT_FALSE(SetThreadPriority(reinterpret_cast<HANDLE>(0x1234), 0));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    });
}

TEST(Threads, InterlockedOperationsReturnWhatWindowsReturns) {
    volatile LONG value = 5;
    EXPECT_EQ(InterlockedExchange(&value, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 8), 9);
    EXPECT_EQ(value, 9) << "stored although the comparand differed";
    EXPECT_EQ(InterlockedCompareExchange(&value, 1, 9), 9);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(InterlockedIncrement(&value), 2);
    EXPECT_EQ(InterlockedDecrement(&value), 1);
    value = 0x7FFFFFFF;
    EXPECT_EQ(InterlockedIncrement(&value), static_cast<LONG>(0x80000000));
}

struct VersionSizeCase {
    DWORD size;
    BOOL accepted;
};
const VersionSizeCase kVersionSizeCases[] = {
    {148, TRUE}, {156, TRUE}, {0, FALSE}, {147, FALSE}, {149, FALSE}, {276, FALSE}, {284, FALSE},
};

TEST(Version, GetVersionExAcceptsOnlyTheAnsiStructureSizes) {
    sim::Machine machine(0);
    machine.kernel.version = {6, 2, 9200};
    for (const VersionSizeCase& entry : kVersionSizeCases) {
        OSVERSIONINFOEXA info;
        memset(&info, 0xCC, sizeof info);
        info.dwOSVersionInfoSize = entry.size;
        SetLastError(0);
        EXPECT_EQ(GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info)), entry.accepted)
            << entry.size;
        if (entry.accepted) {
            EXPECT_EQ(info.dwMajorVersion, 6u);
            EXPECT_EQ(info.dwMinorVersion, 2u);
            EXPECT_EQ(info.dwBuildNumber, 9200u);
            EXPECT_EQ(info.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
            EXPECT_EQ(info.szCSDVersion[0], '\0');
        } else {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
            EXPECT_EQ(info.dwMajorVersion, 0xCCCCCCCCu) << "written although refused";
        }
    }
    EXPECT_EQ(sizeof(OSVERSIONINFOA), 148u);
    EXPECT_EQ(sizeof(OSVERSIONINFOEXA), 156u);
}

// A .res holding one RT_MANIFEST resource 1 whose compatibility section names `os_ids`.
std::vector<uint8_t> ManifestRes(const std::vector<std::string>& os_ids) {
    std::string xml =
        "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
        "<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>";
    for (const std::string& id : os_ids) {
        xml += "<supportedOS Id=\"" + id + "\"/>";
    }
    xml += "</application></compatibility></assembly>";
    auto dword = [](std::vector<uint8_t>& out, uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<uint8_t>(value >> shift));
        }
    };
    std::vector<uint8_t> res;
    dword(res, static_cast<uint32_t>(xml.size()));
    dword(res, 32);
    dword(res, 0x0018FFFF);  // type: ordinal 24
    dword(res, 0x0001FFFF);  // name: ordinal 1
    for (uint32_t rest : {0u, 0x04091030u, 0u, 0u}) {
        dword(res, rest);
    }
    res.insert(res.end(), xml.begin(), xml.end());
    return res;
}

const char kWindows10[] = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}";
const char kWindows81[] = "{1f676c76-80e1-4239-95bb-83d0f6d0da78}";
const char kWindows7[] = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}";

struct ToldVersionCase {
    sim::WindowsVersion machine;
    std::vector<std::string> declared;  // the manifest's supportedOS; {"ampwise"}: Ampwise's own
    DWORD major, minor, build;
};
const ToldVersionCase kToldVersionCases[] = {
    {{6, 1, 7601}, {}, 6, 1, 7601},
    {{6, 2, 9200}, {}, 6, 2, 9200},
    {{6, 3, 9600}, {}, 6, 2, 9200},
    {{10, 0, 19045}, {}, 6, 2, 9200},
    {{10, 0, 19045}, {"ampwise"}, 6, 2, 9200},
    {{10, 0, 19045}, {kWindows7}, 6, 2, 9200},
    {{10, 0, 19045}, {kWindows81}, 6, 3, 9600},
    {{10, 0, 19045}, {kWindows7, kWindows81, kWindows10}, 10, 0, 19045},
    {{6, 3, 9600}, {kWindows81}, 6, 3, 9600},
    {{6, 3, 9600}, {kWindows10}, 6, 3, 9600},
};

// From Windows 8.1 on, a program is told the newest version its manifest declares, and 6.2
// when it declares neither 8.1 nor 10.
TEST(Version, GetVersionExATellsWhatTheProgramsManifestDeclares) {
    for (const ToldVersionCase& entry : kToldVersionCases) {
        sim::Machine machine(0);
        machine.kernel.version = entry.machine;
        sim::win32::Resources& resources = sim::win32::CurrentProcess().resources;
        if (entry.declared == std::vector<std::string>{"ampwise"}) {
            ASSERT_TRUE(resources.Load(AMPWISE_RES));
        } else if (!entry.declared.empty()) {
            ASSERT_TRUE(resources.Parse(ManifestRes(entry.declared)));
        }
        OSVERSIONINFOA info = {};
        info.dwOSVersionInfoSize = sizeof info;
        ASSERT_TRUE(GetVersionExA(&info));
        std::string name = std::to_string(entry.machine.major) + "." +
                           std::to_string(entry.machine.minor) + " with " +
                           std::to_string(entry.declared.size()) + " declared";
        EXPECT_EQ(info.dwMajorVersion, entry.major) << name;
        EXPECT_EQ(info.dwMinorVersion, entry.minor) << name;
        EXPECT_EQ(info.dwBuildNumber, entry.build) << name;
    }
}

TEST(Heap, ReAllocKeepsTheContentsAndZeroesWhatItAdds) {
    sim::Machine machine(0);
    HANDLE heap = GetProcessHeap();
    char* block = static_cast<char*>(HeapAlloc(heap, 0, 4));
    ASSERT_NE(block, nullptr);
    memcpy(block, "abcd", 4);
    char* grown = static_cast<char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 4096));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::string(grown, 4), "abcd");
    EXPECT_EQ(std::string(grown + 4, 4092), std::string(4092, '\0'));
    char* shrunk = static_cast<char*>(HeapReAlloc(heap, 0, grown, 2));
    ASSERT_NE(shrunk, nullptr);
    EXPECT_EQ(std::string(shrunk, 2), "ab");
    EXPECT_TRUE(HeapFree(heap, 0, shrunk));
    EXPECT_TRUE(HeapFree(heap, 0, NULL));
}

TEST(Heap, TheHeapAllocFaultFailsTheNextAllocations) {
    sim::Machine machine(0);
    HANDLE heap = GetProcessHeap();
    void* kept = HeapAlloc(heap, 0, 8);
    machine.faults.Arm(sim::Fault::kHeapAlloc, "", 2);
    EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
    EXPECT_EQ(HeapReAlloc(heap, 0, kept, 64), nullptr);
    // The failed reallocation left the block as it was, and the fault is spent.
    void* next = HeapAlloc(heap, 0, 8);
    EXPECT_NE(next, nullptr);
    HeapFree(heap, 0, next);
    HeapFree(heap, 0, kept);
    EXPECT_STREQ(sim::FaultName(sim::Fault::kHeapAlloc), "heap-alloc");
}

}  // namespace
