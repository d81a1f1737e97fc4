// tabvolt: the small text routines used wherever identifiers are handled. They run from PnP
// callbacks, so they stay resident, and none of them touches a byte outside the caller's buffer.
#include "filter.h"

// Identification texts are 512-byte fields; no caller converts more units than that.
#define NARROW_MAX_UNITS 512

// HexStrToInt is given four-digit groups and IDs of the same kind; sixteen characters leave
// room for a "0X" prefix, eight digits and an "H.n" suffix.
#define HEX_TEXT_MAX 16

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

VOID StrToUpperInPlace(PCHAR Buffer, SIZE_T BufferSize) {
    SIZE_T index;

    if (Buffer == NULL) {
        return;
    }
    for (index = 0; index < BufferSize && Buffer[index] != 0; index++) {
        if (Buffer[index] >= 'a' && Buffer[index] <= 'z') {
            Buffer[index] = (CHAR)(Buffer[index] - 'a' + 'A');
        }
    }
}

ULONG HexStrToInt(PCSTR Text) {
    CHAR copy[HEX_TEXT_MAX + 1];
    SIZE_T length = 0;
    SIZE_T index = 0;
    ULONG value = 0;
    CHAR c;

    if (Text == NULL) {
        return 0;
    }
    while (length < HEX_TEXT_MAX && Text[length] != 0) {
        copy[length] = Text[length];
        length++;
    }
    // A text that does not fit is no identifier this driver knows; reading only its start
    // could turn it into a plausible but wrong number, so it does not parse at all.
    if (Text[length] != 0) {
        return 0;
    }
    copy[length] = 0;
    StrToUpperInPlace(copy, sizeof(copy));

    if (copy[0] == '0' && copy[1] == 'X') {
        index = 2;
    }
    for (; copy[index] != 0; index++) {
        c = copy[index];
        if (c >= '0' && c <= '9') {
            value = value * 16 + (ULONG)(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            value = value * 16 + (ULONG)(c - 'A' + 10);
        } else if (c == 'H') {
            // "12H.5" rounds up. Any character after the '.' other than '0' counts, the
            // terminating NUL included, so "12H." rounds up as well; the copy is terminated,
            // so looking two characters ahead stays inside it.
            if (copy[index + 1] == '.' && copy[index + 2] != '0') {
                value++;
            }
            return value;
        } else {
            return 0;
        }
    }
    return value;
}
