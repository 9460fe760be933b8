#!/usr/bin/env python3
"""Turns an X window dump (xwd, 24/32-bit ZPixmap) into a PNG, using only the standard library."""
import struct
import sys
import zlib


def read_xwd(data):
    header = struct.unpack(">25I", data[:100])
    header_size, _, _, depth, width, height = header[:6]
    byte_order, bits_per_pixel, bytes_per_line = header[7], header[11], header[12]
    red_mask, green_mask, blue_mask = header[14], header[15], header[16]
    ncolors = header[19]
    if bits_per_pixel not in (24, 32):
        raise SystemExit(f"unsupported xwd: {bits_per_pixel} bits per pixel")
    pixels = data[header_size + ncolors * 12:]
    step = bits_per_pixel // 8
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rows = []
    for y in range(height):
        line = pixels[y * bytes_per_line:(y + 1) * bytes_per_line]
        row = bytearray()
        for x in range(width):
            chunk = line[x * step:(x + 1) * step]
            value = int.from_bytes(chunk, "little" if order == "<" else "big")
            row += bytes(((value & m) >> shift(m)) & 0xFF for m in (red_mask, green_mask, blue_mask))
        rows.append(bytes(row))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as f:
        w, h, r = read_xwd(f.read())
    write_png(sys.argv[2], w, h, r)
