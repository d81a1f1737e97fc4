// The simulated PC's scheduler: simulated threads run as fibers on the host thread that
// calls Run, exactly one at a time, on a virtual clock. A thread gives up the processor only inside
// a blocking call of the stand-in (or at an explicit preemption point); virtual time moves to the
// next deadline only when every thread is blocked. Among threads runnable at the same instant the
// choice is made by a seeded generator, so a run is reproduced by its seed.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sched/fiber.h"
#include "sched/race.h"

namespace sim {

// Virtual time in 100 ns units, as the kernel counts it.
using Ticks = int64_t;
constexpr Ticks kTicksPerMs = 10'000;
constexpr Ticks kTicksPerSecond = 10'000'000;

// Thrown inside simulated threads to unwind them once the run has been stopped (a bug check
// or the end of the machine). Product code never catches it.
struct RunAborted {};

enum class WaitResult { kSignaled, kTimeout };

class Scheduler;

class SimThread {
  public:
    const std::string& name() const { return name_; }
    // What belongs to the simulated thread, whichever host thread runs it.
    uint8_t irql = 0;             // the thread's current IRQL
    uint32_t last_error = 0;      // the thread's Win32 last-error value
    void* user_thread = nullptr;  // the user-mode stand-in's thread object, owned there
    // Run on the thread's own stack as it ends, normally or unwound, last added first: what
    // higher floors keep per thread (a message queue) goes with it. They must not block.
    std::vector<std::function<void()>> at_exit;
    // Depth of the system calls (device I/O) the thread is inside: Windows ends a terminated
    // thread only on its way back to the program, never halfway through a driver's work.
    int kernel_calls = 0;
    // A program's thread, which the system's sleep stops (SetAsleep); the machine's own
    // threads (PnP, devices, the scenario) run on.
    bool sleeps_with_system = false;

  private:
    friend class Scheduler;
    enum class State { kRunnable, kRunning, kBlocked, kFinished };
    SimThread(Scheduler* scheduler, std::string name, std::function<void()> body);
    static void FiberMain(void* thread);
    Scheduler* scheduler_;
    std::string name_;
    std::function<void()> body_;
    Fiber fiber_;
    State state_ = State::kRunnable;
    const void* wait_key_ = nullptr;
    std::string wait_what_;
    const SimThread* waits_for_ = nullptr;
    bool terminating_ = false;
    bool terminate_pending_ = false;  // Terminate came while the thread was inside a system call
    std::optional<Ticks> deadline_;
    WaitResult wait_result_ = WaitResult::kSignaled;
};

struct RunOutcome {
    enum Kind { kFinished, kDeadlock, kBugCheck } kind = kFinished;
    std::string report;
};

class Scheduler {
  public:
    explicit Scheduler(uint64_t seed);
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    // Creates a simulated thread; it runs when the scheduler chooses it.
    SimThread* Spawn(std::string name, std::function<void()> body, uint8_t irql = 0);
    // Runs from the host thread until every simulated thread has ended, a deadlock, or a bug
    // check. Threads still blocked at the end are unwound with RunAborted, each on its own
    // stack.
    RunOutcome Run();

    Ticks Now() const { return now_; }
    uint64_t seed() const { return seed_; }
    // The simulated thread making the call, or nullptr on the host thread.
    SimThread* Current() const;

    // Blocks the calling thread on `key` until Signal(key) or the absolute deadline.
    // `waits_for` names the thread whose progress alone can end a wait without deadline (the
    // owner of a lock, the receiver of a sent message, a thread waited for): when those
    // waits form a cycle, no thread in it can ever run again and the run ends as a deadlock
    // that names each wait of the cycle.
    WaitResult Block(const void* key, std::optional<Ticks> deadline, const std::string& what,
                     const SimThread* waits_for = nullptr);
    // Makes the first waiter (or all) of `key` runnable with kSignaled; returns how many.
    int Signal(const void* key, bool all);
    // Lets the seeded choice decide whether another runnable thread goes first.
    void Yield();
    // Ends another thread, as TerminateThread does, except that its frames are unwound with
    // RunAborted so that what they own is released: from its next turn on, every blocking
    // call of the thread throws, and one made while it is already unwinding returns at once.
    void Terminate(SimThread* thread);
    // Bracket a system call of the calling thread (nothing on the host thread). A Terminate
    // that arrives meanwhile takes effect in LeaveKernel, which then throws RunAborted.
    void EnterKernel();
    void LeaveKernel();
    // Whether the calling thread is being unwound (by Terminate or because the run has
    // stopped): the stand-in then runs none of the program's code on its behalf.
    bool Unwinding() const;
    void SleepFor(Ticks duration, const std::string& what);
    // The system's sleep: while asleep, the threads that sleep with it are not run (a signal or
    // an elapsed deadline makes them runnable, and they run once awake), and their deadlines
    // do not move the clock. A thread being ended or unwound runs regardless.
    void SetAsleep(bool asleep);
    // Stops the run with a bug-check report; does not return to the caller.
    [[noreturn]] void BugCheck(const std::string& report);
    // Draws from the run's seeded generator (used by the soak test and fault injection).
    uint64_t Random();

  private:
    friend class SimThread;  // its fiber's entry runs RunThread
    void RunThread(SimThread* thread);
    // Whether the thread is to wait for the system's wake before it runs.
    bool Asleep(const SimThread* thread) const;
    // Moves runnable threads that are asleep to parked_, and parked ones awake back.
    void SortParked();
    // Picks the next thread to run, or nullptr once the run is over (the host's turn).
    SimThread* DispatchNext();
    // Gives the processor from `from` (the running context) to the next thread.
    void PassOn(Fiber& from);
    // Frees the threads that have ended; never called on one of their stacks.
    void ReapFinished();
    void Finish(RunOutcome::Kind kind, std::string report);
    std::string DescribeBlocked() const;
    // The report of a cycle of waits that ends at `self`, or "" if there is none.
    std::string DescribeCycleFrom(const SimThread* self) const;
    void RemoveWaiter(SimThread* thread);
    // Throws RunAborted if the calling thread is to unwind, or says that it cannot because
    // it already unwinds (then the blocking call returns without blocking).
    bool MustReturnAtOnce(const SimThread* self) const;

    Fiber host_;
    std::vector<std::unique_ptr<SimThread>> threads_;  // in creation order
    std::vector<SimThread*> finished_;
    std::vector<SimThread*> runnable_;
    std::vector<SimThread*> parked_;  // runnable, but asleep with the system
    bool asleep_ = false;
    // The threads blocked on a key, in the order they blocked: a handful at a time, so a scan
    // costs less than a queue of each key's own, made and freed at every wait.
    std::vector<SimThread*> waiters_;
    // The blocked threads, kept between dispatches so that one allocates nothing.
    std::vector<SimThread*> blocked_;
    SimThread* running_ = nullptr;
    Ticks now_ = 0;
    uint64_t seed_;
    uint64_t rng_state_;
    bool started_ = false;
    bool done_ = false;
    bool aborting_ = false;
    RunOutcome outcome_;
};

// The scheduler of the machine being simulated (one at a time per process).
Scheduler& CurrentScheduler();
void SetCurrentScheduler(Scheduler* scheduler);

}  // namespace sim
