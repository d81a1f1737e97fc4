// The simulated PC's scheduler: real host threads, of which exactly one runs at a time, on a
// virtual clock. A thread gives up the processor only inside a blocking call of the stand-in
// (or at an explicit preemption point); virtual time moves to the next deadline only when
// every thread is blocked. Among threads runnable at the same instant the choice is made by a
// seeded generator, so a run is reproduced by its seed.
#pragma once

#include <condition_variable>
#include <deque>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

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
    uint8_t irql = 0;  // the thread's current IRQL

  private:
    friend class Scheduler;
    enum class State { kNew, kRunnable, kRunning, kBlocked, kFinished };
    std::string name_;
    std::function<void()> body_;
    std::thread host_;
    std::condition_variable turn_;
    bool has_turn_ = false;
    State state_ = State::kNew;
    const void* wait_key_ = nullptr;
    std::string wait_what_;
    std::optional<Ticks> deadline_;
    WaitResult wait_result_ = WaitResult::kSignaled;
    uint64_t order_ = 0;  // creation order, for deterministic listings
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
    // check. Threads still blocked at the end are unwound with RunAborted.
    RunOutcome Run();

    Ticks Now() const { return now_; }
    uint64_t seed() const { return seed_; }
    // The simulated thread making the call, or nullptr on the host thread.
    SimThread* Current() const;

    // Blocks the calling thread on `key` until Signal(key) or the absolute deadline.
    WaitResult Block(const void* key, std::optional<Ticks> deadline, const std::string& what);
    // Makes the first waiter (or all) of `key` runnable with kSignaled; returns how many.
    int Signal(const void* key, bool all);
    // Lets the seeded choice decide whether another runnable thread goes first.
    void Yield();
    void SleepFor(Ticks duration, const std::string& what);
    // Stops the run with a bug-check report; does not return to the caller.
    [[noreturn]] void BugCheck(const std::string& report);
    // Draws from the run's seeded generator (used by the soak test and fault injection).
    uint64_t Random();

  private:
    void ThreadMain(SimThread* thread);
    // Picks the next thread to run and hands it the processor; called with mutex_ held by
    // a thread that is giving up the processor (or by the host to start the run).
    void DispatchNext(std::unique_lock<std::mutex>& lock);
    void WaitForTurn(SimThread* self, std::unique_lock<std::mutex>& lock);
    void Finish(RunOutcome::Kind kind, std::string report);
    std::string DescribeBlocked() const;
    void RemoveWaiter(SimThread* thread);

    mutable std::mutex mutex_;
    std::condition_variable host_cv_;
    std::vector<std::unique_ptr<SimThread>> threads_;
    std::vector<SimThread*> runnable_;
    std::map<const void*, std::deque<SimThread*>> waiters_;
    SimThread* running_ = nullptr;
    Ticks now_ = 0;
    uint64_t seed_;
    uint64_t rng_state_;
    uint64_t next_order_ = 0;
    bool started_ = false;
    bool done_ = false;
    bool aborting_ = false;
    RunOutcome outcome_;
};

// The scheduler of the machine being simulated (one at a time per process).
Scheduler& CurrentScheduler();
void SetCurrentScheduler(Scheduler* scheduler);

}  // namespace sim
