// tabvolt: the small text routines used wherever identifiers are handled. They run from PnP
// callbacks, so they stay resident, and none of them touches a byte outside the caller's buffer.
#include "filter.h"

// Identification texts are 512-byte fields; no caller converts more units than that.
#define NARROW_MAX_UNITS 512

VOID NarrowWideString(PUCHAR Buffer, SIZE_T BufferSize) {
    SIZE_T units = BufferSize / sizeof(WCHAR);
    SIZE_T index;

    if (Buffer == NULL) {
        return;
    }
    if (units > NARROW_MAX_UNITS) {
        units = NARROW_MAX_UNITS;
    }
    for (index = 0; index < units; index++) {
        UCHAR low = Buffer[2 * index];
        UCHAR high = Buffer[2 * index + 1];

        // Byte `index` lies at or before byte 2 * index, so the write never overtakes the read.
        if (low == 0 && high == 0) {
            Buffer[index] = 0;
            return;
        }
        Buffer[index] = low;
    }
}

static CHAR UpperAscii(CHAR c) {
    return (c >= 'a' && c <= 'z') ? (CHAR)(c - 'a' + 'A') : c;
}

VOID StrToUpperInPlace(PCHAR Buffer, SIZE_T BufferSize) {
    SIZE_T index;

    if (Buffer == NULL) {
        return;
    }
    for (index = 0; index < BufferSize && Buffer[index] != 0; index++) {
        Buffer[index] = UpperAscii(Buffer[index]);
    }
}

// Reads the text as its upper-case copy would read, a character at a time, so that any
// length parses and the caller's text stays as it was. Digits beyond eight keep only the
// low 32 bits of the value.
ULONG HexStrToInt(PCSTR Text) {
    SIZE_T index = 0;
    ULONG value = 0;
    CHAR c;

    if (Text == NULL) {
        return 0;
    }
    if (Text[0] == '0' && UpperAscii(Text[1]) == 'X') {
        index = 2;
    }
    for (; Text[index] != 0; index++) {
        c = UpperAscii(Text[index]);
        if (c >= '0' && c <= '9') {
            value = value * 16 + (ULONG)(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + (ULONG)(c - 'A' + 10);
        } else if (c == 'H') {
            // "12H.5" rounds up. Any character after the '.' other than '0' counts, the
            // terminating NUL included, so "12H." rounds up as well; the '.' is not the
            // terminator, so looking one further stays inside the text.
            if (Text[index + 1] == '.' && Text[index + 2] != '0') {
                value++;
            }
            return value;
        } else {
            return 0;
        }
    }
    return value;
}
