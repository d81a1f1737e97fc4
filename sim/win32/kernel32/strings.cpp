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

// Appends the second string to the first; like Windows, it trusts the first to have room.
LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    return strcat(lpString1, lpString2 == NULL ? "" : lpString2);
}

// Bytes before the terminator; a NULL pointer counts 0, as Windows' exception handler makes it.
int WINAPI lstrlenA(LPCSTR lpString) {
    return lpString == NULL ? 0 : static_cast<int>(strlen(lpString));
}

// Equal strings compare 0 exactly; the order of unequal ones is the bytes' order, not the
// user locale's word sort that Windows applies.
int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    int order = strcmp(lpString1 == NULL ? "" : lpString1, lpString2 == NULL ? "" : lpString2);
    return (order > 0) - (order < 0);
}
