"""Small PNG and baseline JPEG writers (standard library only) for the demo pictures."""
import math
import struct
import zlib


def png_bytes(width, height, pixel):
    """RGB PNG; pixel(x, y) -> (r, g, b)."""
    rows = bytearray()
    for y in range(height):
        rows.append(0)  # filter: none
        for x in range(width):
            rows.extend(pixel(x, y))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff)

    ihdr = struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IDAT', zlib.compress(bytes(rows), 9))
            + chunk(b'IEND', b''))


# Zigzag order: ZIGZAG[k] is the row-major index of the k-th coefficient.
ZIGZAG = sorted(range(64), key=lambda i: (i // 8 + i % 8, (i % 8) if (i // 8 + i % 8) % 2 == 0 else (i // 8)))

_LUMA_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
           14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
           18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
           49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
_CHROMA_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
             24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32


def _scaled(table, quality):
    scale = 5000 // quality if quality < 50 else 200 - 2 * quality
    return [min(255, max(1, (q * scale + 50) // 100)) for q in table]


# One DC and one AC table shared by all components; every code is shorter than 16 bits and the
# code lengths leave room so that no code is all ones.
_DC_SYMBOLS = list(range(12))
_DC_COUNTS = {4: 12}
_AC_FIRST = [0x00, 0x01, 0x02, 0x11, 0x03, 0x21, 0x04, 0x12, 0x31, 0x05, 0x41, 0x13, 0x22, 0x51]
_AC_SYMBOLS = _AC_FIRST + [s for s in [0xF0] + [(r << 4) | z for r in range(16) for z in range(1, 11)]
                           if s not in _AC_FIRST]
_AC_COUNTS = {2: 2, 4: 4, 7: 8, 10: len(_AC_SYMBOLS) - 14}


def _canonical(symbols, counts):
    codes, code, i = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts.get(length, 0)):
            codes[symbols[i]] = (code, length)
            code += 1
            i += 1
        code <<= 1
    return codes


def _dht(table_class, table_id, symbols, counts):
    bits = bytes(counts.get(n, 0) for n in range(1, 17))
    body = bytes([(table_class << 4) | table_id]) + bits + bytes(symbols)
    return b'\xff\xc4' + struct.pack('>H', len(body) + 2) + body


_DCT = [[(math.sqrt(0.5) if u == 0 else 1.0) * 0.5 * math.cos((2 * x + 1) * u * math.pi / 16)
         for x in range(8)] for u in range(8)]


class _Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, value, length):
        self.acc = (self.acc << length) | (value & ((1 << length) - 1))
        self.n += length
        while self.n >= 8:
            self.n -= 8
            byte = (self.acc >> self.n) & 0xff
            self.out.append(byte)
            if byte == 0xff:
                self.out.append(0)
        self.acc &= (1 << self.n) - 1

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


def _magnitude(v):
    size = abs(v).bit_length()
    return size, (v if v >= 0 else v + (1 << size) - 1)


def jpeg_bytes(width, height, pixel, quality=85):
    """Baseline JPEG, YCbCr 4:4:4; pixel(x, y) -> (r, g, b)."""
    planes = ([], [], [])
    for y in range(height):
        rows = ([], [], [])
        for x in range(width):
            r, g, b = pixel(x, y)
            rows[0].append(0.299 * r + 0.587 * g + 0.114 * b - 128)
            rows[1].append(-0.168736 * r - 0.331264 * g + 0.5 * b)
            rows[2].append(0.5 * r - 0.418688 * g - 0.081312 * b)
        for p, row in zip(planes, rows):
            p.append(row)
    quant = (_scaled(_LUMA_Q, quality), _scaled(_CHROMA_Q, quality))
    dc_codes = _canonical(_DC_SYMBOLS, _DC_COUNTS)
    ac_codes = _canonical(_AC_SYMBOLS, _AC_COUNTS)
    bits = _Bits()
    previous = [0, 0, 0]
    for by in range(0, height, 8):
        for bx in range(0, width, 8):
            for c in range(3):
                plane, q = planes[c], quant[0 if c == 0 else 1]
                block = [[plane[min(by + j, height - 1)][min(bx + i, width - 1)] for i in range(8)] for j in range(8)]
                rows = [[sum(_DCT[u][x] * line[x] for x in range(8)) for u in range(8)] for line in block]
                coef = [0] * 64
                for u in range(8):
                    for v in range(8):
                        value = sum(_DCT[v][y] * rows[y][u] for y in range(8))
                        coef[v * 8 + u] = int(round(value / q[v * 8 + u]))
                zz = [coef[i] for i in ZIGZAG]
                size, extra = _magnitude(zz[0] - previous[c])
                previous[c] = zz[0]
                bits.put(*dc_codes[size])
                bits.put(extra, size)
                run = 0
                for k in range(1, 64):
                    if zz[k] == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.put(*ac_codes[0xF0])
                        run -= 16
                    size, extra = _magnitude(zz[k])
                    bits.put(*ac_codes[(run << 4) | size])
                    bits.put(extra, size)
                    run = 0
                if run:
                    bits.put(*ac_codes[0x00])
    bits.flush()

    out = bytearray(b'\xff\xd8')
    out += b'\xff\xe0' + struct.pack('>H5sBBBHHBB', 16, b'JFIF\0', 1, 1, 0, 1, 1, 0, 0)
    for table_id, q in enumerate(quant):
        out += b'\xff\xdb' + struct.pack('>HB', 67, table_id) + bytes(q[i] for i in ZIGZAG)
    out += b'\xff\xc0' + struct.pack('>HBHHB', 17, 8, height, width, 3)
    out += bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1])
    out += _dht(0, 0, _DC_SYMBOLS, _DC_COUNTS) + _dht(1, 0, _AC_SYMBOLS, _AC_COUNTS)
    out += b'\xff\xda' + struct.pack('>HB', 12, 3) + bytes([1, 0x00, 2, 0x00, 3, 0x00]) + bytes([0, 63, 0])
    out += bits.out + b'\xff\xd9'
    return bytes(out)
