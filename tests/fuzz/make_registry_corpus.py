#!/usr/bin/env python3
"""Writes the registry fuzzer's seed inputs into corpus/registry/, one named file per case.

The layout is described at the top of registry_fuzzer.cpp. Run this again after changing the
layout; files it does not name (reproducers of past findings) are left alone.
"""
import os
import struct

IPAD, SKIP, VEXA, DONTGET, CHGCMD, IPAD_LOWER, OTHER_NAME, SERVICE_KEY = range(8)
REPEATED = 8

REG_NONE, REG_SZ, REG_BINARY, REG_DWORD, REG_LINK, REG_MULTI_SZ, REG_QWORD = 0, 1, 3, 4, 6, 7, 11

KEY_ABSENT, LOAD_DRIVER, FAIL_ALLOCATION, CHANGE_VALUE = 1, 2, 4, 8


def header(flags=0, allocations_before_failure=0, changed=7, growth=0, seed=0):
    return bytes([flags, allocations_before_failure, changed | (growth + 16) << 3, seed])


def record(slot, reg_type, data, copies=None):
    selector = slot | (REPEATED if copies is not None else 0)
    out = bytes([selector, reg_type]) + struct.pack("<H", len(data))
    if copies is not None:
        out += bytes([copies - 1])
    return out + data


def sz(text):
    return (text + "\0").encode("utf-16-le")


def multi_sz(*strings):
    return "".join(s + "\0" for s in strings).encode("utf-16-le") + b"\0\0"


def dword(value):
    return struct.pack("<I", value)


SEEDS = {
    "no_values": header(),
    "key_absent": header(KEY_ABSENT) + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_12AB")),
    "multi_sz_one_pair": header() + record(IPAD, REG_MULTI_SZ, multi_sz("05ac_12ab")),
    "sz_two_pairs": header() + record(IPAD, REG_SZ, sz("05AC:12AB;05AC:12A0;")),
    "prefix_and_bad_digit": header()
    + record(SKIP, REG_MULTI_SZ, multi_sz("0X5A_12AB", "05AG_12AB")),
    "hour_suffix": header() + record(VEXA, REG_MULTI_SZ, multi_sz("12H._0X1F", "7h.0_0x")),
    "shifted_records": header() + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_12A", "05AC_12AB")),
    "seventy_strings": header() + record(IPAD, REG_MULTI_SZ, sz("05AC_1297"), copies=70),
    "nineteen_bytes": header() + record(IPAD, REG_SZ, sz("05AC:12AB")[:19]),
    "odd_length_binary": header() + record(SKIP, REG_BINARY, sz("05AC_12AB05AC_12A")[:39]),
    "high_byte_units": header()
    + record(IPAD, REG_MULTI_SZ, "\u0130\u0135\u0141\u0143_\u4131\u4132\u4141\u4142\0".encode(
        "utf-16-le")),
    "three_lists": header()
    + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_1297"))
    + record(SKIP, REG_MULTI_SZ, multi_sz("05AC_12AB"))
    + record(VEXA, REG_MULTI_SZ, multi_sz("1234_5678")),
    "dword_options": header() + record(DONTGET, REG_DWORD, dword(1))
    + record(CHGCMD, REG_DWORD, dword(3)),
    "option_odd_types": header(seed=0x5C)
    + record(DONTGET, REG_SZ, sz("1"))
    + record(CHGCMD, REG_QWORD, struct.pack("<Q", 0x100000005)),
    "option_short_and_empty": header(seed=0xA5)
    + record(DONTGET, REG_BINARY, b"\x02\x01")
    + record(CHGCMD, REG_DWORD, b""),
    "other_names": header()
    + record(IPAD_LOWER, REG_MULTI_SZ, multi_sz("05AC_12AB"))
    + record(OTHER_NAME, REG_MULTI_SZ, multi_sz("1111_2222"))
    + record(SERVICE_KEY, REG_MULTI_SZ, multi_sz("3333_4444")),
    "odd_types": header()
    + record(IPAD, REG_NONE, sz("05AC_12AB"))
    + record(SKIP, REG_LINK, sz("05AC_12AB"))
    + record(VEXA, 0xFF, sz("05AC_12AB")),
    "long_value": header() + record(VEXA, REG_BINARY, bytes(range(256)) * 2, copies=256),
    "allocation_fails": header(FAIL_ALLOCATION, allocations_before_failure=1)
    + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_1297"))
    + record(SKIP, REG_MULTI_SZ, multi_sz("05AC_12AB"))
    + record(CHGCMD, REG_DWORD, dword(2)),
    "value_changes_same_size": header(CHANGE_VALUE, changed=SKIP, growth=0)
    + record(SKIP, REG_MULTI_SZ, multi_sz("05AC_12AB")),
    "value_grows": header(CHANGE_VALUE, changed=SKIP, growth=2)
    + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_1297"))
    + record(SKIP, REG_MULTI_SZ, multi_sz("05AC_12AB", "05AC_12A0")),
    "option_shrinks": header(CHANGE_VALUE, changed=DONTGET, growth=-3, seed=0x11)
    + record(DONTGET, REG_DWORD, dword(1)),
    "driver_load": header(LOAD_DRIVER, seed=3)
    + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_1297", "05AC_12A0"))
    + record(SKIP, REG_MULTI_SZ, multi_sz("05AC_12AB"))
    + record(VEXA, REG_SZ, sz("2109:2817;"))
    + record(DONTGET, REG_DWORD, dword(1))
    + record(CHGCMD, REG_DWORD, dword(3)),
    "driver_load_with_faults": header(
        LOAD_DRIVER | FAIL_ALLOCATION | CHANGE_VALUE,
        allocations_before_failure=2,
        changed=IPAD,
        growth=0,
        seed=9,
    )
    + record(IPAD, REG_MULTI_SZ, multi_sz("05AC_1297"))
    + record(VEXA, REG_MULTI_SZ, multi_sz("2109_2817"))
    + record(DONTGET, REG_DWORD, dword(1))
    + record(CHGCMD, REG_DWORD, dword(3)),
}


def main():
    directory = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "registry")
    os.makedirs(directory, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(directory, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    main()
