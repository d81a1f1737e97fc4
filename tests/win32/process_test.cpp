// Processes: copies of a program module keeping their own globals, their first thread, the
// end of a process and what it takes down with it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ampsim/runner.h"
#include "machine_run.h"
#include "pc/machine.h"
#include "win32/process/process.h"

namespace {

TEST(Process, TwoCopiesOfAProgramKeepTheirOwnGlobals) {
    for (uint64_t seed = 0; seed < 4; ++seed) {
        sim::Machine machine(seed);
        auto first = sim::win32::StartProcess("win32_test_program", "count 3");
        auto second = sim::win32::StartProcess("WIN32_TEST_PROGRAM.exe", "count 2");
        ASSERT_NE(first, nullptr);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(first->copy(), 1);
        EXPECT_EQ(second->copy(), 2);
        EXPECT_NE(first->id(), second->id());
        EXPECT_NE(first->instance(), second->instance());
        sim::RunOutcome outcome = machine.scheduler.Run();
        ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
        std::vector<std::string> first_lines;
        std::vector<std::string> second_lines;
        for (const std::string& line : machine.log.Texts("app")) {
            (line.rfind("dbg#2 ", 0) == 0 ? second_lines : first_lines).push_back(line);
        }
        ASSERT_EQ(first_lines.size(), 6u)
            << ::testing::PrintToString(first_lines) << machine.log.Tail(20);
        ASSERT_EQ(second_lines.size(), 5u) << ::testing::PrintToString(second_lines);
        // Static constructors and destructors run on the first thread, around WinMain.
        std::string thread1 =
            first_lines[0].substr(std::string("dbg constructed on thread ").size());
        EXPECT_EQ(first_lines,
                  (std::vector<std::string>{"dbg constructed on thread " + thread1,
                                            "dbg main on thread " + thread1, "dbg counter=1",
                                            "dbg counter=2", "dbg counter=3",
                                            "dbg destroyed on thread " + thread1}));
        std::string thread2 =
            second_lines[0].substr(std::string("dbg#2 constructed on thread ").size());
        EXPECT_NE(thread1, thread2);
        EXPECT_EQ(second_lines, (std::vector<std::string>{"dbg#2 constructed on thread " + thread2,
                                                          "dbg#2 main on thread " + thread2,
                                                          "dbg#2 counter=1", "dbg#2 counter=2",
                                                          "dbg#2 destroyed on thread " + thread2}));
        EXPECT_TRUE(first->ended());
        EXPECT_EQ(first->exit_code(), 3u);
        EXPECT_EQ(second->exit_code(), 2u);
    }
}

TEST(Process, WinMainsReturnEndsTheProcessAndTerminatesItsOtherThreads) {
    sim::Machine machine(0);
    auto process = sim::win32::StartProcess("win32_test_program", "worker");
    ASSERT_NE(process, nullptr);
    DWORD waited = 0;
    DWORD code = 0;
    machine.scheduler.Spawn("observer", [&] {
        HANDLE handle = reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(process));
        waited = WaitForSingleObject(handle, INFINITE);
        GetExitCodeProcess(handle, &code);
        CloseHandle(handle);
    });
    sim::RunOutcome outcome = machine.scheduler.Run();
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(process->threads().empty());
    EXPECT_EQ(machine.scheduler.Now(), 5 * sim::kTicksPerMs) << "the sleeping thread kept it alive";
}

TEST(Process, TerminateAllProcessesEndsRunningProgramsWithTheirDestructors) {
    sim::Machine machine(0);
    auto process = sim::win32::StartProcess("win32_test_program", "count 100");
    machine.scheduler.Spawn("end of run", [] {
        Sleep(25);
        sim::win32::TerminateAllProcesses();
    });
    sim::RunOutcome outcome = machine.scheduler.Run();
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(process->ended());
    EXPECT_EQ(process->exit_code(), 0u);
    std::vector<std::string> lines = machine.log.Texts("app");
    ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[3], "dbg counter=2");
    EXPECT_EQ(lines[4].rfind("dbg destroyed on thread ", 0), 0u) << lines[4];
}

