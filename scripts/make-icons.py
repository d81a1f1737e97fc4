#!/usr/bin/env python3
"""Writes Ampwise's three icons (app/res/icons/*.ico): a plug on a coloured disc, in 16 and
32 pixels, 32-bit with alpha. Run it again after changing a colour; the .ico files are kept
in the repository so the Windows build needs no Python."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "app", "res", "icons")

# name: disc colour (red, green, blue)
ICONS = {
    "ampwise.ico": (0x1F, 0x5F, 0xBF),  # 128: the application
    "online.ico": (0x2E, 0xA0, 0x43),   # 132: the driver charges tablets
    "offline.ico": (0x80, 0x80, 0x80),  # 133: no driver, or nothing to charge
}


def pixel(size, x, y, disc):
    """BGRA of one pixel: a disc with a white lightning bolt, transparent outside."""
    c = (size - 1) / 2.0
    if (x - c) ** 2 + (y - c) ** 2 > (size / 2.0) ** 2:
        return (0, 0, 0, 0)
    u, v = x / size, y / size  # 0..1, y downwards
    bolt = (0.25 <= v <= 0.55 and abs(u - (0.62 - (v - 0.25))) < 0.09) or (
        0.45 <= v <= 0.80 and abs(u - (0.55 - (v - 0.45))) < 0.09) or (
        0.45 <= v <= 0.55 and 0.33 <= u <= 0.62)
    r, g, b = (255, 255, 255) if bolt else disc
    return (b, g, r, 255)


def image(size, disc):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):  # bottom-up
        rows.append(b"".join(bytes(pixel(size, x, y, disc)) for x in range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_row * size)  # alpha decides; the AND mask keeps every pixel
    return header + b"".join(rows) + mask


def icon(disc):
    images = [image(size, disc) for size in (16, 32)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, disc in ICONS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(icon(disc))


if __name__ == "__main__":
    main()
