#!/usr/bin/env python3
"""Draws the sample game's background picture (an evening landscape) as background.png.

Standard library only. The picture is committed; run this again only to change it.
"""
import math
import struct
import sys
import zlib

W, H = 720, 432
HORIZON = 270
SUN_X, SUN_Y, SUN_R = 360, 238, 34


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def sky(x, y):
    t = y / HORIZON
    top, middle, low = (24, 30, 88), (120, 72, 140), (250, 160, 96)
    c = mix(top, middle, t / 0.6) if t < 0.6 else mix(middle, low, (t - 0.6) / 0.4)
    d = math.hypot(x - SUN_X, y - SUN_Y)
    glow = math.exp(-((d / 110.0) ** 2)) * 0.55
    c = mix(c, (255, 214, 150), glow)
    if d < SUN_R:
        c = mix((255, 246, 214), (255, 200, 120), d / SUN_R * 0.6)
    # a few stars high up, placed by a fixed pattern
    if y < 110 and ((x * 7919 + y * 104729) % 2311) == 0:
        c = mix(c, (255, 255, 240), 0.8)
    return c


def ridge(x, base, amp, f1, f2, phase):
    return base - amp * (0.6 * math.sin(x * f1 + phase) + 0.4 * math.sin(x * f2 + phase * 1.7))


def ground(x, y):
    far = ridge(x, 236, 30, 0.011, 0.029, 0.4)
    near = ridge(x, 262, 22, 0.017, 0.041, 2.1)
    if y < far:
        return None
    if y < near:
        return mix((96, 70, 128), (70, 52, 100), (y - far) / 40)
    if y < HORIZON:
        return mix((48, 40, 78), (36, 30, 60), (y - near) / 20)
    return None


def pixel(x, y):
    c = ground(x, y)
    if c is not None:
        return c
    if y < HORIZON:
        return sky(x, y)
    # the lake mirrors the land and sky above the horizon, darker and rippled
    my = 2 * HORIZON - y
    ripple = int(3 * math.sin(y * 0.9 + x * 0.02))
    src = ground(min(W - 1, max(0, x + ripple)), my) if my >= 0 else None
    c = src if src is not None else sky(min(W - 1, max(0, x + ripple)), max(0, my))
    depth = (y - HORIZON) / (H - HORIZON)
    return mix(mix(c, (30, 40, 80), 0.35), (14, 18, 44), depth * 0.8)


def png(rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(r) for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "background.png"
    rows = []
    for y in range(H):
        row = bytearray()
        for x in range(W):
            row.extend(int(round(v)) for v in pixel(x, y))
        rows.append(row)
    with open(out, "wb") as f:
        f.write(png(rows))


if __name__ == "__main__":
    main()
