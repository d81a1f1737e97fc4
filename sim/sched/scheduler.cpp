#include "sched/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <sstream>

namespace sim {
namespace {

Scheduler* g_scheduler = nullptr;

std::string FormatTime(Ticks t) {
    char text[48];
    std::snprintf(text, sizeof text, "t=%lld.%03lld", static_cast<long long>(t / kTicksPerSecond),
                  static_cast<long long>(t % kTicksPerSecond / kTicksPerMs));
    return text;
}

// A deadline that lies beyond the clock's range is one that never comes.
Ticks SaturatingAdd(Ticks now, Ticks duration) {
    Ticks sum = 0;
    return __builtin_add_overflow(now, duration, &sum) ? std::numeric_limits<Ticks>::max() : sum;
}

}  // namespace

Scheduler& CurrentScheduler() {
    if (g_scheduler == nullptr) {
        throw std::logic_error("no simulated machine is running");
    }
    return *g_scheduler;
}

void SetCurrentScheduler(Scheduler* scheduler) {
    g_scheduler = scheduler;
}

SimThread::SimThread(Scheduler* scheduler, std::string name, std::function<void()> body)
    : scheduler_(scheduler),
      name_(std::move(name)),
      body_(std::move(body)),
      fiber_(&SimThread::FiberMain, this) {}

void SimThread::FiberMain(void* thread) {
    auto* self = static_cast<SimThread*>(thread);
    self->scheduler_->RunThread(self);
}

Scheduler::Scheduler(uint64_t seed) : seed_(seed), rng_state_(seed ^ 0x5DEECE66DULL) {}

Scheduler::~Scheduler() {
    if (!done_ && !started_) {
        // Threads never run (Run was not called): let each one start and unwind.
        aborting_ = true;
        started_ = true;
        PassOn(host_);
    }
}

SimThread* Scheduler::Spawn(std::string name, std::function<void()> body, uint8_t irql) {
    threads_.emplace_back(new SimThread(this, std::move(name), std::move(body)));
    SimThread* thread = threads_.back().get();
    thread->irql = irql;
    // A race report names the thread and the seed that reproduces the run.
    thread->fiber_.Name(thread->name_, seed_);
    // What the creator did before happens before the new thread's first step.
    race::Release(thread);
    runnable_.push_back(thread);
    return thread;
}

SimThread* Scheduler::Current() const {
    return running_;
}

uint64_t Scheduler::Random() {
    // splitmix64: small, fast and identical on every platform.
    uint64_t z = (rng_state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Runs on the thread's own stack, so that RunAborted unwinds its frames there; leaves for
// the next thread without returning.
void Scheduler::RunThread(SimThread* thread) {
    ReapFinished();
    race::Acquire(thread);
    race::Acquire(&started_);
    if (!aborting_ && !thread->terminating_) {
        try {
            thread->body_();
        } catch (const RunAborted&) {
        } catch (const std::exception& error) {
            Finish(RunOutcome::kBugCheck, std::string("unexpected exception in thread '") +
                                              thread->name_ + "': " + error.what());
        }
    }
    while (!thread->at_exit.empty()) {
        std::function<void()> hook = std::move(thread->at_exit.back());
        thread->at_exit.pop_back();
        hook();
    }
    thread->body_ = nullptr;
    // Run returns once every thread has ended: their work happens before what follows it.
    race::Release(&outcome_);
    thread->state_ = SimThread::State::kFinished;
    finished_.push_back(thread);
    running_ = DispatchNext();
    thread->fiber_.ExitTo(running_ != nullptr ? running_->fiber_ : host_);
}

void Scheduler::PassOn(Fiber& from) {
    running_ = DispatchNext();
    Fiber& to = running_ != nullptr ? running_->fiber_ : host_;
    if (&to != &from) {
        from.SwitchTo(to);
        ReapFinished();
    }
}

void Scheduler::ReapFinished() {
    for (SimThread* thread : finished_) {
        threads_.erase(std::find_if(threads_.begin(), threads_.end(),
                                    [thread](const auto& held) { return held.get() == thread; }));
    }
    finished_.clear();
}

bool Scheduler::Asleep(const SimThread* thread) const {
    if (aborting_ || thread->terminating_) {
        return false;
    }
    return asleep_ && thread->sleeps_with_system;
}

void Scheduler::SortParked() {
    for (auto it = parked_.begin(); it != parked_.end();) {
        if (Asleep(*it)) {
            ++it;
        } else {
            runnable_.push_back(*it);
            it = parked_.erase(it);
        }
    }
    for (auto it = runnable_.begin(); it != runnable_.end();) {
        if (Asleep(*it)) {
            parked_.push_back(*it);
            it = runnable_.erase(it);
        } else {
            ++it;
        }
    }
}

void Scheduler::SetAsleep(bool asleep) {
    asleep_ = asleep;
    SortParked();
}

SimThread* Scheduler::DispatchNext() {
    for (;;) {
        SortParked();
        if (!runnable_.empty()) {
            size_t index = runnable_.size() == 1 ? 0 : Random() % runnable_.size();
            SimThread* next = runnable_[index];
            runnable_.erase(runnable_.begin() + static_cast<std::ptrdiff_t>(index));
            next->state_ = SimThread::State::kRunning;
            return next;
        }
        std::vector<SimThread*>& blocked = blocked_;
        blocked.clear();
        for (auto& thread : threads_) {
            if (thread->state_ == SimThread::State::kBlocked) {
                blocked.push_back(thread.get());
            }
        }
        if (blocked.empty() && parked_.empty()) {
            done_ = true;
            return nullptr;
        }
        if (aborting_) {
            // Unwind the blocked threads one at a time, in creation order.
            SimThread* victim = blocked.front();
            RemoveWaiter(victim);
            victim->state_ = SimThread::State::kRunnable;
            runnable_.push_back(victim);
            continue;
        }
        std::optional<Ticks> earliest;
        for (SimThread* thread : blocked) {
            if (thread->deadline_ && !Asleep(thread) &&
                (!earliest || *thread->deadline_ < *earliest)) {
                earliest = thread->deadline_;
            }
        }
        if (!earliest) {
            Finish(RunOutcome::kDeadlock, DescribeBlocked());
            continue;
        }
        // A sleeper's deadline may have passed while it slept; the clock never goes back.
        now_ = std::max(now_, *earliest);
        for (SimThread* thread : blocked) {
            if (thread->deadline_ && *thread->deadline_ <= now_) {
                RemoveWaiter(thread);
                thread->deadline_.reset();
                thread->wait_result_ = WaitResult::kTimeout;
                thread->state_ = SimThread::State::kRunnable;
                runnable_.push_back(thread);
            }
        }
    }
}

void Scheduler::RemoveWaiter(SimThread* thread) {
    auto found = std::find(waiters_.begin(), waiters_.end(), thread);
    if (found != waiters_.end()) {
        waiters_.erase(found);
    }
}

void Scheduler::Finish(RunOutcome::Kind kind, std::string report) {
    if (!aborting_) {
        outcome_.kind = kind;
        outcome_.report = std::move(report);
    }
    aborting_ = true;
}

std::string Scheduler::DescribeCycleFrom(const SimThread* self) const {
    size_t length = 1;
    for (const SimThread* next = self->waits_for_; next != self; next = next->waits_for_) {
        if (next == nullptr || next->state_ != SimThread::State::kBlocked ||
            next->waits_for_ == nullptr || length > threads_.size()) {
            return "";
        }
        ++length;
    }
    std::ostringstream report;
    report << "deadlock at " << FormatTime(now_) << ": threads wait for each other";
    const SimThread* thread = self;
    do {
        report << "\n  thread '" << thread->name_ << "' waits for " << thread->wait_what_;
        thread = thread->waits_for_;
    } while (thread != self);
    return report.str();
}

std::string Scheduler::DescribeBlocked() const {
    std::ostringstream report;
    report << "deadlock at " << FormatTime(now_) << ": every thread is blocked";
    for (auto& thread : threads_) {
        if (thread->state_ == SimThread::State::kBlocked) {
            report << "\n  thread '" << thread->name_ << "' waits for " << thread->wait_what_;
        }
    }
    return report.str();
}

RunOutcome Scheduler::Run() {
    started_ = true;
    // What the host set up before the run happens before every thread of it.
    race::Release(&started_);
    PassOn(host_);
    race::Acquire(&outcome_);
    return outcome_;
}

WaitResult Scheduler::Block(const void* key, std::optional<Ticks> deadline, const std::string& what,
                            const SimThread* waits_for) {
    SimThread* self = running_;
    if (self == nullptr) {
        throw std::logic_error("blocking call outside a simulated thread: " + what);
    }
    if (MustReturnAtOnce(self)) {
        return WaitResult::kTimeout;
    }
    self->state_ = SimThread::State::kBlocked;
    self->wait_key_ = key;
    self->wait_what_ = what;
    self->deadline_ = deadline;
    self->waits_for_ = deadline ? nullptr : waits_for;
    waiters_.push_back(self);
    if (std::string cycle = DescribeCycleFrom(self); !cycle.empty()) {
        RemoveWaiter(self);
        self->state_ = SimThread::State::kRunning;
        Finish(RunOutcome::kDeadlock, cycle);
        throw RunAborted{};
    }
    PassOn(self->fiber_);
    if (MustReturnAtOnce(self)) {
        return WaitResult::kTimeout;
    }
    if (self->wait_result_ == WaitResult::kSignaled) {
        race::Acquire(key);
    }
    return self->wait_result_;
}

int Scheduler::Signal(const void* key, bool all) {
    // A wake-up passes through the kernel's dispatcher lock: what the signalling thread did
    // happens before the woken thread goes on. A wait that needs no wake-up is ordered by its
    // object's own calls.
    race::Release(key);
    int woken = 0;
    for (auto it = waiters_.begin(); it != waiters_.end() && (all || woken == 0);) {
        SimThread* thread = *it;
        if (thread->wait_key_ != key) {
            ++it;
            continue;
        }
        it = waiters_.erase(it);
        thread->deadline_.reset();
        thread->waits_for_ = nullptr;
        thread->wait_result_ = WaitResult::kSignaled;
        thread->state_ = SimThread::State::kRunnable;
        runnable_.push_back(thread);
        ++woken;
    }
    return woken;
}

void Scheduler::Yield() {
    SimThread* self = running_;
    if (self == nullptr) {
        return;
    }
    if (MustReturnAtOnce(self) || runnable_.empty()) {
        return;
    }
    self->state_ = SimThread::State::kRunnable;
    runnable_.push_back(self);
    PassOn(self->fiber_);
    MustReturnAtOnce(self);
}

void Scheduler::Terminate(SimThread* thread) {
    if (thread == running_) {
        thread->terminating_ = true;
        throw RunAborted{};
    }
    if (thread->terminating_ || thread->state_ == SimThread::State::kFinished) {
        return;
    }
    if (thread->kernel_calls > 0) {
        thread->terminate_pending_ = true;
        return;
    }
    thread->terminating_ = true;
    if (thread->state_ == SimThread::State::kBlocked) {
        RemoveWaiter(thread);
        thread->deadline_.reset();
        thread->waits_for_ = nullptr;
        thread->state_ = SimThread::State::kRunnable;
        runnable_.push_back(thread);
    }
}

void Scheduler::EnterKernel() {
    if (running_ != nullptr) {
        ++running_->kernel_calls;
    }
}

void Scheduler::LeaveKernel() {
    SimThread* self = running_;
    if (self == nullptr || --self->kernel_calls > 0 || !self->terminate_pending_) {
        return;
    }
    self->terminate_pending_ = false;
    self->terminating_ = true;
    if (std::uncaught_exceptions() == 0) {
        throw RunAborted{};
    }
}

bool Scheduler::Unwinding() const {
    return running_ != nullptr && (aborting_ || running_->terminating_);
}

bool Scheduler::MustReturnAtOnce(const SimThread* self) const {
    if (!aborting_ && !self->terminating_) {
        return false;
    }
    if (std::uncaught_exceptions() > 0) {
        return true;
    }
    throw RunAborted{};
}

void Scheduler::SleepFor(Ticks duration, const std::string& what) {
    Block(running_, SaturatingAdd(now_, duration), what);
}

void Scheduler::BugCheck(const std::string& report) {
    Finish(RunOutcome::kBugCheck, report);
    if (running_ == nullptr) {
        throw std::logic_error(report);
    }
    throw RunAborted{};
}

}  // namespace sim
