#!/usr/bin/python3
# Writes the seed corpus of the jpeg_upload target: small JPEG and BMP files in the forms
# people upload, and a few that are neither.  /usr/bin/python3 fuzz/make_jpeg_upload_corpus.py
import os
import struct
from PIL import Image

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "jpeg_upload")
os.makedirs(out, exist_ok=True)


def picture(mode, w=16, h=12):
    im = Image.new("RGB", (w, h))
    im.putdata([((x * 16) % 256, (y * 20) % 256, (x * y * 3) % 256) for y in range(h) for x in range(w)])
    return im.convert(mode)


picture("RGB").save(f"{out}/baseline.jpg", quality=80)
picture("RGB").save(f"{out}/progressive.jpg", quality=60, progressive=True)
picture("L").save(f"{out}/gray.jpg", quality=80)
picture("CMYK").save(f"{out}/cmyk.jpg", quality=80)
picture("RGB", 9, 7).save(f"{out}/odd-size.jpg", quality=90, subsampling=0)
picture("RGB").save(f"{out}/rgb24.bmp")
picture("RGBA").save(f"{out}/rgba32.bmp")
picture("P").save(f"{out}/palette8.bmp")
picture("1").save(f"{out}/bilevel1.bmp")

# Top-down rows: a negative height and the rows in reading order.
w, h = 5, 3
stride = (w * 3 + 3) // 4 * 4
rows = b"".join(bytes([x * 50, y * 80, 200]) for y in range(h) for x in range(w))
data = b"".join(rows[y * w * 3:(y + 1) * w * 3] + b"\0" * (stride - w * 3) for y in range(h))
info = struct.pack("<IiiHHIIiiII", 40, w, -h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
with open(f"{out}/topdown24.bmp", "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + info + data)

# Four bits with a palette of 16 entries.
w, h = 7, 4
stride = ((w * 4 + 31) // 32) * 4
palette = b"".join(bytes([i * 16, 255 - i * 16, i * 8, 0]) for i in range(16))
data = b""
for y in range(h):
    row = bytearray(stride)
    for x in range(w):
        row[x // 2] |= ((x + y) % 16) << (4 if x % 2 == 0 else 0)
    data += bytes(row)
info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 4, 0, len(data), 2835, 2835, 16, 0)
with open(f"{out}/palette4.bmp", "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 14 + 40 + 64 + len(data), 0, 0, 14 + 40 + 64) + info + palette + data)

with open(f"{out}/gif.jpg", "wb") as f:
    f.write(b"GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,"
            b"\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;")
