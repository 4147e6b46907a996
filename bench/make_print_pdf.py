#!/usr/bin/python3
"""Writes a long document shaped like a web page printed to PDF by a browser:
Japanese and Latin text lines in an embedded CID font (FlateDecode content
streams, a ToUnicode map) and a photograph on every page, kept as JPEG data
(DCTDecode) as a browser keeps the pictures of a page; about 85 KB a page.

Run with Debian's /usr/bin/python3 (python3-cairo, fonts-ipafont-gothic):

    make_print_pdf.py FILE PAGES
"""

import math
import random
import struct
import sys

import cairo

W, H = 595.0, 842.0
PW, PH = 640, 432  # picture size in pixels
WORDS = ["薬剤情報", "処方", "調剤", "みなと内科クリニック", "アムロジピン錠５ｍｇ", "2024年5月10日",
         "受診歴", "中央総合病院", "ロスバスタチン", "１日１回", "朝食後", "28日分",
         "健診実施日2024/06/03", "Patient", "portal", "https://example.jp/records", "ログイン",
         "お知らせ", "検査結果", "血圧128/82"]


# A small baseline JPEG encoder (one grey component, the standard tables of
# annex K of the JPEG standard), since Python has none of its own.
# The luminance table at quality 93, as cameras and browsers commonly keep photographs.
QUANT = [max(1, q // 7) for q in [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57,
         69, 56, 14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64,
         81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]]
ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34,
          27, 20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44,
          51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALS = list(range(12))
AC_BITS = [0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D]
AC_VALS = bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25"
    "262728292a3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a83"
    "8485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3"
    "d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa")
COS = [[math.cos((2 * x + 1) * u * math.pi / 16) * (math.sqrt(0.5) if u == 0 else 1.0) / 2
        for x in range(8)] for u in range(8)]


def huffman_codes(bits, vals):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[vals[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


DC_CODES = huffman_codes(DC_BITS, DC_VALS)
AC_CODES = huffman_codes(AC_BITS, AC_VALS)


class BitWriter:
    def __init__(self):
        self.out, self.acc, self.n = bytearray(), 0, 0

    def put(self, code, length):
        self.acc = (self.acc << length) | code
        self.n += length
        while self.n >= 8:
            self.n -= 8
            b = (self.acc >> self.n) & 0xFF
            self.out.append(b)
            if b == 0xFF:
                self.out.append(0)

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


def magnitude(v):
    size = abs(v).bit_length()
    return size, (v if v >= 0 else v + (1 << size) - 1)


def jpeg(pixels, width, height):
    """Baseline JPEG of a grey image (rows of 0..255 values; sizes multiples of 8)."""
    w = BitWriter()
    last_dc = 0
    for by in range(0, height, 8):
        for bx in range(0, width, 8):
            block = [[pixels[by + y][bx + x] - 128 for x in range(8)] for y in range(8)]
            rows = [[sum(COS[u][x] * r[x] for x in range(8)) for u in range(8)] for r in block]
            coef = [round(sum(COS[v][y] * rows[y][u] for y in range(8)) / QUANT[v * 8 + u])
                    for v in range(8) for u in range(8)]
            zz = [coef[i] for i in ZIGZAG]
            size, bits = magnitude(zz[0] - last_dc)
            last_dc = zz[0]
            w.put(*DC_CODES[size])
            if size:
                w.put(bits, size)
            run = 0
            for v in zz[1:]:
                if v == 0:
                    run += 1
                    continue
                while run > 15:
                    w.put(*AC_CODES[0xF0])
                    run -= 16
                size, bits = magnitude(v)
                w.put(*AC_CODES[(run << 4) | size])
                w.put(bits, size)
                run = 0
            if run:
                w.put(*AC_CODES[0x00])
    w.flush()

    def segment(marker, body):
        return bytes([0xFF, marker]) + struct.pack(">H", len(body) + 2) + body
    return (b"\xFF\xD8" + segment(0xDB, bytes([0]) + bytes(QUANT[i] for i in ZIGZAG)) +
            segment(0xC0, struct.pack(">BHHB", 8, height, width, 1) + bytes([1, 0x11, 0])) +
            segment(0xC4, bytes([0x00] + DC_BITS + DC_VALS)) +
            segment(0xC4, bytes([0x10] + AC_BITS) + AC_VALS) +
            segment(0xDA, bytes([1, 1, 0x00, 0, 63, 0])) + bytes(w.out) + b"\xFF\xD9")


def photographs(rnd, count):
    """A few grainy pictures, so that the JPEG data weighs like photographs."""
    out = []
    for n in range(count):
        px = [[max(0, min(255, (x * 3 + y * (n + 1)) // 4 + rnd.randrange(-96, 96)))
               for x in range(PW)] for y in range(PH)]
        out.append(jpeg(px, PW, PH))
    return out


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    path, pages = argv[1], int(argv[2])
    rnd = random.Random(7)
    surface = cairo.PDFSurface(path, W, H)
    ctx = cairo.Context(surface)
    ctx.select_font_face("IPAGothic")
    pictures = photographs(rnd, 4)
    for n in range(pages):
        # Each page its own picture object, as a browser writes the pictures
        # of a long page; cairo keeps the JPEG data as it is.
        picture = cairo.ImageSurface(cairo.FORMAT_RGB24, PW, PH)
        picture.set_mime_data(cairo.MIME_TYPE_JPEG, pictures[n % len(pictures)])
        ctx.save()
        ctx.translate(W - 210, 40)
        ctx.scale(0.5, 0.5)
        ctx.set_source_surface(picture, 0, 0)
        ctx.paint()
        ctx.restore()
        ctx.set_source_rgb(0, 0, 0)
        ctx.set_font_size(14)
        ctx.move_to(40, 60)
        ctx.show_text("患者ポータル　%d/%d" % (n + 1, pages))
        ctx.set_font_size(9)
        y = 180
        while y < H - 40:
            words = (rnd.choice(WORDS) + ("　" if rnd.random() < 0.5 else " ")
                     for _ in range(rnd.randrange(3, 7)))
            ctx.move_to(40, y)
            ctx.show_text("".join(words))
            y += 13
        ctx.show_page()
    surface.finish()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
