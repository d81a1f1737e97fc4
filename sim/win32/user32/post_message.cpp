// PostMessageA and PostQuitMessage.
#include <windows.h>

#include "win32/user32/message_queue.h"
#include "win32/user32/window_table.h"

using namespace sim::win32::user32;

// Queues the message for the window's thread and returns at once; a NULL window posts to
// the calling thread itself. A window that is gone fails with ERROR_INVALID_WINDOW_HANDLE.
// HWND_BROADCAST, the queue's 10000-message limit and the refusal of messages below
// WM_USER that carry pointers across processes are not modelled.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    ThreadQueue* queue = nullptr;
    if (hWnd == NULL) {
        queue = &CurrentQueue();
    } else if (Window* window = WindowOrError(hWnd)) {
        queue = QueueOf(window->thread);
    }
    if (queue == nullptr) {
        return FALSE;
    }
    if (queue == &CurrentQueue()) {
        queue->menu_needs_post = false;
    }
    PostToQueue(*queue, MakeMessage(hWnd, Msg, wParam, lParam));
    return TRUE;
}

// Sets the calling thread's quit flag: GetMessageA returns WM_QUIT once the posted messages
// before it are gone, ahead of input, paint and timers.
void WINAPI PostQuitMessage(int nExitCode) {
    ThreadQueue& queue = CurrentQueue();
    queue.quit = true;
    queue.quit_code = nExitCode;
    Wake(queue, kPostedBits);
}
