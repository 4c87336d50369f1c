#!/usr/bin/env python3
"""Writes the Windows program's icon, ui/win32/vemkard.ico, from the drawn
PNGs in hicolor/: one PNG image per size, as an .ico may hold them.
  python3 packaging/icons/make-ico.py"""
import struct
from pathlib import Path

SIZES = (16, 24, 32, 48, 64, 256)
here = Path(__file__).resolve().parent
out = here.parent.parent / "ui" / "win32" / "vemkard.ico"

images = []
for size in SIZES:
    png = (here / "hicolor" / f"{size}x{size}" / "apps" / "vemkard.png").read_bytes()
    width, height, depth, colour = struct.unpack(">IIBB", png[16:26])
    # Windows reads a PNG in an icon only as 8-bit RGBA.
    if (width, height, depth, colour) != (size, size, 8, 6):
        raise SystemExit(f"make-ico: the {size} px PNG is not {size}x{size} 8-bit RGBA")
    images.append((size, png))

data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, png in images:
    # A width or height of 256 is written as 0.
    data += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
out.write_bytes(data + b"".join(png for _, png in images))
print(out)
