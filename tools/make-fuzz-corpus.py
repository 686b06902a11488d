#!/usr/bin/env python3
"""Writes the picture fuzzers' seed corpus: one small file for each way of storing a picture
that stb_image decodes, so that a short fuzz run starts inside every decoder.

Usage: tools/make-fuzz-corpus.py fuzz/corpus

Only the standard library: every format is written by hand. The files are committed; this
script is run again only when seeds are added.
"""
import os
import struct
import sys
import zlib

# A 4 x 4 RGBA picture with every channel varying, the source of most seeds.
W, H = 4, 4
RGBA = [((x * 60) & 255, (y * 70) & 255, ((x + y) * 30) & 255, 255 if (x + y) % 3 else 128)
        for y in range(H) for x in range(W)]


# --- PNG --------------------------------------------------------------------------------------

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(width, height, depth, colour, rows, interlaced=False, extra=(), cgbi=False):
    """`rows(x0, dx, y0, dy)` gives the filtered scan lines of a (sub-)image."""
    if interlaced:
        passes = [(0, 8, 0, 8), (4, 8, 0, 8), (0, 4, 4, 8), (2, 4, 0, 4), (0, 2, 2, 4), (1, 2, 0, 2), (0, 1, 1, 2)]
        raw = b"".join(rows(x0, dx, y0, dy) for x0, dx, y0, dy in passes)
    else:
        raw = rows(0, 1, 0, 1)
    if cgbi:  # Apple's variant: raw deflate, no zlib header
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        data = packer.compress(raw) + packer.flush()
    else:
        data = zlib.compress(raw, 9)
    head = png_chunk(b"CgBI", b"\x50\x00\x20\x02") if cgbi else b""
    ihdr = struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, 1 if interlaced else 0)
    return (b"\x89PNG\r\n\x1a\n" + head + png_chunk(b"IHDR", ihdr) + b"".join(extra) +
            png_chunk(b"IDAT", data[: len(data) // 2]) + png_chunk(b"IDAT", data[len(data) // 2:]) +
            png_chunk(b"IEND", b""))


def png_rows(width, height, sample_bytes, bits_per_pixel=0):
    """Scan lines of varying content, each with another of the five filters."""
    def rows(x0, dx, y0, dy):
        out = b""
        for y in range(y0, height, dy):
            xs = list(range(x0, width, dx))
            if not xs:
                continue
            if bits_per_pixel:
                length = (len(xs) * bits_per_pixel + 7) // 8
                line = bytes((x * 37 + y * 11) & 255 for x in range(length))
            else:
                line = b"".join(sample_bytes(x, y) for x in xs)
            out += bytes([y % 5]) + line
        return out
    return rows


def pngs():
    rgba8 = png_rows(W, H, lambda x, y: bytes(RGBA[y * W + x]))
    rgb16 = png_rows(W, H, lambda x, y: struct.pack(">HHH", x * 9000, y * 9000, 65535 - x * y * 3000))
    grey16a = png_rows(W, H, lambda x, y: struct.pack(">HH", x * 15000, 40000 + y))
    palette = png_chunk(b"PLTE", bytes(range(48)))
    transparency = png_chunk(b"tRNS", bytes([0, 128, 255, 64]))
    grey_key = png_chunk(b"tRNS", struct.pack(">H", 0))
    rgb_key = png_chunk(b"tRNS", struct.pack(">HHH", 0, 0, 0))
    yield "png-rgba8.png", png(W, H, 8, 6, rgba8)
    yield "png-rgb8-key.png", png(W, H, 8, 2, png_rows(W, H, lambda x, y: bytes(RGBA[y * W + x][:3])),
                                  extra=[rgb_key])
    yield "png-grey1.png", png(9, 3, 1, 0, png_rows(9, 3, None, 1))
    yield "png-grey2-key.png", png(5, 3, 2, 0, png_rows(5, 3, None, 2), extra=[grey_key])
    yield "png-grey-alpha8.png", png(W, H, 8, 4, png_rows(W, H, lambda x, y: bytes([x * 50, y * 60])))
    yield "png-palette4-trns.png", png(5, 3, 4, 3, png_rows(5, 3, None, 4), extra=[palette, transparency])
    yield "png-palette8.png", png(W, H, 8, 3, png_rows(W, H, lambda x, y: bytes([(x + y) % 16])),
                                  extra=[palette])
    yield "png-rgb16.png", png(W, H, 16, 2, rgb16)
    yield "png-grey-alpha16.png", png(W, H, 16, 4, grey16a)
    yield "png-interlaced-rgba8.png", png(9, 9, 8, 6, png_rows(9, 9, lambda x, y: bytes(RGBA[(y % H) * W + x % W])),
                                          interlaced=True)
    yield "png-interlaced-rgb16.png", png(5, 5, 16, 2, png_rows(5, 5, lambda x, y: struct.pack(">HHH", x, y, 300)),
                                          interlaced=True)
    yield "png-cgbi.png", png(W, H, 8, 6, rgba8, cgbi=True)


# --- BMP --------------------------------------------------------------------------------------

def bmp(bits, width=W, height=H, compression=0, header=40, masks=None, pixels=None, palette_size=None):
    """`height` negative stores the rows top-down; `pixels` replaces the generated pixel data."""
    rows = []
    row_bytes = (width * bits + 31) // 32 * 4
    for y in range(abs(height)):
        line = bytes((x * 29 + y * 53) & 255 for x in range((width * bits + 7) // 8))
        rows.append(line + bytes(row_bytes - len(line)))
    data = pixels if pixels is not None else b"".join(rows)
    colours = palette_size if palette_size is not None else (1 << bits if bits <= 8 else 0)
    entry = 3 if header == 12 else 4
    palette = b"".join(bytes([i * 17 & 255, i * 41 & 255, i * 73 & 255, 0][:entry]) for i in range(colours))
    if header == 12:
        info = struct.pack("<IhhHH", 12, width, height, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, len(data), 2835, 2835,
                           colours if bits <= 8 else 0, 0)
        if header > 40:  # V4/V5: masks, colour space and gamma
            info += struct.pack("<IIII", *(masks or (0, 0, 0, 0))) + b"BGRs" + bytes(header - 40 - 20)
        elif masks:
            info += struct.pack("<III", *masks[:3])
    offset = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + palette + data


def bmps():
    for bits in (1, 4, 8, 16, 24, 32):
        yield "bmp-%d.bmp" % bits, bmp(bits)
    yield "bmp-16-565.bmp", bmp(16, compression=3, masks=(0xF800, 0x07E0, 0x001F))
    yield "bmp-32-v5-alpha.bmp", bmp(32, compression=3, header=124,
                                     masks=(0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000))
    yield "bmp-24-top-down.bmp", bmp(24, height=-H)
    yield "bmp-24-core.bmp", bmp(24, header=12)
    yield "bmp-8-core.bmp", bmp(8, header=12)
    yield "bmp-8-rle.bmp", bmp(8, compression=1, pixels=bytes([4, 1, 0, 0, 2, 7, 2, 9, 0, 0, 0, 4, 1, 2, 3, 4, 0, 1]))
    yield "bmp-4-rle.bmp", bmp(4, compression=2, pixels=bytes([4, 0x12, 0, 0, 0, 4, 0x34, 0x56, 0, 1]))
    yield "bmp-8-short-palette.bmp", bmp(8, palette_size=3)


# --- JPEG -------------------------------------------------------------------------------------
# The decoders' paths differ by the frame's kind, its sampling and its scans, not by the
# coefficients; every block here has a DC difference of 0 and no AC coefficients, each coded
# with a one-bit Huffman code.

def jpeg_segment(marker, data):
    return bytes([0xFF, marker]) + struct.pack(">H", len(data) + 2) + data


def one_code_table(kind, number):
    return bytes([kind << 4 | number]) + bytes([1] + [0] * 15) + b"\x00"


def entropy_bits(count):
    """`count` zero bits, padded with ones to a whole byte."""
    data = bytes(count // 8)
    if count % 8:
        data += bytes([(1 << (8 - count % 8)) - 1])
    return data


def jpeg(components, progressive=False, restart=0, adobe=None, width=16, height=16):
    """`components`: (id, h, v) sampling for each; Huffman and quantisation table 0 serve all."""
    out = b"\xFF\xD8" + jpeg_segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    if adobe is not None:
        out += jpeg_segment(0xEE, b"Adobe" + struct.pack(">HHHB", 100, 0, 0, adobe))
    out += jpeg_segment(0xDB, b"\x00" + bytes(range(1, 65)))
    frame = struct.pack(">BHHB", 8, height, width, len(components))
    frame += b"".join(struct.pack(">BBB", cid, h << 4 | v, 0) for cid, h, v in components)
    out += jpeg_segment(0xC2 if progressive else 0xC0, frame)
    out += jpeg_segment(0xC4, one_code_table(0, 0) + one_code_table(1, 0))
    if restart:
        out += jpeg_segment(0xDD, struct.pack(">H", restart))
    hmax = max(h for _, h, _ in components)
    vmax = max(v for _, _, v in components)
    mcus = ((width + 8 * hmax - 1) // (8 * hmax)) * ((height + 8 * vmax - 1) // (8 * vmax))
    blocks_per_mcu = sum(h * v for _, h, v in components)

    def scan(ids, ss, se, ah, al, bits_per_block):
        header = bytes([len(ids)]) + b"".join(bytes([cid, 0]) for cid in ids) + bytes([ss, se, ah << 4 | al])
        if len(ids) > 1 or not progressive:
            blocks = mcus * blocks_per_mcu
        else:
            _, h, v = next(c for c in components if c[0] == ids[0])
            blocks = ((width * h // hmax + 7) // 8) * ((height * v // vmax + 7) // 8)
        if restart and (len(ids) > 1 or not progressive):
            body = b""
            for n in range(0, mcus, restart):
                body += entropy_bits(min(restart, mcus - n) * blocks_per_mcu * bits_per_block)
                if n + restart < mcus:
                    body += bytes([0xFF, 0xD0 + (n // restart) % 8])
        else:
            body = entropy_bits(blocks * bits_per_block)
        return jpeg_segment(0xDA, header) + body

    ids = [cid for cid, _, _ in components]
    if not progressive:
        out += scan(ids, 0, 63, 0, 0, 2)
    else:
        out += scan(ids, 0, 0, 0, 1, 1)  # DC, first pass
        out += scan(ids, 0, 0, 1, 0, 1)  # DC, refinement: one raw bit a block
        for cid in ids:
            out += scan([cid], 1, 63, 0, 1, 1)  # AC, first pass: end of band
            out += scan([cid], 1, 63, 1, 0, 1)  # AC, refinement
    return out + b"\xFF\xD9"


def jpegs():
    yield "jpeg-grey.jpg", jpeg([(1, 1, 1)], width=8, height=8)
    yield "jpeg-colour-444.jpg", jpeg([(1, 1, 1), (2, 1, 1), (3, 1, 1)])
    yield "jpeg-colour-420-restart.jpg", jpeg([(1, 2, 2), (2, 1, 1), (3, 1, 1)], restart=1, width=24, height=20)
    yield "jpeg-colour-422.jpg", jpeg([(1, 2, 1), (2, 1, 1), (3, 1, 1)], width=17, height=9)
    yield "jpeg-progressive.jpg", jpeg([(1, 2, 2), (2, 1, 1), (3, 1, 1)], progressive=True)
    yield "jpeg-progressive-grey.jpg", jpeg([(1, 1, 1)], progressive=True, width=9, height=9)
    yield "jpeg-adobe-ycck.jpg", jpeg([(1, 1, 1), (2, 1, 1), (3, 1, 1), (4, 1, 1)], adobe=2)
    yield "jpeg-adobe-rgb.jpg", jpeg([(82, 1, 1), (71, 1, 1), (66, 1, 1)], adobe=0)


# --- GIF --------------------------------------------------------------------------------------

def lzw(indices, minimum):
    """Literal codes only, with a clear code after every two, so the code size never grows."""
    clear = 1 << minimum
    codes = []
    for i, index in enumerate(indices):
        if i % 2 == 0:
            codes.append(clear)
        codes.append(index)
    codes.append(clear + 1)
    value, count, out = 0, 0, bytearray()
    for code in codes:
        value |= code << count
        count += minimum + 1
        while count >= 8:
            out.append(value & 255)
            value >>= 8
            count -= 8
    if count:
        out.append(value)
    blocks = b"".join(bytes([len(out[i:i + 255])]) + out[i:i + 255] for i in range(0, len(out), 255))
    return bytes([minimum]) + blocks + b"\x00"


def gif(frames, version=b"GIF89a", loop=True):
    """`frames`: (left, top, width, height, transparent index or None, interlaced, local palette)."""
    out = version + struct.pack("<HHBBB", 6, 5, 0xF1, 0, 0) + bytes(range(0, 96, 8))[:12]
    if loop:
        out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for left, top, width, height, transparent, interlaced, local in frames:
        if transparent is not None:
            out += b"\x21\xF9\x04" + bytes([0x09, 10, 0, transparent, 0])
        flags = (0x40 if interlaced else 0) | (0x81 if local else 0)
        out += b"\x2C" + struct.pack("<HHHHB", left, top, width, height, flags)
        if local:
            out += bytes([255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9])
        out += lzw([(x + y) % 4 for y in range(height) for x in range(width)], 2)
    return out + b"\x3B"


def gifs():
    yield "gif-transparent-frames.gif", gif([(0, 0, 6, 5, 0, False, False), (1, 1, 3, 3, 2, False, True),
                                             (2, 0, 4, 5, None, True, False)])
    yield "gif87a.gif", gif([(0, 0, 6, 5, None, False, False)], version=b"GIF87a", loop=False)
    yield "gif-interlaced.gif", gif([(0, 0, 6, 5, 3, True, False)])


# --- TGA, PSD, HDR, PIC, PNM ------------------------------------------------------------------

def tga(kind, bits, descriptor=0, palette_bits=0, rle=False, data=None):
    has_palette = 1 if kind == 1 else 0
    header = struct.pack("<BBBHHBHHHHBB", 0, has_palette, kind | (8 if rle else 0), 0, 4 if has_palette else 0,
                         palette_bits, 0, 0, W, H, bits, descriptor)
    palette = bytes(range(4 * palette_bits // 8)) if has_palette else b""
    step = bits // 8
    if data is None:
        if rle:  # a run of 3, then a raw packet of 1, each row
            data = b"".join(bytes([0x82]) + bytes(range(y, y + step)) + bytes([0]) + bytes(range(step))
                            for y in range(H))
        else:
            data = bytes((i * 13) & 255 if kind != 1 else i % 4 for i in range(W * H * step))
    return header + palette + data


def tgas():
    yield "tga-24.tga", tga(2, 24)
    yield "tga-32-top-left.tga", tga(2, 32, descriptor=0x28)
    yield "tga-16.tga", tga(2, 16)
    yield "tga-grey.tga", tga(3, 8)
    yield "tga-palette.tga", tga(1, 8, palette_bits=24)
    yield "tga-rle-32.tga", tga(2, 32, descriptor=0x08, rle=True)
    yield "tga-rle-palette.tga", tga(1, 8, palette_bits=32, rle=True)


def packbits(line):
    return bytes([len(line) - 1]) + line if len(line) % 2 else bytes([257 - len(line)]) + line[:1]


def psd(channels, depth, rle=False):
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, channels, H, W, depth, 3) + struct.pack(">III", 0, 0, 0)
    if rle:
        rows = [packbits(bytes([(c * 40 + y) & 255] * (W if y % 2 else 1))) for c in range(channels)
                for y in range(H)]
        return header + struct.pack(">H", 1) + b"".join(struct.pack(">H", len(r)) for r in rows) + b"".join(rows)
    sample = depth // 8
    planes = bytes((i * 7) & 255 for i in range(channels * W * H * sample))
    return header + struct.pack(">H", 0) + planes


def psds():
    yield "psd-rgba8.psd", psd(4, 8)
    yield "psd-rgb8-rle.psd", psd(3, 8, rle=True)
    yield "psd-rgba16.psd", psd(4, 16)


def hdr(width, rle):
    out = b"#?RADIANCE\n# seed\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n-Y 3 +X %d\n" % width
    for y in range(3):
        if rle:  # the run-length scan line: a run of the first half, the rest as it is
            out += bytes([2, 2, width >> 8, width & 255])
            half = width // 2
            for c in range(4):
                out += bytes([128 + half, 100 + c + y, width - half]) + bytes(range(c, c + width - half))
        else:
            out += b"".join(bytes([x * 30, y * 40, 90, 128 + x]) for x in range(width))
    return out


def pic():
    out = b"\x53\x80\xF6\x34" + bytes(84) + b"PICT" + struct.pack(">HHfHH", W, H, 1.0, 3, 0)
    out += bytes([1, 8, 0, 0xE0]) + bytes([1, 8, 1, 0x10]) + bytes([0, 8, 2, 0x80])  # three packets
    for y in range(H):
        out += b"".join(bytes([x, y, x + y]) for x in range(W))  # uncompressed RGB
        out += bytes([W, 200])  # pure run-length alpha
        out += bytes([129, 50, 1, 60, 70])  # mixed: a run of 2 red, then 2 raw
    return out


def pnm():
    yield "pnm-grey8.pgm", b"P5\n# seed\n4 4\n255\n" + bytes(range(0, 160, 10))
    yield "pnm-rgb8.ppm", b"P6 4 4 200\n" + bytes(i % 200 for i in range(48))
    yield "pnm-grey16.pgm", b"P5\n4 4\n65535\n" + b"".join(struct.pack(">H", i * 4000) for i in range(16))
    yield "pnm-rgb16.ppm", b"P6\n4 4\n1000\n" + b"".join(struct.pack(">H", i * 20) for i in range(48))


def others():
    yield from tgas()
    yield from psds()
    yield "hdr-flat.hdr", hdr(4, False)
    yield "hdr-rle.hdr", hdr(10, True)
    yield "pic-packets.pic", pic()
    yield from pnm()


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for producer in (pngs, bmps, jpegs, gifs, others):
        for name, content in producer():
            with open(os.path.join(folder, name), "wb") as out:
                out.write(content)


if __name__ == "__main__":
    main()
