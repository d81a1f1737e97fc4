// The application's only log output.
#pragma once

#include <windows.h>

#define DEBUG_PRINT_BUFFER_SIZE 260

// Formats printf-style (wvsprintfA) and writes the text with OutputDebugStringA; text longer
// than the 260-byte buffer is cut to its first 259 bytes.
void DebugPrint(LPCSTR format, ...);
