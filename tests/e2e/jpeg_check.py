#!/usr/bin/python3
# The JPEG editor's picture files, read by a real decoder (Pillow).
#   jpeg_check.py make PATH W H         writes a colourful W x H JPEG
#   jpeg_check.py gray-turned PATH W H  checks a download: H x W (turned a quarter) and gray
import sys

from PIL import Image

command, path, w, h = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
if command == "make":
    im = Image.new("RGB", (w, h))
    im.putdata([(x * 255 // w, y * 255 // h, (x + y) % 256) for y in range(h) for x in range(w)])
    im.save(path, quality=92)
    sys.exit(0)
im = Image.open(path)
problems = []
if im.format != "JPEG":
    problems.append(f"format {im.format}")
if im.size != (h, w):
    problems.append(f"size {im.size}, want {(h, w)}")
rgb = im.convert("RGB")
spread = max(max(p) - min(p) for p in rgb.getdata())
if spread > 6:  # JPEG keeps a gray picture gray within a few steps
    problems.append(f"not gray: channels differ by up to {spread}")
if problems:
    print("; ".join(problems))
    sys.exit(1)
print(f"ok: {im.format} {im.size[0]} x {im.size[1]}, channels within {spread}")
