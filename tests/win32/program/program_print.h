// How the test programs report: a printf-style line through OutputDebugStringA, which the
// simulated PC logs as an `app dbg` line.
#pragma once

#include <windows.h>

#include <stdarg.h>
#include <stdio.h>

inline void Print(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    OutputDebugStringA(line);
}
