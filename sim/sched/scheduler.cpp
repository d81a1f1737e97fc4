#include "sched/scheduler.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace sim {
namespace {

thread_local SimThread* tls_current = nullptr;
Scheduler* g_scheduler = nullptr;

std::string FormatTime(Ticks t) {
    char text[48];
    std::snprintf(text, sizeof text, "t=%lld.%03lld", static_cast<long long>(t / kTicksPerSecond),
                  static_cast<long long>(t % kTicksPerSecond / kTicksPerMs));
    return text;
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

Scheduler::Scheduler(uint64_t seed) : seed_(seed), rng_state_(seed ^ 0x5DEECE66DULL) {}

Scheduler::~Scheduler() {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_) {
            // Threads never run (Run was not called): let each one start and unwind.
            aborting_ = true;
            if (!started_) {
                started_ = true;
                DispatchNext(lock);
            }
            host_cv_.wait(lock, [this] { return done_; });
        }
    }
    for (auto& thread : threads_) {
        if (thread->host_.joinable()) {
            thread->host_.join();
        }
    }
}

SimThread* Scheduler::Spawn(std::string name, std::function<void()> body, uint8_t irql) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto thread = std::make_unique<SimThread>();
    SimThread* raw = thread.get();
    raw->name_ = std::move(name);
    raw->body_ = std::move(body);
    raw->irql = irql;
    raw->order_ = next_order_++;
    raw->state_ = SimThread::State::kRunnable;
    runnable_.push_back(raw);
    threads_.push_back(std::move(thread));
    raw->host_ = std::thread([this, raw] { ThreadMain(raw); });
    return raw;
}

SimThread* Scheduler::Current() const {
    return tls_current;
}

uint64_t Scheduler::Random() {
    // splitmix64: small, fast and identical on every platform.
    uint64_t z = (rng_state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

void Scheduler::ThreadMain(SimThread* thread) {
    tls_current = thread;
    std::unique_lock<std::mutex> lock(mutex_);
    WaitForTurn(thread, lock);
    if (!aborting_) {
        lock.unlock();
        try {
            thread->body_();
        } catch (const RunAborted&) {
        } catch (const std::exception& error) {
            lock.lock();
            Finish(RunOutcome::kBugCheck, std::string("unexpected exception in thread '") +
                                              thread->name_ + "': " + error.what());
            lock.unlock();
        }
        lock.lock();
    }
    thread->state_ = SimThread::State::kFinished;
    running_ = nullptr;
    DispatchNext(lock);
}

void Scheduler::WaitForTurn(SimThread* self, std::unique_lock<std::mutex>& lock) {
    self->turn_.wait(lock, [self] { return self->has_turn_; });
    self->has_turn_ = false;
    self->state_ = SimThread::State::kRunning;
    running_ = self;
}

void Scheduler::DispatchNext(std::unique_lock<std::mutex>& lock) {
    (void)lock;
    for (;;) {
        if (!runnable_.empty()) {
            size_t index = runnable_.size() == 1 ? 0 : Random() % runnable_.size();
            SimThread* next = runnable_[index];
            runnable_.erase(runnable_.begin() + static_cast<std::ptrdiff_t>(index));
            next->has_turn_ = true;
            next->turn_.notify_one();
            return;
        }
        std::vector<SimThread*> blocked;
        for (auto& thread : threads_) {
            if (thread->state_ == SimThread::State::kBlocked) {
                blocked.push_back(thread.get());
            }
        }
        if (blocked.empty()) {
            done_ = true;
            host_cv_.notify_all();
            return;
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
            if (thread->deadline_ && (!earliest || *thread->deadline_ < *earliest)) {
                earliest = thread->deadline_;
            }
        }
        if (!earliest) {
            Finish(RunOutcome::kDeadlock, DescribeBlocked());
            continue;
        }
        now_ = *earliest;
        for (SimThread* thread : blocked) {
            if (thread->deadline_ == earliest) {
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
    auto found = waiters_.find(thread->wait_key_);
    if (found == waiters_.end()) {
        return;
    }
    auto& queue = found->second;
    queue.erase(std::remove(queue.begin(), queue.end(), thread), queue.end());
    if (queue.empty()) {
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
    std::unique_lock<std::mutex> lock(mutex_);
    started_ = true;
    DispatchNext(lock);
    host_cv_.wait(lock, [this] { return done_; });
    lock.unlock();
    for (auto& thread : threads_) {
        if (thread->host_.joinable()) {
            thread->host_.join();
        }
    }
    return outcome_;
}

WaitResult Scheduler::Block(const void* key, std::optional<Ticks> deadline,
                            const std::string& what) {
    SimThread* self = tls_current;
    if (self == nullptr) {
        throw std::logic_error("blocking call outside a simulated thread: " + what);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (aborting_) {
        throw RunAborted{};
    }
    self->state_ = SimThread::State::kBlocked;
    self->wait_key_ = key;
    self->wait_what_ = what;
    self->deadline_ = deadline;
    waiters_[key].push_back(self);
    running_ = nullptr;
    DispatchNext(lock);
    WaitForTurn(self, lock);
    if (aborting_) {
        throw RunAborted{};
    }
    return self->wait_result_;
}

int Scheduler::Signal(const void* key, bool all) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto found = waiters_.find(key);
    if (found == waiters_.end()) {
        return 0;
    }
    int woken = 0;
    auto& queue = found->second;
    while (!queue.empty() && (all || woken == 0)) {
        SimThread* thread = queue.front();
        queue.pop_front();
        thread->deadline_.reset();
        thread->wait_result_ = WaitResult::kSignaled;
        thread->state_ = SimThread::State::kRunnable;
        runnable_.push_back(thread);
        ++woken;
    }
    if (queue.empty()) {
        waiters_.erase(found);
    }
    return woken;
}

void Scheduler::Yield() {
    SimThread* self = tls_current;
    if (self == nullptr) {
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (aborting_) {
        throw RunAborted{};
    }
    if (runnable_.empty()) {
        return;
    }
    self->state_ = SimThread::State::kRunnable;
    runnable_.push_back(self);
    running_ = nullptr;
    DispatchNext(lock);
    WaitForTurn(self, lock);
    if (aborting_) {
        throw RunAborted{};
    }
}

void Scheduler::SleepFor(Ticks duration, const std::string& what) {
    SimThread* self = tls_current;
    Block(self, now_ + duration, what);
}

void Scheduler::BugCheck(const std::string& report) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        Finish(RunOutcome::kBugCheck, report);
    }
    if (tls_current == nullptr) {
        throw std::logic_error(report);
    }
    throw RunAborted{};
}

}  // namespace sim
