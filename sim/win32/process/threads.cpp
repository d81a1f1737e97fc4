// Threads and waits on the simulated scheduler. A thread runs when the scheduler chooses it;
// priorities are recorded and reported but do not change that choice (the seed does).
// Security attributes and stack sizes are accepted and ignored.
#include <windows.h>

#include "sched/scheduler.h"
#include "win32/process/process.h"

namespace {

// GetCurrentProcess and GetCurrentThread: values that mean "the caller's own".
HANDLE const kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

std::shared_ptr<sim::win32::Waitable> WaitableFromHandle(HANDLE handle) {
    if (handle == kCurrentThread) {
        sim::win32::Thread& self = sim::win32::CurrentThread();
        for (const auto& thread : self.process().threads()) {
            if (thread.get() == &self) {
                return thread;
            }
        }
        return nullptr;
    }
    return std::dynamic_pointer_cast<sim::win32::Waitable>(
        sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(handle)));
}

sim::win32::Thread* ThreadFromHandle(HANDLE handle) {
    if (handle == kCurrentThread) {
        return &sim::win32::CurrentThread();
    }
    auto object = sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(handle));
    return dynamic_cast<sim::win32::Thread*>(object.get());
}

}  // namespace

// Starts lpStartAddress(lpParameter) on a new thread of the calling process, or leaves it
// suspended until ResumeThread with CREATE_SUSPENDED. Returns a handle of the caller's table.
HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpStartAddress == NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return NULL;
    }
    auto thread = sim::win32::CreateProcessThread(
        [lpStartAddress, lpParameter] { return lpStartAddress(lpParameter); },
        (dwCreationFlags & CREATE_SUSPENDED) != 0);
    if (lpThreadId != NULL) {
        *lpThreadId = thread->id();
    }
    return reinterpret_cast<HANDLE>(sim::win32::InsertObjectHandle(thread));
}

// Decrements the suspend count and lets the thread run once it reaches zero; returns the
// count before the call, (DWORD)-1 for a handle that is not a thread's.
DWORD WINAPI ResumeThread(HANDLE hThread) {
    sim::win32::Thread* thread = ThreadFromHandle(hThread);
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<DWORD>(-1);
    }
    int previous = thread->suspend_count;
    if (previous > 0 && --thread->suspend_count == 0) {
        sim::CurrentScheduler().Signal(&thread->suspend_count, true);
    }
    return static_cast<DWORD>(previous);
}

// A pseudo-handle that means the calling thread wherever it is used; closing it does nothing.
HANDLE WINAPI GetCurrentThread(void) {
    return kCurrentThread;
}

DWORD WINAPI GetCurrentThreadId(void) {
    return sim::win32::CurrentThread().id();
}

HANDLE WINAPI GetCurrentProcess(void) {
    return kCurrentProcess;
}

DWORD WINAPI GetCurrentProcessId(void) {
    return sim::win32::CurrentProcess().id();
}

// NULL names the calling process's own image, the only module a simulated program has; any
// other name is not found (ERROR_MOD_NOT_FOUND).
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName != NULL) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return reinterpret_cast<HMODULE>(sim::win32::CurrentProcess().instance());
}

// Accepts the levels of a normal-class process (-2..2, idle -15, time-critical 15).
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    sim::win32::Thread* thread = ThreadFromHandle(hThread);
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    bool valid = (nPriority >= THREAD_PRIORITY_LOWEST && nPriority <= THREAD_PRIORITY_HIGHEST) ||
                 nPriority == THREAD_PRIORITY_IDLE || nPriority == THREAD_PRIORITY_TIME_CRITICAL;
    if (!valid) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    thread->priority = nPriority;
    return TRUE;
}

int WINAPI GetThreadPriority(HANDLE hThread) {
    sim::win32::Thread* thread = ThreadFromHandle(hThread);
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return THREAD_PRIORITY_ERROR_RETURN;
    }
    return thread->priority;
}

// STILL_ACTIVE while the thread runs, then the value its procedure returned (or the exit
// code of the process that ended it).
BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    sim::win32::Thread* thread = ThreadFromHandle(hThread);
    if (thread == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = thread->signaled() ? thread->exit_code : sim::win32::kStillActive;
    return TRUE;
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    sim::win32::Process* process =
        hProcess == kCurrentProcess
            ? &sim::win32::CurrentProcess()
            : dynamic_cast<sim::win32::Process*>(
                  sim::win32::ObjectFromHandle(reinterpret_cast<uintptr_t>(hProcess)).get());
    if (process == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpExitCode = process->ended() ? process->exit_code() : sim::win32::kStillActive;
    return TRUE;
}

// Waits until a thread or process has ended or the virtual clock reaches the timeout. The
// wait handles no sent messages and no APCs; a wait without timeout on a thread is named in
// the deadlock report by that thread. Mutexes, events and abandoned waits are not modelled.
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<sim::win32::Waitable> object = WaitableFromHandle(hHandle);
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    sim::Scheduler& scheduler = sim::CurrentScheduler();
    std::optional<sim::Ticks> deadline;
    if (dwMilliseconds != INFINITE) {
        deadline = scheduler.Now() + static_cast<sim::Ticks>(dwMilliseconds) * sim::kTicksPerMs;
    }
    while (!object->signaled()) {
        if (deadline && scheduler.Now() >= *deadline) {
            return WAIT_TIMEOUT;
        }
        if (scheduler.Current() == nullptr || scheduler.Unwinding()) {
            // The host thread cannot block, nor can a thread being unwound.
            return WAIT_TIMEOUT;
        }
        scheduler.Block(object.get(), deadline, "WaitForSingleObject (" + object->Describe() + ")",
                        object->SignaledBy());
    }
    sim::race::Acquire(object.get());
    return WAIT_OBJECT_0;
}
