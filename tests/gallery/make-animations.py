#!/usr/bin/env python3
"""Writes the gallery's animated images (GIF and animated PNG) byte by byte.

The files are committed; run this only to change them (then regenerate the
animation goldens). Output is the same on every run. With a folder argument
the files go there instead of tests/gallery/img (the fuzz seeds use it).
"""
import os
import struct
import sys
import zlib

# --- GIF ---------------------------------------------------------------------


def lzw_literal(indexes, code_size=2):
    """LZW data that sends a clear code before every pixel: each pixel is a
    literal, the code width never grows. Larger than real LZW, just as valid."""
    clear, end = 1 << code_size, (1 << code_size) + 1
    width = code_size + 1
    bits, nbits, out = 0, 0, bytearray()

    def put(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    for i in indexes:
        put(clear)
        put(i)
    put(end)
    if nbits:
        out.append(bits & 0xFF)
    blocks = bytearray()
    for i in range(0, len(out), 255):
        piece = out[i:i + 255]
        blocks += bytes([len(piece)]) + piece
    return bytes([code_size]) + bytes(blocks) + b"\0"


def gif(width, height, palette, frames, loop=None):
    """frames: (x, y, w, h, delay in centiseconds, pixel indexes) each.
    palette: four (r, g, b). loop: None (no looping extension) or a count."""
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | 0x01, 0, 0)
    for rgb in palette:
        out += bytes(rgb)
    if loop is not None:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01" + struct.pack("<H", loop) + b"\0"
    for x, y, w, h, delay, pixels in frames:
        out += b"\x21\xF9\x04\x00" + struct.pack("<H", delay) + b"\x00\x00"
        out += b"\x2C" + struct.pack("<HHHHB", x, y, w, h, 0)
        out += lzw_literal(pixels)
    out += b"\x3B"
    return bytes(out)


# --- Animated PNG --------------------------------------------------------------


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def rgba_data(w, h, pixel):
    rows = b"".join(b"\0" + b"".join(bytes(pixel(x, y)) for x in range(w)) for y in range(h))
    return zlib.compress(rows, 9)


def apng(width, height, frames, plays=0):
    """frames: (x, y, w, h, delay ms, dispose, blend, pixel(x, y) -> rgba)."""
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    out += chunk(b"acTL", struct.pack(">II", len(frames), plays))
    seq = 0
    for i, (x, y, w, h, delay, dispose, blend, pixel) in enumerate(frames):
        out += chunk(b"fcTL", struct.pack(">IIIIIHHBB", seq, w, h, x, y, delay, 1000, dispose, blend))
        seq += 1
        data = rgba_data(w, h, pixel)
        if i == 0:
            out += chunk(b"IDAT", data)
        else:
            out += chunk(b"fdAT", struct.pack(">I", seq) + data)
            seq += 1
    out += chunk(b"IEND", b"")
    return bytes(out)


# --- The gallery's images --------------------------------------------------------

NAVY, AMBER, TEAL, WHITE = (0x2B, 0x3A, 0x55), (0xF5, 0xC5, 0x18), (0x1A, 0xA3, 0x9A), (0xFF, 0xFF, 0xFF)


def quadrant(size, lit):
    """A size × size square of four quadrants, quadrant `lit` amber."""
    half = size // 2
    return [1 if (y >= half) * 2 + (x >= half) == lit else 0 for y in range(size) for x in range(size)]


def images():
    out = {}
    # Turns round four quadrants, resting long on the second; the third delay
    # is zero (shown 100 ms); endless. The long frames leave room for the
    # real time that passes beside the test clock.
    out["spin.gif"] = gif(24, 24, [NAVY, AMBER, TEAL, WHITE],
                          [(0, 0, 24, 24, d, quadrant(24, q)) for q, d in ((0, 10), (1, 200), (3, 0), (2, 10))],
                          loop=0)
    # Two frames, no looping extension: plays once and stays on its second frame.
    out["once.gif"] = gif(16, 16, [NAVY, AMBER, TEAL, WHITE],
                          [(0, 0, 16, 16, 15, [2] * 256), (4, 4, 8, 8, 15, [3] * 64)])
    # A bar filling in steps of three frames, each drawn over the last; 2 plays.
    frames = [(0, 0, 48, 12, 100, 0, 0, lambda x, y: (0xD5, 0xDA, 0xE1, 255))]
    frames += [(16 * i, 0, 16, 12, 100, 0, 1, lambda x, y: (0x1A, 0xA3, 0x9A, 255)) for i in range(3)]
    out["fill.png"] = apng(48, 12, frames, plays=2)
    # A half-transparent dot moving over a panel: dispose to the previous
    # frame (the panel stays clean), then to the background.
    def dot(x, y):
        return (0xC0, 0x39, 0x2B, 128 if (x - 3.5) ** 2 + (y - 3.5) ** 2 <= 12 else 0)
    out["dot.png"] = apng(24, 24, [
        (0, 0, 24, 24, 100, 0, 0, lambda x, y: (0x2B, 0x3A, 0x55, 255) if 4 <= x < 20 and 4 <= y < 20 else
         (0, 0, 0, 0)),
        (2, 2, 8, 8, 100, 2, 1, dot),
        (14, 14, 8, 8, 3000, 2, 1, dot),
        (8, 8, 8, 8, 100, 1, 0, dot),
    ])
    # A button face whose edge pulses (normal) and one that glows (hot).
    def face(edge):
        return lambda x, y: (edge if x < 2 or y < 2 or x >= 78 or y >= 26 else (0x3A, 0x7B, 0xD5)) + (255,)
    out["btn_normal.png"] = apng(80, 28, [(0, 0, 80, 28, d, 0, 0, face(c))
                                          for c, d in (((0x1D, 0x3E, 0x6B), 200), ((0xF5, 0xC5, 0x18), 3000))])
    out["btn_hot.gif"] = gif(80, 28, [(0x6F, 0xA8, 0xF0), AMBER, WHITE, NAVY],
                             [(0, 0, 80, 28, 10, [1 if x < 3 or x >= 77 else 0 for y in range(28) for x in range(80)]),
                              (0, 0, 80, 28, 10, [2 if x < 3 or x >= 77 else 0 for y in range(28) for x in range(80)])],
                             loop=0)
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "img")
    for name, data in images().items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
