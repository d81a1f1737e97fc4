// A small program for the process tests: globals of its own, a static object whose
// constructor and destructor report where they run, and a few behaviours chosen by the
// command line.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "program_print.h"

namespace {

int g_counter = 0;

struct Lifetime {
    Lifetime() { Print("constructed on thread %lu", GetCurrentThreadId()); }
    ~Lifetime() { Print("destroyed on thread %lu", GetCurrentThreadId()); }
};
Lifetime g_lifetime;

DWORD WINAPI SleepForever(LPVOID) {
    for (;;) {
        Sleep(1000);
    }
}

}  // namespace

// "count N": N steps of 10 ms, each printing the module's own counter.
// "worker": leaves a thread sleeping for ever and returns 7.
// "device MS": opens tabvolt's device, sleeps MS milliseconds and leaves without closing it.
// "tls": allocates a TLS slot and prints its index.
// "string ID": prints string ID of the module's string table.
extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    Print("main on thread %lu", GetCurrentThreadId());
    if (strncmp(lpCmdLine, "count ", 6) == 0) {
        int steps = atoi(lpCmdLine + 6);
        for (int i = 0; i < steps; i++) {
            Sleep(10);
            Print("counter=%d", ++g_counter);
        }
        return g_counter;
    }
    if (strcmp(lpCmdLine, "worker") == 0) {
        CloseHandle(CreateThread(NULL, 0, SleepForever, NULL, 0, NULL));
        Sleep(5);
        return 7;
    }
    if (strncmp(lpCmdLine, "device ", 7) == 0) {
        HANDLE device = CreateFileA("\\\\.\\tabvolt", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                    OPEN_EXISTING, 0, NULL);
        Print("device open %d", device != INVALID_HANDLE_VALUE);
        Sleep((DWORD)atoi(lpCmdLine + 7));
        return 0;
    }
    if (strcmp(lpCmdLine, "tls") == 0) {
        DWORD slot = TlsAlloc();
        Print("slot=%lu", slot);
        return (int)slot;
    }
    if (strncmp(lpCmdLine, "string ", 7) == 0) {
        char text[64];
        int length = LoadStringA(hInstance, (UINT)atoi(lpCmdLine + 7), text, sizeof text);
        Print("string length=%d text=%s", length, text);
        return length;
    }
    return 0;
}
