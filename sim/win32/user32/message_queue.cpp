#include "win32/user32/message_queue.h"

#include <algorithm>
#include <cstdio>

#include "pc/machine.h"
#include "win32/process/process.h"
#include "win32/user32/mouse.h"
#include "win32/user32/window_table.h"

namespace sim::win32::user32 {
namespace {

// In creation order, so that whatever walks them wakes threads in an order the seed decides.
struct Queues {
    std::vector<std::unique_ptr<ThreadQueue>> all;
};

Queues& AllQueues() {
    return Machine::Current().Extension<Queues>();
}

// A thread's windows go with it, without messages (nothing runs on its behalf any more),
// and the threads waiting for it to handle a sent message get 0.
void ThreadEnded(const SimThread* thread) {
    for (HWND hwnd : WindowsOfThread(thread)) {
        FailSendsTo(hwnd);
        ForgetWindowMessages(hwnd);
        RemoveWithEndedThread(hwnd);
    }
    ThreadQueue* queue = QueueOf(thread);
    if (queue == nullptr) {
        return;
    }
    for (const auto& sent : queue->incoming) {
        if (sent->sender != nullptr && !sent->abandoned) {
            sent->done = true;
            sent->result = 0;
            Wake(*sent->sender, 0);
        }
    }
    std::erase_if(AllQueues().all, [queue](const auto& held) { return held.get() == queue; });
}

bool InRange(UINT message, UINT min, UINT max) {
    return (min == 0 && max == 0) || (message >= min && message <= max);
}

// NULL takes every message of the thread; -1 only those posted without a window.
bool ForFilter(HWND filter, HWND hwnd) {
    if (filter == nullptr) {
        return true;
    }
    if (filter == reinterpret_cast<HWND>(-1)) {
        return hwnd == nullptr;
    }
    return IsSelfOrDescendant(filter, hwnd);
}

bool TakeFrom(std::deque<MSG>& messages, HWND filter, UINT min, UINT max, UINT remove, MSG* msg) {
    for (auto it = messages.begin(); it != messages.end(); ++it) {
        if (ForFilter(filter, it->hwnd) && InRange(it->message, min, max)) {
            *msg = *it;
            if ((remove & PM_REMOVE) != 0) {
                messages.erase(it);
            }
            return true;
        }
    }
    return false;
}

}  // namespace

ThreadQueue& CurrentQueue() {
    SimThread* thread = CurrentScheduler().Current();
    if (thread == nullptr) {
        throw std::logic_error("a USER32 call that needs a message queue, on the host thread");
    }
    if (ThreadQueue* queue = QueueOf(thread)) {
        return *queue;
    }
    auto& all = AllQueues().all;
    all.push_back(std::make_unique<ThreadQueue>());
    all.back()->thread = thread;
    all.back()->process_id = sim::win32::CurrentProcess().id();
    thread->at_exit.push_back([thread] { ThreadEnded(thread); });
    return *all.back();
}

ThreadQueue* QueueOf(const SimThread* thread) {
    for (const auto& queue : AllQueues().all) {
        if (queue->thread == thread) {
            return queue.get();
        }
    }
    return nullptr;
}

void Wake(ThreadQueue& queue, DWORD qs_bits) {
    queue.changed |= qs_bits;
    CurrentScheduler().Signal(queue.WakeKey(), true);
}

namespace {

// Answers a sent message however its handling ends: a receiver unwound in the middle of
// it still frees its sender, with 0.
class Reply {
  public:
    Reply(ThreadQueue& queue, std::shared_ptr<SentMessage> sent)
        : queue_(queue), sent_(std::move(sent)) {
        queue_.in_send++;
    }
    ~Reply() {
        queue_.in_send--;
        sent_->done = true;
        sent_->result = result;
        if (sent_->sender != nullptr && !sent_->abandoned) {
            Wake(*sent_->sender, 0);
        }
    }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    LRESULT result = 0;

