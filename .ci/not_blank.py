"""Fails unless each PNG given shows something: more than a few colours and
more than 2 % of its pixels away from white. Reads PNG with the standard
library only (8-bit RGB or RGBA, as Chromium writes them)."""
import struct
import sys
import zlib


def pixels(path):
    with open(path, "rb") as file:
        data = file.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG")
    at, idat, width, height, channels = 8, b"", 0, 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            channels = {2: 3, 6: 4}.get(colour, 0)
            if depth != 8 or not channels:
                raise SystemExit(f"{path}: unexpected PNG format")
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up, corner = previous[x], previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                guess = left + up - corner
                best = min((abs(guess - left), left), (abs(guess - up), up), (abs(guess - corner), corner))
                line[x] = (line[x] + best[1]) & 0xFF
        rows.append(bytes(line))
        previous = line
    return [row[x:x + 3] for row in rows for x in range(0, stride, channels)]


failed = 0
for path in sys.argv[1:]:
    seen = pixels(path)
    inked = sum(1 for pixel in seen if pixel != b"\xff\xff\xff")
    colours = len(set(seen))
    share = inked / len(seen)
    print(f"{path}: {colours} colours, {100 * share:.1f} % not white")
    if colours < 8 or share < 0.02:
        print(f"{path}: blank", file=sys.stderr)
        failed += 1
sys.exit(1 if failed else 0)
