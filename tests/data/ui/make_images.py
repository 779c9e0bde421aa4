#!/usr/bin/env python3
"""Writes the UI tests' images. PNGs are written here byte for byte (exact pixel values);
the JPEG and the icon come from ImageMagick's `convert`. Run it in this folder; the results
are committed, so the tests never need it."""
import struct
import subprocess
import zlib


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png(width, height, pixels, alpha=True):
    """pixels: rows of (r, g, b, a) tuples."""
    colour_type = 6 if alpha else 2
    raw = b""
    for row in pixels:
        raw += b"\0" + b"".join(bytes(p if alpha else p[:3]) for p in row)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def solid(width, height, colour):
    return [[colour] * width for _ in range(height)]


def write(name, data):
    with open(name, "wb") as f:
        f.write(data)


# Premultiplication: (200,100,50,128) is stored as B 25, G 50, R 100; opaque copied; alpha 0
# and alpha 1.
write("premul.png", png(4, 1, [[(200, 100, 50, 128), (10, 20, 30, 255), (255, 255, 255, 0),
                                (255, 0, 0, 1)]]))
# A 24 x 24 opaque icon.
write("icon24.png", png(24, 24, solid(24, 24, (0x30, 0xA0, 0x50, 255)), alpha=False))
# Nine 10 x 10 cells of distinct colours (row by row: TL T TR / L M R / BL B BR).
cells = [(255, 0, 0), (0, 255, 0), (0, 0, 255),
         (255, 255, 0), (255, 0, 255), (0, 255, 255),
         (255, 255, 255), (128, 128, 128), (255, 128, 0)]
nine = [[cells[(y // 10) * 3 + x // 10] + (255,) for x in range(30)] for y in range(30)]
write("nine.png", png(30, 30, nine, alpha=False))
# Left half red, right half blue.
write("halves.png", png(2, 1, [[(255, 0, 0, 255), (0, 0, 255, 255)]], alpha=False))
# Grey with two magenta pixels for the mask.
masked = solid(4, 4, (0x40, 0x40, 0x40, 255))
masked[1][1] = (255, 0, 255, 255)
masked[2][2] = (255, 0, 255, 255)
write("masked.png", png(4, 4, masked, alpha=False))
# Half-transparent blue.
write("translucent.png", png(10, 10, solid(10, 10, (0, 0, 255, 128))))
# Damaged images: cut short, garbage after a good header and a header declaring a huge image.
good = png(24, 24, solid(24, 24, (0x30, 0xA0, 0x50, 255)), alpha=False)
write("truncated.png", good[: len(good) - 20])
write("corrupt.png", good[:33] + bytes((i * 37 + 11) & 0xFF for i in range(200)))
huge = (b"\x89PNG\r\n\x1a\n"
        + chunk(b"IHDR", struct.pack(">IIBBBBB", 100000, 100000, 8, 6, 0, 0, 0))
        + chunk(b"IDAT", zlib.compress(b"\0" * 64))
        + chunk(b"IEND", b""))
write("huge.png", huge)

# A JPEG of one colour (stored in the list under type PNG), and an icon with a 16 and a 32
# pixel image of different colours.
write("jpeg-source.png", png(16, 16, solid(16, 16, (0x20, 0x80, 0xE0, 255)), alpha=False))
subprocess.run(["convert", "jpeg-source.png", "-quality", "95", "-strip", "photo.jpg"], check=True)
# A progressive JPEG with some detail, for the decoder's other path.
subprocess.run(["convert", "-size", "32x24", "gradient:#2080E0-#E08020", "-quality", "90", "-strip",
                "-interlace", "JPEG", "progressive.jpg"], check=True)
write("icon16-source.png", png(16, 16, solid(16, 16, (200, 40, 40, 255))))
write("icon32-source.png", png(32, 32, solid(32, 32, (40, 40, 200, 255))))
subprocess.run(["convert", "icon16-source.png", "icon32-source.png", "app.ico"], check=True)
for name in ("jpeg-source.png", "icon16-source.png", "icon32-source.png"):
    subprocess.run(["rm", "-f", name], check=True)
