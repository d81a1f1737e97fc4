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

// Two threads waiting for each other end the run at once, although a third one still has
// work with deadlines: nothing that third thread does can free them.
TEST(Scheduler, CycleOfWaitsEndsTheRunWhileOthersStillRun) {
    Scheduler scheduler(0);
    int lock_a = 0, lock_b = 0;
    sim::SimThread* left = nullptr;
    sim::SimThread* right = nullptr;
    bool ticker_done = false;
    left = scheduler.Spawn("left", [&] {
        scheduler.SleepFor(kTicksPerMs, "start");
        scheduler.Block(&lock_a, std::nullopt, "lock A held by right", right);
    });
    right = scheduler.Spawn("right", [&] {
        scheduler.SleepFor(2 * kTicksPerMs, "start");
        scheduler.Block(&lock_b, std::nullopt, "lock B held by left", left);
    });
    scheduler.Spawn("ticker", [&] {
        scheduler.SleepFor(sim::kTicksPerSecond, "a long wait");
        ticker_done = true;
    });
    sim::RunOutcome outcome = scheduler.Run();
    EXPECT_EQ(outcome.kind, sim::RunOutcome::kDeadlock);
    EXPECT_NE(outcome.report.find("deadlock at t=0.002: threads wait for each other"),
              std::string::npos)
        << outcome.report;
    EXPECT_NE(outcome.report.find("thread 'right' waits for lock B held by left"),
              std::string::npos);
    EXPECT_NE(outcome.report.find("thread 'left' waits for lock A held by right"),
              std::string::npos);
    EXPECT_FALSE(ticker_done);
}

// A wait for a thread that can still run, or one with a deadline, is no cycle.
TEST(Scheduler, ChainOfWaitsThatEndsIsNoDeadlock) {
    Scheduler scheduler(0);
    int lock = 0;
    sim::SimThread* holder = nullptr;
    holder = scheduler.Spawn("holder", [&] {
        scheduler.SleepFor(kTicksPerMs, "holding");
        scheduler.Signal(&lock, true);
    });
    scheduler.Spawn("waiter", [&] { scheduler.Block(&lock, std::nullopt, "lock", holder); });
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
}

// A terminated thread's frames are unwound where it waits; a blocking call made by a
// destructor during that unwinding returns at once instead of blocking or throwing again.
TEST(Scheduler, TerminatedThreadUnwindsWhileOthersGoOn) {
    Scheduler scheduler(0);
    int never = 0;
    std::vector<std::string> seen;
    struct BlocksInDestructor {
        Scheduler& scheduler;
        int* key;
        std::vector<std::string>& seen;
        ~BlocksInDestructor() {
            scheduler.Block(key, std::nullopt, "a wait in a destructor");
            seen.push_back("destructor returned");
        }
    };
    sim::SimThread* victim = scheduler.Spawn("victim", [&] {
        BlocksInDestructor guard{scheduler, &never, seen};
        scheduler.Block(&never, std::nullopt, "forever");
        seen.push_back("woke");
    });
    scheduler.Spawn("killer", [&] {
        scheduler.SleepFor(kTicksPerMs, "a while");
        scheduler.Terminate(victim);
        scheduler.SleepFor(kTicksPerMs, "a while");
        seen.push_back("killer done");
    });
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(seen, (std::vector<std::string>{"destructor returned", "killer done"}));
}

// A thread terminated inside a system call finishes the call (its waits still wait) and
// is unwound on its way out of the kernel, as Windows ends threads only in user mode.
TEST(Scheduler, TerminationWaitsForTheSystemCallToReturn) {
    Scheduler scheduler(0);
    std::vector<std::string> seen;
    sim::SimThread* victim = scheduler.Spawn("victim", [&] {
        scheduler.EnterKernel();
        scheduler.SleepFor(10 * kTicksPerMs, "a driver's transfer");
        seen.push_back("call finished");
        scheduler.LeaveKernel();
        seen.push_back("back in the program");
    });
    scheduler.Spawn("killer", [&] {
        scheduler.SleepFor(kTicksPerMs, "a while");
        scheduler.Terminate(victim);
        seen.push_back("terminated");
    });
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(seen, (std::vector<std::string>{"terminated", "call finished"}));
    EXPECT_EQ(scheduler.Now(), 10 * kTicksPerMs);
}

// Exit hooks run on the ending thread, last added first, whether its body returned or was
// unwound by Terminate.
TEST(Scheduler, ExitHooksRunAsTheThreadEnds) {
    Scheduler scheduler(0);
    int never = 0;
    std::vector<std::string> seen;
    auto hooks = [&](const std::string& name) {
        sim::SimThread* self = scheduler.Current();
        self->at_exit.push_back([&seen, name] { seen.push_back(name + " first hook"); });
        self->at_exit.push_back([&seen, name, &scheduler] {
            seen.push_back(name + " last hook on " + scheduler.Current()->name());
        });
    };
    sim::SimThread* victim = scheduler.Spawn("victim", [&] {
        hooks("victim");
        scheduler.Block(&never, std::nullopt, "forever");
    });
    scheduler.Spawn("returner", [&] {
        hooks("returner");
        scheduler.SleepFor(kTicksPerMs, "a while");
        scheduler.Terminate(victim);
    });
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"returner last hook on returner", "returner first hook",
                                        "victim last hook on victim", "victim first hook"}));
}

