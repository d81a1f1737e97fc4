#include <windows.h>

// The next character of the ANSI code page's text. Windows-1252 has no lead bytes, so a
// character is a byte; at the terminator the pointer stays.
LPSTR WINAPI CharNextA(LPCSTR lpsz) {
    return const_cast<LPSTR>(*lpsz != '\0' ? lpsz + 1 : lpsz);
}
