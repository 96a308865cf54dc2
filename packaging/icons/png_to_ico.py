#!/usr/bin/env python3
"""png_to_ico.py OUT.ico IN.png...: packs square PNG images into one Windows icon.

Windows (since Vista) and Wine read PNG-compressed icon images, so each PNG goes in as it is.
"""
import struct
import sys


def main(out_path, png_paths):
    images = []
    for path in png_paths:
        with open(path, "rb") as f:
            data = f.read()
        if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
            sys.exit(f"png_to_ico: {path} is not a PNG file")
        width, height = struct.unpack(">II", data[16:24])
        if width != height or width > 256:
            sys.exit(f"png_to_ico: {path} is {width}x{height}; icons are square, at most 256")
        images.append((width, data))
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        # A size of 256 is written as 0 in the one-byte fields.
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    with open(out_path, "wb") as f:
        f.write(header + entries + blobs)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit("uso: png_to_ico.py SALIDA.ico ENTRADA.png...")
    main(sys.argv[1], sys.argv[2:])