// A wait that timed out stays timed out even if the signal comes before the waiter runs.
// While the system sleeps a program's thread does not run: a sleep that ends meanwhile, or a
// signal that comes, takes effect at the wake; the machine's own threads run on.
TEST(Scheduler, AProgramsThreadStandsStillWhileTheSystemSleeps) {
    Scheduler scheduler(0);
    std::vector<std::string> steps, waiter_steps;
    auto note = [&](std::vector<std::string>& into, const std::string& what) {
        into.push_back(what + " at " + std::to_string(scheduler.Now() / kTicksPerMs));
    };
    int key = 0;
    sim::SimThread* sleeper = scheduler.Spawn("sleeper", [&] {
        for (int pass = 0; pass < 3; ++pass) {
            scheduler.SleepFor(5 * kTicksPerMs, "a pass");
            note(steps, "sleeper woke");
        }
    });
    sim::SimThread* waiter = scheduler.Spawn("waiter", [&] {
        scheduler.Block(&key, std::nullopt, "a signal");
        note(waiter_steps, "waiter signalled");
    });
    sleeper->sleeps_with_system = true;
    waiter->sleeps_with_system = true;
    scheduler.Spawn("system", [&] {
        scheduler.SleepFor(7 * kTicksPerMs, "the suspend");
        scheduler.SetAsleep(true);
        note(steps, "asleep");
        scheduler.SleepFor(kTicksPerMs, "a moment");
        scheduler.Signal(&key, false);
        scheduler.SleepFor(11 * kTicksPerMs, "the night");
        note(steps, "awake");
        scheduler.SetAsleep(false);
    });
    EXPECT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(steps, (std::vector<std::string>{"sleeper woke at 5", "asleep at 7", "awake at 19",
                                               "sleeper woke at 19", "sleeper woke at 24"}));
    EXPECT_EQ(waiter_steps, std::vector<std::string>{"waiter signalled at 19"});
}

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

// Records, as it is destroyed, which simulated thread's unwinding destroyed it.
struct UnwindWitness {
    Scheduler* scheduler;
    std::string name;
    std::vector<std::string>* unwound;
    ~UnwindWitness() {
        sim::SimThread* current = scheduler->Current();
        unwound->push_back(name + (current != nullptr ? " on " + current->name() : " on host"));
    }
};

struct UnwindCase {
    const char* name;
    bool run;       // false: the scheduler is destroyed without Run
    bool bugcheck;  // a third thread stops the run with a bug check
    std::vector<std::string> unwound;
};

// Whatever ends the run, every thread left is unwound on its own stack, in creation order;
// a thread that never ran has nothing to unwind and never starts its body.
TEST(Scheduler, EveryThreadLeftIsUnwoundOnItsOwnStack) {
    const UnwindCase cases[] = {
        {"deadlock", true, false, {"a on a", "b on b"}},
        {"bug check", true, true, {"a on a", "b on b"}},
        {"never run", false, false, {}},
    };
    for (const UnwindCase& c : cases) {
        std::vector<std::string> unwound;
        int never = 0;
        {
            Scheduler scheduler(0);
            for (const char* name : {"a", "b"}) {
                scheduler.Spawn(name, [&scheduler, &unwound, &never, name] {
                    UnwindWitness witness{&scheduler, name, &unwound};
                    scheduler.Block(&never, std::nullopt, "forever");
                });
            }
            if (c.bugcheck) {
                scheduler.Spawn("culprit", [&scheduler] {
                    scheduler.SleepFor(1, "let the others block");
                    scheduler.BugCheck("STOP");
                });
            }
            if (c.run) {
                scheduler.Run();
            }
        }
        EXPECT_EQ(unwound, c.unwound) << c.name;
    }
}

// IRQL and last-error value are the thread's own: each thread finds its values again after
// the others ran in between.
TEST(Scheduler, PerThreadStateFollowsItsThread) {
    Scheduler scheduler(5);
    std::vector<std::string> mismatches;
    for (int id = 1; id <= 3; ++id) {
        scheduler.Spawn("t" + std::to_string(id), [&scheduler, &mismatches, id] {
            for (int step = 0; step < 20; ++step) {
                sim::SimThread* self = scheduler.Current();
                self->irql = static_cast<uint8_t>(id);
                self->last_error = static_cast<uint32_t>(id * 100 + step);
                scheduler.Yield();
                scheduler.SleepFor(id, "let another run");
                if (scheduler.Current() != self || self->irql != id ||
                    self->last_error != static_cast<uint32_t>(id * 100 + step)) {
                    mismatches.push_back(self->name() + " step " + std::to_string(step));
                }
            }
        });
    }
    ASSERT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_TRUE(mismatches.empty()) << mismatches.front();
}

// Threads come and go for as long as a run lasts, each with a deep frame on its own stack.
TEST(Scheduler, ShortThreadsWithDeepFramesComeAndGo) {
    Scheduler scheduler(0);
    int ended = 0;
    scheduler.Spawn("spawner", [&] {
        for (int i = 0; i < 200; ++i) {
            scheduler.Spawn("short", [&] {
                volatile char frame[256 * 1024];
                frame[0] = 1;
                frame[sizeof frame - 1] = frame[0];
                ++ended;
            });
            scheduler.SleepFor(1, "the short thread");
        }
    });
    ASSERT_EQ(scheduler.Run().kind, sim::RunOutcome::kFinished);
    EXPECT_EQ(ended, 200);
}

}  // namespace
