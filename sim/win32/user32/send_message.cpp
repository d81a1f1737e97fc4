// SendMessageA, SendNotifyMessageA and InSendMessage.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

namespace {

using namespace sim::win32::user32;

// Stops the receiver from running a message whose sender no longer waits for it.
struct AbandonIfUnanswered {
    SentMessage& sent;
    ~AbandonIfUnanswered() {
        if (!sent.done) {
            sent.abandoned = true;
        }
    }
};

std::string WaitName(UINT message, const sim::SimThread* receiver) {
    return "SendMessageA " + HexMessage(message) + " to '" + receiver->name() + "'";
}

}  // namespace

// Calls the window procedure and returns its result. A window of the calling thread has it
// called at once; one of another thread gets the message queued, and the sender blocks
// until the receiver runs it inside one of its message calls (GetMessageA, PeekMessageA,
// WaitMessage, its own SendMessageA, the modal loops). While it waits the sender runs the
// messages other threads send to it. A window that is or becomes gone, and a receiver that
// ends, answer 0. A thread being terminated sends nothing, and the host thread (a test
// outside the machine), which cannot wait, gets 0 from another thread's window without
// delivering. SMTO timeouts and the ERROR_ACCESS_DENIED of UIPI are not modelled.
LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    sim::SimThread* self = scheduler.Current();
    NotifySendObserver(self, hWnd, Msg, wParam, lParam);
    Window* window = WindowOrError(hWnd);
    if (window == nullptr || scheduler.Unwinding()) {
        return 0;
    }
    if (window->thread == self) {
        return CallWindowProcedure(hWnd, Msg, wParam, lParam);
    }
    ThreadQueue* receiver = QueueOf(window->thread);
    if (receiver == nullptr || self == nullptr) {
        return 0;
    }
    ThreadQueue& own = CurrentQueue();
    std::shared_ptr<SentMessage> sent =
        QueueSentMessage(*receiver, hWnd, Msg, wParam, lParam, &own);
    AbandonIfUnanswered guard{*sent};
    const sim::SimThread* receiver_thread = receiver->thread;
    const std::string what = WaitName(Msg, receiver_thread);
    while (!sent->done) {
        if (!own.incoming.empty()) {
            ReceiveSentMessages(own);
            continue;
        }
        scheduler.Block(own.WakeKey(), std::nullopt, what, receiver_thread);
        if (scheduler.Unwinding()) {
            return 0;
        }
    }
    // The reply woke this queue: what the receiver did for it happens before.
    sim::race::Acquire(own.WakeKey());
    return sent->result;
}

namespace sim::win32::user32 {

void AwaitAnswerFromAnotherProcess() {
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    sim::SimThread* self = scheduler.Current();
    if (self == nullptr || scheduler.Unwinding()) {
        return;
    }
    scheduler.Yield();
    if (ThreadQueue* own = QueueOf(self)) {
        ReceiveSentMessages(*own);
    }
}

}  // namespace sim::win32::user32

// As SendMessageA for a window of the calling thread; a window of another thread gets the
// message queued with the sent ones, and the call returns at once without waiting for it.
// A window that is gone fails with ERROR_INVALID_WINDOW_HANDLE. HWND_BROADCAST is not
// modelled.
BOOL WINAPI SendNotifyMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    sim::SimThread* self = sim::CurrentScheduler().Current();
    NotifySendObserver(self, hWnd, Msg, wParam, lParam);
    Window* window = WindowOrError(hWnd);
    if (window == nullptr) {
        return FALSE;
    }
    if (window->thread == self) {
        CallWindowProcedure(hWnd, Msg, wParam, lParam);
        return TRUE;
    }
    if (ThreadQueue* receiver = QueueOf(window->thread)) {
        QueueSentMessage(*receiver, hWnd, Msg, wParam, lParam, nullptr);
    }
    return TRUE;
}

// Whether the calling thread is running a message another thread sent it.
BOOL WINAPI InSendMessage(void) {
    return CurrentQueue().in_send > 0;
}