TEST(Process, AProcessEndedBeforeItsFirstThreadRanNeverLoadsItsModule) {
    sim::Machine machine(0);
    auto process = sim::win32::StartProcess("win32_test_program", "count 3");
    sim::win32::EndProcess(*process, 9);
    EXPECT_TRUE(process->ended());
    EXPECT_EQ(process->exit_code(), 9u);
    sim::RunOutcome outcome = machine.scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(machine.log.Texts("app").empty());
}

TEST(Process, AnUnknownImageStartsNothing) {
    sim::Machine machine(0);
    std::string error;
    EXPECT_EQ(sim::win32::StartProcess("notepad.exe", "", {}, &error), nullptr);
    EXPECT_EQ(error, "no program image notepad.exe");
    EXPECT_TRUE(sim::win32::StartedProcesses().empty());
}

using win32test::kPcWithDriver;

// A device handle the program leaves open is closed with the process, whether the program
// returned (its handles close on its thread) or was ended while it slept (they close on a
// thread of their own, since the ended one is being unwound).
TEST(Process, DeviceHandlesLeftOpenAreClosedWhenTheProcessEnds) {
    for (bool terminate : {false, true}) {
        ampsim::ScenarioRunner runner(kPcWithDriver);
        ampsim::RunResult result = runner.Run(0, nullptr, [terminate](sim::Machine& machine) {
            auto process = sim::win32::StartProcess("win32_test_program", "device 50");
            HANDLE handle = reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(process));
            Sleep(10);
            EXPECT_EQ(machine.user_io.open_count(), 1u);
            if (terminate) {
                sim::win32::EndProcess(*process, 3);
            }
            EXPECT_EQ(WaitForSingleObject(handle, INFINITE), WAIT_OBJECT_0);
            EXPECT_EQ(machine.user_io.open_count(), 0u) << "terminated " << terminate;
            EXPECT_EQ(process->exit_code(), terminate ? 3u : 0u);
            EXPECT_EQ(sim::CurrentScheduler().Now() / sim::kTicksPerMs, terminate ? 10 : 50);
            CloseHandle(handle);
        });
        EXPECT_TRUE(result.ok()) << result.outcome.report;
    }
}

TEST(Process, EachProcessAllocatesItsOwnTlsSlots) {
    sim::Machine machine(0);
    // The default process's slots do not reach the programs.
    for (int i = 0; i < 3; ++i) {
        TlsAlloc();
    }
    auto first = sim::win32::StartProcess("win32_test_program", "tls");
    auto second = sim::win32::StartProcess("win32_test_program", "tls");
    machine.scheduler.Run();
    EXPECT_EQ(first->exit_code(), 0u);
    EXPECT_EQ(second->exit_code(), 0u);
    std::vector<std::string> lines = machine.log.Texts("app");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "dbg slot=0"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "dbg#2 slot=0"), 1);
}

struct StringCase {
    const char* command_line;
    std::map<uint32_t, std::string> overrides;
    const char* line;
};

TEST(Process, StringOverridesReplaceTheTableOfOneCopy) {
    const StringCase cases[] = {
        {"string 15", {}, "dbg string length=7 text=fifteen"},
        {"string 15", {{15, "changed"}, {16, "other"}}, "dbg string length=7 text=changed"},
        {"string 2", {{2, "added"}}, "dbg string length=5 text=added"},
    };
    for (const StringCase& entry : cases) {
        sim::Machine machine(0);
        sim::win32::StartProcess("win32_test_program", entry.command_line, {entry.overrides});
        machine.scheduler.Run();
        std::vector<std::string> lines = machine.log.Texts("app");
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[2], entry.line);
    }
}

// The tables that Ampwise's Windows unit program runs under Wine hold here too.
TEST(Process, AmpwiseUnitTablesPass) {
    sim::Machine machine(0);
    auto process = sim::win32::StartProcess("ampwise_unit", "");
    ASSERT_NE(process, nullptr);
    sim::RunOutcome outcome = machine.scheduler.Run();
    ASSERT_EQ(outcome.kind, sim::RunOutcome::kFinished) << outcome.report;
    EXPECT_TRUE(process->ended());
    EXPECT_EQ(process->exit_code(), 0u) << "failed checks, printed above";
}

}  // namespace
