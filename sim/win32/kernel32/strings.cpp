#include <windows.h>

// Copies at most iMaxLength - 1 characters and always terminates (iMaxLength > 0).
LPSTR WINAPI lstrcpynA(LPSTR lpString1, LPCSTR lpString2, int iMaxLength) {
    if (iMaxLength <= 0) {
        return lpString1;
    }
    int copied = 0;
    while (copied < iMaxLength - 1 && lpString2[copied] != '\0') {
        lpString1[copied] = lpString2[copied];
        copied++;
    }
    lpString1[copied] = '\0';
    return lpString1;
}
