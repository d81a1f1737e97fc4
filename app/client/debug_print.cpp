#include "client/debug_print.h"

#include <stdarg.h>

void DebugPrint(LPCSTR format, ...) {
    // wvsprintfA takes no buffer size but writes at most 1024 characters and the
    // terminator; the line is cut from there, so neither buffer is ever overrun.
    char formatted[1025];
    char line[DEBUG_PRINT_BUFFER_SIZE];
    va_list args;
    va_start(args, format);
    wvsprintfA(formatted, format, args);
    va_end(args);
    lstrcpynA(line, formatted, sizeof(line));
    OutputDebugStringA(line);
}