  private:
    ThreadQueue& queue_;
    std::shared_ptr<SentMessage> sent_;
};

}  // namespace

void ReceiveSentMessages(ThreadQueue& queue) {
    // A thread's queue is one locked structure: what any thread did before waking it happens
    // before what its owner takes from it (see Wake).
    race::Acquire(queue.WakeKey());
    while (!queue.incoming.empty()) {
        std::shared_ptr<SentMessage> sent = queue.incoming.front();
        queue.incoming.pop_front();
        if (sent->abandoned) {
            continue;
        }
        if (sent->action) {
            sent->action();
            continue;
        }
        Reply reply(queue, sent);
        reply.result = CallWindowProcedure(sent->hwnd, sent->message, sent->wparam, sent->lparam);
    }
}

std::optional<Ticks> UpdateTimers(ThreadQueue& queue) {
    Ticks now = CurrentScheduler().Now();
    std::optional<Ticks> next;
    for (Timer& timer : queue.timers) {
        if (!timer.pending && now >= timer.due) {
            timer.pending = true;
            queue.changed |= QS_TIMER;
            while (timer.due <= now) {
                timer.due += timer.period;
            }
        }
        if (!timer.pending && (!next || timer.due < *next)) {
            next = timer.due;
        }
    }
    if (std::optional<Ticks> hover = UpdateHover(queue); hover && (!next || *hover < *next)) {
        next = hover;
    }
    return next;
}

bool TakeMessage(ThreadQueue& queue, HWND filter, UINT min, UINT max, UINT remove, DWORD types,
                 MSG* msg) {
    race::Acquire(queue.WakeKey());
    if ((types & (QS_POSTMESSAGE | QS_ALLPOSTMESSAGE)) != 0) {
        if (TakeFrom(queue.posted, filter, min, max, remove, msg)) {
            return true;
        }
        // WM_QUIT comes once the posted messages are gone, whatever the filter.
        if (queue.quit) {
            *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0);
            if ((remove & PM_REMOVE) != 0) {
                queue.quit = false;
            }
            return true;
        }
    }
    while ((types & QS_INPUT) != 0 && TakeFrom(queue.input, filter, min, max, remove, msg)) {
        if ((remove & PM_REMOVE) == 0 || MouseActivate(*msg)) {
            return true;
        }
    }
    // A window needs painting until BeginPaint validates it; retrieving WM_PAINT does not.
    if ((types & QS_PAINT) != 0 && InRange(WM_PAINT, min, max)) {
        for (HWND hwnd : WindowsOfThread(queue.thread)) {
            Window* window = FindWindowRecord(hwnd);
            if (window->needs_paint && IsShown(hwnd) && ForFilter(filter, hwnd)) {
                *msg = MakeMessage(hwnd, WM_PAINT, 0, 0);
                return true;
            }
        }
    }
    if ((types & QS_TIMER) != 0 && InRange(WM_TIMER, min, max)) {
        for (Timer& timer : queue.timers) {
            if (timer.pending && ForFilter(filter, timer.hwnd)) {
                *msg = MakeMessage(timer.hwnd, WM_TIMER, timer.id,
                                   reinterpret_cast<LPARAM>(timer.proc));
                if ((remove & PM_REMOVE) != 0) {
                    timer.pending = false;
                }
                return true;
            }
        }
    }
    return false;
}

bool HasInput(ThreadQueue& queue, DWORD types) {
    MSG ignored;
    if ((types & QS_SENDMESSAGE) != 0 && !queue.incoming.empty()) {
        return true;
    }
    UpdateTimers(queue);
    return TakeMessage(queue, nullptr, 0, 0, PM_NOREMOVE, types, &ignored);
}

DWORD MessageTime() {
    return static_cast<DWORD>(CurrentScheduler().Now() / kTicksPerMs);
}

MSG MakeMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG msg;
    msg.hwnd = hwnd;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = MessageTime();
    msg.pt = CursorPosition();
    return msg;
}

void PostToQueue(ThreadQueue& queue, const MSG& msg) {
    queue.posted.push_back(msg);
    Wake(queue, kPostedBits);
}

std::shared_ptr<SentMessage> QueueSentMessage(ThreadQueue& receiver, HWND hwnd, UINT message,
                                              WPARAM wparam, LPARAM lparam, ThreadQueue* sender) {
    auto sent = std::make_shared<SentMessage>();
    sent->hwnd = hwnd;
    sent->message = message;
    sent->wparam = wparam;
    sent->lparam = lparam;
    sent->sender = sender;
    receiver.incoming.push_back(sent);
    Wake(receiver, QS_SENDMESSAGE);
    return sent;
}

void RunOnThread(ThreadQueue& queue, HWND hwnd, std::function<void()> action) {
    if (queue.thread == CurrentScheduler().Current()) {
        action();
        return;
    }
    QueueSentMessage(queue, hwnd, WM_NULL, 0, 0, nullptr)->action = std::move(action);
}

ThreadQueue* ForegroundQueue() {
    for (const auto& queue : AllQueues().all) {
        if (queue->foreground) {
            return queue.get();
        }
    }
    return nullptr;
}

void FailSendsTo(HWND hwnd) {
    for (const auto& queue : AllQueues().all) {
        auto& incoming = queue->incoming;
        for (auto it = incoming.begin(); it != incoming.end();) {
            if ((*it)->hwnd != hwnd) {
                ++it;
                continue;
            }
            std::shared_ptr<SentMessage> sent = *it;
            it = incoming.erase(it);
            sent->done = true;
            sent->result = 0;
            if (sent->sender != nullptr && !sent->abandoned) {
                Wake(*sent->sender, 0);
            }
        }
    }
}

void ForgetWindowMessages(HWND hwnd) {
    for (const auto& queue : AllQueues().all) {
        auto for_window = [hwnd](const MSG& msg) { return msg.hwnd == hwnd; };
        std::erase_if(queue->posted, for_window);
        std::erase_if(queue->input, for_window);
        std::erase_if(queue->timers, [hwnd](const Timer& timer) { return timer.hwnd == hwnd; });
    }
}

std::string HexMessage(UINT message) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", message);
    return text;
}

}  // namespace sim::win32::user32
