#!/usr/bin/env python3
"""Writes a Windows icon file (.ico) from PNG pictures, one entry per picture.

Windows Vista and later read PNG-compressed icon entries, so the PNG bytes go into the file
unchanged. Usage: png_to_ico.py OUT.ico IN-16.png IN-24.png ...
"""
import struct
import sys


def png_size(data, name):
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        sys.exit(f"{name}: not a PNG file")
    width, height = struct.unpack(">II", data[16:24])
    if width > 256 or height > 256:
        sys.exit(f"{name}: an icon entry is at most 256 x 256 pixels")
    return width, height


def main(out, inputs):
    pictures = []
    for name in inputs:
        with open(name, "rb") as f:
            data = f.read()
        pictures.append((png_size(data, name), data))
    pictures.sort(key=lambda p: p[0])
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, blobs = b"", b""
    for (width, height), data in pictures:
        # 0 stands for 256; colour count 0 and 32 bits per pixel for true-colour PNGs.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(data), offset + len(blobs))
        blobs += data
    with open(out, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])
