#!/usr/bin/env python3
"""Writes the I/O-control fuzzer's seed inputs into corpus/ioctl/, one named file per case.

The layout is described at the top of ioctl_fuzzer.cpp. Run this again after changing the
layout; files it does not name (reproducers of past findings) are left alone.
"""
import os
import struct

(GET_DEVICE_NUM, ENUM_DEVICES, VENDOR_REQUEST, NOOP, VENDOR_REQUEST2, BEEP_ON, BEEP_OFF,
 ENABLE_TAB_CHARGING, GET_SERIAL_STRING, GET_INSTANCE_ID, GET_CONTAINER_ID,
 GET_BOS_CONTAINER_ID, GET_TOPOLOGY_ADDRESS, HUB_PORT_COMMAND, UNKNOWN, NEITHER) = range(16)
TOGGLE_PAD, SUSPEND_RESUME, SECOND_PROGRAM, UNPLUG_ALL = 0x10, 0x20, 0x40, 0x80

# Handles as the fuzzer's PC hands them out: H1, PAD, TAB, MUTE, OLD.
H1, PAD, TAB, MUTE, OLD = 1, 2, 3, 4, 5


def header(seed=0, mode=0):
    return bytes([seed, mode])


def request(code, output_length, data=b"", events=0):
    return bytes([code | events]) + struct.pack("<HH", output_length, len(data)) + data


def transfer(handle, request_type, request_code, value, index, length, data=b""):
    return struct.pack("<IIBBHHH", 0, handle, request_type, request_code, value, index,
                       length) + data


def query(handle, capacity=512):
    return struct.pack("<III", 0, handle, capacity)


SEEDS = {
    "count_and_list": header() + request(GET_DEVICE_NUM, 23) + request(ENUM_DEVICES, 8 + 15 * 7 + 9),
    "list_cut_short": header() + request(ENUM_DEVICES, 40) + request(ENUM_DEVICES, 22),
    "port_command": header() + request(HUB_PORT_COMMAND, 17,
                                       transfer(H1, 0x43, 0x74, 2, 1, 0, b"\0")),
    "descriptor_read": header() + request(VENDOR_REQUEST2, 34,
                                          transfer(PAD, 0x80, 6, 0x0100, 0, 18, bytes(18))),
    "irp_path_transfer": header() + request(VENDOR_REQUEST, 20,
                                            transfer(OLD, 0x40, 0x41, 1, 2, 4, b"abcd")),
    "stalled_transfer": header() + request(VENDOR_REQUEST, 16, transfer(MUTE, 0x40, 0x40, 0, 0, 0)),
    "transfer_short": header() + request(VENDOR_REQUEST, 30, transfer(PAD, 0x40, 0x40, 0, 0, 64)),
    "unknown_handle": header() + request(VENDOR_REQUEST, 16, transfer(99, 0x40, 0x40, 0, 0, 0)),
    "charge_each_mode": header(1, 2) +
                        request(ENABLE_TAB_CHARGING, 0, b"\0") +
                        request(ENABLE_TAB_CHARGING, 0, b"\1", SUSPEND_RESUME),
    "charge_unknown_mode": header(2, 6) + request(ENABLE_TAB_CHARGING, 0, b"\1"),
    "charge_empty": header() + request(ENABLE_TAB_CHARGING, 8),
    "strings": header() + request(GET_SERIAL_STRING, 524, query(PAD)) +
               request(GET_INSTANCE_ID, 524, query(H1)) +
               request(GET_CONTAINER_ID, 612, query(TAB, 600)) +
               request(GET_BOS_CONTAINER_ID, 100, query(H1, 88)),
    "string_capacity_wraps": header() + request(GET_SERIAL_STRING, 64, query(PAD, 0xFFFFFFF8)),
    "topology": header() + request(GET_TOPOLOGY_ADDRESS, 32, query(PAD)[:8]) +
                request(GET_TOPOLOGY_ADDRESS, 31, query(PAD)[:8]) +
                request(GET_TOPOLOGY_ADDRESS, 40, query(99)[:7]),
    "beep": header() + request(BEEP_ON, 4, struct.pack("<I", 1193)) + request(BEEP_ON, 0, b"\1") +
            request(BEEP_OFF, 0) + request(NOOP, 2),
    "unknown_codes": header() + request(UNKNOWN, 8, b"\1\2") + request(NEITHER, 0),
    "pad_comes_and_goes": header(3) + request(GET_SERIAL_STRING, 524, query(PAD), TOGGLE_PAD) +
                          request(VENDOR_REQUEST, 16, transfer(PAD, 0x40, 0x40, 0, 0, 0),
                                  TOGGLE_PAD) +
                          request(ENABLE_TAB_CHARGING, 0, b"\0"),
    "two_programs": header(4) +
                    request(VENDOR_REQUEST, 16, transfer(MUTE, 0x40, 0x40, 0, 0, 0),
                            SECOND_PROGRAM) +
                    request(GET_DEVICE_NUM, 23, b"", SECOND_PROGRAM) + request(ENUM_DEVICES, 53),
    "control_device_ends": header(5) +
                           request(VENDOR_REQUEST, 16, transfer(MUTE, 0x40, 0x40, 0, 0, 0),
                                   SECOND_PROGRAM) +
                           request(GET_DEVICE_NUM, 23, b"", UNPLUG_ALL) +
                           request(ENUM_DEVICES, 23),
}


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "ioctl")
    os.makedirs(folder, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(folder, name), "wb") as seed:
            seed.write(data)


if __name__ == "__main__":
    main()
