#include <windows.h>

#include <stdio.h>

// Formats into a buffer that Windows assumes holds 1024 characters and the terminator: the
// output stops there, and the count excludes the terminator. wsprintf knows no floating
// point and no %p; formats that use them are outside this stand-in's contract.
int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFmt, va_list arglist) {
    const int capacity = 1025;
    int wanted = vsnprintf(lpOutput, capacity, lpFmt, arglist);
    if (wanted < 0) {
        lpOutput[0] = '\0';
        return 0;
    }
    return wanted < capacity ? wanted : capacity - 1;
}

// wvsprintfA with the arguments of the call.
int WINAPIV wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...) {
    va_list arguments;
    va_start(arguments, lpFmt);
    int written = wvsprintfA(lpOut, lpFmt, arguments);
    va_end(arguments);
    return written;
}
