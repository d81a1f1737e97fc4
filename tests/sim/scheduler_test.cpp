// The scheduler: one thread at a time, virtual time, seeded order, deadlock reports.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "sched/scheduler.h"

namespace {

using sim::kTicksPerMs;
using sim::Scheduler;
using sim::WaitResult;

// Three threads that each log three steps with a preemption point between steps.
std::vector<std::string> InterleavingFor(uint64_t seed) {
    Scheduler scheduler(seed);
    std::vector<std::string> order;
    for (const char* name : {"a", "b", "c"}) {
        scheduler.Spawn(name, [&scheduler, &order, name] {
            for (int step = 0; step < 3; ++step) {
                order.push_back(std::string(name) + std::to_string(step));
                scheduler.Yield();
            }
        });
    }
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    return order;
}

TEST(Scheduler, SameSeedSameInterleavingOtherSeedsOthers) {
    std::set<std::vector<std::string>> seen;
    for (uint64_t seed = 0; seed < 8; ++seed) {
        std::vector<std::string> first = InterleavingFor(seed);
        EXPECT_EQ(first, InterleavingFor(seed)) << "seed " << seed;
        EXPECT_EQ(first.size(), 9u);
        seen.insert(first);
    }
    EXPECT_GT(seen.size(), 2u) << "the seed does not change the order of runnable threads";
}

TEST(Scheduler, TimeAdvancesOnlyWhenEveryThreadIsBlocked) {
    Scheduler scheduler(3);
    std::vector<std::pair<std::string, sim::Ticks>> wakeups;
    scheduler.Spawn("slow", [&] {
        scheduler.SleepFor(5 * kTicksPerMs, "sleep");
        wakeups.emplace_back("slow", scheduler.Now());
    });
    scheduler.Spawn("fast", [&] {
        scheduler.SleepFor(3 * kTicksPerMs, "sleep");
        wakeups.emplace_back("fast", scheduler.Now());
        scheduler.SleepFor(3 * kTicksPerMs, "sleep");
        wakeups.emplace_back("fast", scheduler.Now());
    });
    scheduler.Spawn("busy", [&] {
        // Runs without blocking: time must not move while it does.
        for (int i = 0; i < 100; ++i) {
            scheduler.Yield();
        }
        wakeups.emplace_back("busy", scheduler.Now());
    });
    ASSERT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    std::vector<std::pair<std::string, sim::Ticks>> expected = {{"busy", 0},
                                                                {"fast", 3 * kTicksPerMs},
                                                                {"slow", 5 * kTicksPerMs},
                                                                {"fast", 6 * kTicksPerMs}};
    EXPECT_EQ(wakeups, expected);
}

TEST(Scheduler, DeadlockReportNamesEveryBlockedThread) {
    Scheduler scheduler(0);
    int lock_a = 0, lock_b = 0;
    scheduler.Spawn("left", [&] { scheduler.Block(&lock_a, std::nullopt, "lock A"); });
    scheduler.Spawn("right", [&] { scheduler.Block(&lock_b, std::nullopt, "lock B"); });
    sim::RunOutcome outcome = scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_NE(outcome.report.find("deadlock at t=0.000"), std::string::npos) << outcome.report;
    EXPECT_NE(outcome.report.find("thread 'left' waits for lock A"), std::string::npos);
    EXPECT_NE(outcome.report.find("thread 'right' waits for lock B"), std::string::npos);
}

// A wait that timed out stays timed out even if the signal comes before the waiter runs.
TEST(Scheduler, WaitOutcomeIsFixedWhenSatisfied) {
    for (uint64_t seed = 0; seed < 16; ++seed) {
        Scheduler scheduler(seed);
        int event = 0;
        int signalled = -1;
        WaitResult result = WaitResult::kSignaled;
        scheduler.Spawn("waiter",
                        [&] { result = scheduler.Block(&event, 5 * kTicksPerMs, "event"); });
        scheduler.Spawn("signaller", [&] {
            scheduler.SleepFor(5 * kTicksPerMs, "sleep");
            signalled = scheduler.Signal(&event, true);
        });
        ASSERT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
        EXPECT_EQ(result, WaitResult::kTimeout) << "seed " << seed;
        EXPECT_EQ(signalled, 0) << "a timed-out waiter was still signalled, seed " << seed;
    }
}

TEST(Scheduler, SignalWakesWaitersInArrivalOrder) {
    Scheduler scheduler(1);
    int key = 0;
    std::vector<std::string> woken;
    for (const char* name : {"first", "second"}) {
        scheduler.Spawn(name, [&, name] {
            scheduler.SleepFor(std::string(name) == "first" ? 1 : 2, "stagger");
            scheduler.Block(&key, std::nullopt, "key");
            woken.push_back(name);
        });
    }
    scheduler.Spawn("waker", [&] {
        scheduler.SleepFor(10, "let both wait");
        EXPECT_EQ(scheduler.Signal(&key, false), 1);
        scheduler.SleepFor(10, "let it run");
        EXPECT_EQ(scheduler.Signal(&key, false), 1);
    });
    ASSERT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(woken, (std::vector<std::string>{"first", "second"}));
}

TEST(Scheduler, BugCheckStopsEveryThread) {
    Scheduler scheduler(0);
    int key = 0;
    bool after_block = false;
    scheduler.Spawn("victim", [&] {
        scheduler.Block(&key, std::nullopt, "forever");
        after_block = true;
    });
    scheduler.Spawn("culprit", [&] {
        scheduler.SleepFor(1, "let the victim block");
        scheduler.BugCheck("IRQL_NOT_LESS_OR_EQUAL");
    });
    sim::RunOutcome outcome = scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kBugCheck);
    EXPECT_EQ(outcome.report, "IRQL_NOT_LESS_OR_EQUAL");
    EXPECT_FALSE(after_block);
}

}  // namespace
