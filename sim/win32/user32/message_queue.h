// Each thread's message queue, made on its first USER32 call: messages sent to its windows
// by other threads, posted messages, input, timers and the quit flag. A thread blocked in a
// USER32 wait blocks on its queue's key; whatever may end such a wait signals it, and the
// waiter looks again.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sched/scheduler.h"

namespace sim::win32::user32 {

struct ThreadQueue;

// A message sent to a window of another thread (or without reply, as a notification).
struct SentMessage {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wparam = 0;
    LPARAM lparam = 0;
    ThreadQueue* sender = nullptr;  // null: nobody waits for the reply
    bool done = false;
    bool abandoned = false;  // the sender stopped waiting (it was terminated)
    LRESULT result = 0;
    // Set for the window manager's own work on the receiving thread (its activation), which
    // runs instead of a window procedure.
    std::function<void()> action;
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    Ticks period = 0;
    Ticks due = 0;
    TIMERPROC proc = nullptr;
    bool pending = false;  // elapsed, its WM_TIMER not yet retrieved
};

struct ThreadQueue {
    SimThread* thread = nullptr;
    std::deque<std::shared_ptr<SentMessage>> incoming;
    std::deque<MSG> posted;
    std::deque<MSG> input;
    bool quit = false;
    int quit_code = 0;
    std::vector<Timer> timers;
    DWORD changed = 0;  // QS_ bits of what arrived since the thread last looked
    int in_send = 0;    // sent messages being handled now
    HWND focus = nullptr;
    HWND active = nullptr;    // the thread's active window
    bool foreground = false;  // the foreground thread: its active window is the foreground one
    uint32_t process_id = 0;  // the process of the thread
    // A popup menu of this thread closed while its owner was the foreground window, and the
    // thread has posted itself nothing since: the next menu closes as soon as it appears.
    bool menu_needs_post = false;
    const void* WakeKey() const { return this; }
};

// The calling thread's queue, made if it has none; the host thread has none.
ThreadQueue& CurrentQueue();
ThreadQueue* QueueOf(const SimThread* thread);

// Records what arrived and wakes the thread if it waits in USER32.
void Wake(ThreadQueue& queue, DWORD qs_bits);
// Runs the messages other threads have sent to this thread, oldest first.
void ReceiveSentMessages(ThreadQueue& queue);
// Marks elapsed timers pending (at most one WM_TIMER each); returns the next deadline.
std::optional<Ticks> UpdateTimers(ThreadQueue& queue);

// Retrieval in Windows' order: posted, quit, input, paint, timer. `types` are the QS_ kinds
// looked at. Fills *msg and removes it with PM_REMOVE.
bool TakeMessage(ThreadQueue& queue, HWND filter, UINT min, UINT max, UINT remove, DWORD types,
                 MSG* msg);
// Whether a message of these QS_ kinds waits, new or not.
bool HasInput(ThreadQueue& queue, DWORD types);

// The message of the thread and the window now, as GetMessageTime and the MSG record keep.
MSG MakeMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
DWORD MessageTime();

// What a posted message (WM_QUIT too) counts as for the waits.
constexpr DWORD kPostedBits = QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
// Posts to a thread's queue of posted messages.
void PostToQueue(ThreadQueue& queue, const MSG& msg);
// Queues a sent message for the window's thread; returns it for the sender to wait on.
std::shared_ptr<SentMessage> QueueSentMessage(ThreadQueue& receiver, HWND hwnd, UINT message,
                                              WPARAM wparam, LPARAM lparam, ThreadQueue* sender);
// A send to a thread of another process that answers it at once (the shell's tray): the
// calling thread gives that thread its turn and, while it waits, runs what is sent to it.
void AwaitAnswerFromAnotherProcess();
// Runs `action` on the queue's thread: at once from that thread, else queued with the sent
// messages without waiting for it (as a notification for `hwnd`, dropped if it goes).
void RunOnThread(ThreadQueue& queue, HWND hwnd, std::function<void()> action);
// The foreground thread's queue; null when no thread has the foreground.
ThreadQueue* ForegroundQueue();
// Ends the sends still waiting for a window that is gone: their senders get 0.
void FailSendsTo(HWND hwnd);
// Drops a destroyed window's posted messages and timers.
void ForgetWindowMessages(HWND hwnd);

std::string HexMessage(UINT message);

// Tells the test surface's observer (SetSendObserver) of a SendMessageA.
void NotifySendObserver(const SimThread* sender, HWND hwnd, UINT message, WPARAM wparam,
                        LPARAM lparam);

}  // namespace sim::win32::user32
