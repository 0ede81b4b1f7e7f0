#!/usr/bin/env python3
"""Draws KivoApp's own effect artwork and list bitmaps, and KivoMsg's spinner.

Writes the animations, borders, decorations, lights and masks under app/effects/artwork/Effect/
(installed into each program folder's Effect\\ folder), the thumbnail frame and folder bitmaps
under app/shared/res/ and the busy overlay's spinner under msgpopup/res/. Plain Python, no libraries: the
pictures are drawn pixel by pixel and written as GIF (LZW) and 24-bit BMP files. The output is committed; run this again only to change it.
"""
import math
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EFFECT = os.path.join(ROOT, "app", "effects", "artwork", "Effect")
RES = os.path.join(ROOT, "app", "shared", "res")
MSGRES = os.path.join(ROOT, "msgpopup", "res")


# ---- files ---------------------------------------------------------------------------------

def write_bmp(path, width, height, pixel):
    """24-bit bottom-up BMP; pixel(x, y) gives (r, g, b) with y counted from the top."""
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - width * 3)
        rows.append(bytes(row))
    bits = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(bits), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + bits)


def lzw_encode(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    out = bytearray()
    bitbuf = 0
    nbits = 0

    def emit(code, size):
        nonlocal bitbuf, nbits
        bitbuf |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bitbuf & 0xFF)
            bitbuf >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    size = min_code_size + 1
    emit(clear, size)
    prefix = ()
    for k in indices:
        seq = prefix + (k,)
        if seq in table:
            prefix = seq
            continue
        emit(table[prefix], size)
        if next_code < 4096:
            table[seq] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear, size)
            table = {(i,): i for i in range(clear)}
            next_code = end + 1
            size = min_code_size + 1
        prefix = (k,)
    if prefix:
        emit(table[prefix], size)
    emit(end, size)
    if nbits:
        out.append(bitbuf & 0xFF)
    return bytes(out)


def write_gif(path, width, height, palette, frames, loop=True):
    """frames: list of dicts with pixels (width*height indices), delay (1/100 s), disposal,
    transparent (index or None). Every frame covers the whole screen."""
    bits = 1
    while (1 << bits) < len(palette):
        bits += 1
    table = list(palette) + [(0, 0, 0)] * ((1 << bits) - len(palette))
    data = bytearray(b"GIF89a")
    data += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    for r, g, b in table:
        data += bytes((r, g, b))
    if loop:
        data += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    min_code = max(2, bits)
    for fr in frames:
        t = fr.get("transparent")
        packed = (fr.get("disposal", 1) << 2) | (1 if t is not None else 0)
        data += struct.pack("<BBBBHBB", 0x21, 0xF9, 4, packed, fr.get("delay", 10), t or 0, 0)
        data += struct.pack("<BHHHHB", 0x2C, 0, 0, width, height, 0)
        data.append(min_code)
        lzw = lzw_encode(fr["pixels"], min_code)
        for i in range(0, len(lzw), 255):
            chunk = lzw[i:i + 255]
            data.append(len(chunk))
            data += chunk
        data.append(0)
    data.append(0x3B)
    with open(path, "wb") as f:
        f.write(bytes(data))


def frame(width, height, fn):
    return [fn(x, y) for y in range(height) for x in range(width)]


# ---- artwork -------------------------------------------------------------------------------

def star_shape(cx, cy, r, x, y, points=5, inner=0.45):
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d > r:
        return False
    a = math.atan2(dy, dx) + math.pi / 2
    sector = math.pi / points
    t = abs((a % (2 * sector)) - sector) / sector
    limit = r * (inner + (1 - inner) * t)
    return d <= limit


def heart_shape(cx, cy, s, x, y):
    u = (x - cx) / s
    v = -(y - cy) / s
    return (u * u + v * v - 1) ** 3 - u * u * v * v * v <= 0


def animations():
    out = os.path.join(EFFECT, "animation")
    # twinkling stars across the top of the picture
    pal = [(0, 0, 0), (255, 230, 80), (255, 255, 255), (255, 160, 40)]
    w, h = 320, 80
    stars = [(30, 30, 14), (95, 45, 10), (160, 25, 16), (230, 48, 11), (290, 28, 13)]
    frames = []
    for k in range(6):
        def px(x, y, k=k):
            for i, (cx, cy, r) in enumerate(stars):
                rr = r * (0.6 + 0.4 * abs(math.sin((k + i) * math.pi / 6)))
                if star_shape(cx, cy, rr, x, y):
                    return 2 if (k + i) % 3 == 0 else (1 if i % 2 else 3)
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 15, "disposal": 2, "transparent": 0})
    write_gif(os.path.join(out, "stars.gif"), w, h, pal, frames)

    # hearts rising up the left side
    pal = [(0, 0, 0), (230, 30, 80), (255, 120, 160)]
    w, h = 90, 240
    frames = []
    for k in range(8):
        def px(x, y, k=k):
            for i in range(3):
                cy = (240 - ((k * 30 + i * 80) % 260)) + 10
                cx = 25 + (i * 23) % 50
                if heart_shape(cx, cy, 13, x, y):
                    return 1 if i != 1 else 2
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 12, "disposal": 2, "transparent": 0})
    write_gif(os.path.join(out, "hearts.gif"), w, h, pal, frames)

    # falling snow over the whole picture
    pal = [(0, 0, 0), (255, 255, 255), (200, 220, 255)]
    w, h = 320, 240
    flakes = [((i * 73) % 320, (i * 151) % 240, 1 + i % 3) for i in range(40)]
    frames = []
    for k in range(6):
        def px(x, y, k=k):
            for i, (fx, fy, r) in enumerate(flakes):
                yy = (fy + k * 8 * (1 + i % 2)) % 240
                xx = (fx + int(6 * math.sin((k + i) / 2))) % 320
                if abs(x - xx) + abs(y - yy) <= r:
                    return 1 if i % 2 else 2
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 10, "disposal": 2, "transparent": 0})
    write_gif(os.path.join(out, "snow.gif"), w, h, pal, frames)


def borders():
    out = os.path.join(EFFECT, "border")
    w, h = 320, 240
    # a film strip: dark bands with sprocket holes that move
    pal = [(255, 0, 255), (20, 20, 20), (230, 230, 230)]
    frames = []
    for k in range(4):
        def px(x, y, k=k):
            if y < 22 or y >= h - 22:
                band_y = y if y < 22 else y - (h - 22)
                if 7 <= band_y < 15 and ((x + k * 5) % 20) < 10:
                    return 2
                return 1
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 20, "disposal": 1, "transparent": 0})
    write_gif(os.path.join(out, "film.gif"), w, h, pal, frames)

    # a frame of flowers whose colours cycle
    pal = [(255, 0, 255), (240, 80, 120), (250, 200, 60), (90, 180, 90), (120, 140, 240)]
    frames = []
    for k in range(4):
        def px(x, y, k=k):
            edge = min(x, y, w - 1 - x, h - 1 - y)
            if edge >= 18:
                return 0
            cx = (x // 24) * 24 + 12
            cy = (y // 24) * 24 + 12
            if x < 18 or x >= w - 18:
                cx = 9 if x < 18 else w - 10
            if y < 18 or y >= h - 18:
                cy = 9 if y < 18 else h - 10
            d = math.hypot(x - cx, y - cy)
            if d < 3:
                return 2
            if d < 8:
                return 1 + ((x // 24 + y // 24 + k) % 4) % 4 if ((x // 24 + y // 24 + k) % 4) != 1 else 4
            return 3
        frames.append({"pixels": frame(w, h, px), "delay": 30, "disposal": 1, "transparent": 0})
    write_gif(os.path.join(out, "flowers.gif"), w, h, pal, frames)


def decorations():
    out = os.path.join(EFFECT, "decoration")
    # a bow in the top-left corner that tilts
    pal = [(0, 0, 0), (220, 30, 60), (255, 110, 130)]
    w, h = 96, 72
    frames = []
    for k in range(4):
        tilt = (k - 1.5) * 0.08

        def px(x, y, tilt=tilt):
            u = x - 48
            v = y - 36 - u * tilt
            if abs(u) < 7 and abs(v) < 7:
                return 2
            if abs(u) < 44 and abs(v) < 4 + abs(u) * 0.55:
                return 1
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 25, "disposal": 2, "transparent": 0})
    write_gif(os.path.join(out, "bow.gif"), w, h, pal, frames)

    # balloons bobbing
    pal = [(0, 0, 0), (80, 160, 255), (255, 200, 40), (250, 250, 250)]
    w, h = 120, 120
    frames = []
    for k in range(6):
        off = int(4 * math.sin(k * math.pi / 3))

        def px(x, y, off=off):
            for i, (cx, cy, col) in enumerate(((35, 40, 1), (80, 48, 2))):
                cy += off if i == 0 else -off
                if ((x - cx) / 20) ** 2 + ((y - cy) / 26) ** 2 <= 1:
                    return col
                if abs(x - cx) <= 0 and cy + 26 <= y <= cy + 60:
                    return 3
            return 0
        frames.append({"pixels": frame(w, h, px), "delay": 15, "disposal": 2, "transparent": 0})
    write_gif(os.path.join(out, "balloons.gif"), w, h, pal, frames)


def lights():
    out = os.path.join(EFFECT, "light")
    w, h = 160, 120  # stretched to the frame by the effect
    levels = 16
    pal = [(int(255 * i / (levels - 1)), int(240 * i / (levels - 1)), int(200 * i / (levels - 1))) for i in range(levels)]
    # a spot light sweeping across
    frames = []
    for k in range(8):
        cx = 20 + k * 17
        cy = 50 + int(15 * math.sin(k * math.pi / 4))

        def px(x, y, cx=cx, cy=cy):
            d = math.hypot(x - cx, y - cy)
            return max(0, min(levels - 1, int((levels - 1) * (1 - d / 55))))
        frames.append({"pixels": frame(w, h, px), "delay": 12, "disposal": 2})
    write_gif(os.path.join(out, "spot.gif"), w, h, pal, frames)

    # rays from the top-left corner that turn slowly
    pal = [(0, 0, 0), (60, 55, 40), (140, 130, 90), (220, 210, 150)]
    frames = []
    for k in range(6):
        def px(x, y, k=k):
            a = math.atan2(y + 10, x + 10) * 12 + k * 0.5
            s = (math.sin(a) + 1) / 2
            fade = max(0.0, 1 - math.hypot(x, y) / 200)
            return min(3, int(4 * s * fade))
        frames.append({"pixels": frame(w, h, px), "delay": 15, "disposal": 2})
    write_gif(os.path.join(out, "rays.gif"), w, h, pal, frames)


def masks():
    out = os.path.join(EFFECT, "mask")
    w, h = 160, 120
    # an oval: white in the middle, soft black edges (a still picture)

    def oval(x, y):
        d = ((x - w / 2) / (w * 0.42)) ** 2 + ((y - h / 2) / (h * 0.42)) ** 2
        v = 255 if d <= 0.8 else (0 if d >= 1.0 else int(255 * (1.0 - d) / 0.2))
        return (v, v, v)
    write_bmp(os.path.join(out, "oval.bmp"), w, h, oval)

    # a heart window that beats (animated)
    pal = [(0, 0, 0), (255, 255, 255)]
    frames = []
    for k in range(4):
        s = 38 + 4 * (k % 2)

        def px(x, y, s=s):
            return 1 if heart_shape(w / 2, h / 2 - 4, s, x, y) else 0
        frames.append({"pixels": frame(w, h, px), "delay": 30 if k % 2 else 15, "disposal": 2})
    write_gif(os.path.join(out, "heart.gif"), w, h, pal, frames)

    # blinds: horizontal slats of darkness
    def blinds(x, y):
        v = 255 if (y // 10) % 2 == 0 else 90
        return (v, v, v)
    write_bmp(os.path.join(out, "blinds.bmp"), w, h, blinds)


def list_bitmaps():
    # the thumbnail frame (48 x 48): a grey frame round a light cell
    def alitem(x, y):
        if x in (0, 47) or y in (0, 47):
            return (128, 128, 128)
        return (240, 240, 240)
    write_bmp(os.path.join(RES, "alitem.bmp"), 48, 48, alitem)

    # a folder picture
    def folder(x, y):
        if 8 <= y <= 13 and 4 <= x <= 20:
            return (230, 180, 50)
        if 12 <= y <= 40 and 4 <= x <= 43:
            edge = y in (12, 40) or x in (4, 43)
            return (180, 130, 20) if edge else (250, 205, 80)
        return (255, 255, 255)
    write_bmp(os.path.join(RES, "folder.bmp"), 48, 48, folder)


def captions():
    # a caption under some pictures (code page 936 text files)
    notes = {
        os.path.join(EFFECT, "animation", "stars.txt"): "星星",
        os.path.join(EFFECT, "border", "film.txt"): "胶片",
        os.path.join(EFFECT, "mask", "oval.txt"): "椭圆",
    }
    for path, text in notes.items():
        with open(path, "wb") as f:
            f.write(text.encode("gb2312"))


def spinner():
    # twelve dots on a ring, from a bright orange head to a dim tail; the background (index 0)
    # is see-through so that the overlay's panel colour shows around the dots
    w = h = 115
    dots = 12
    pal = [(0, 0, 0)]
    for i in range(dots):
        f = 1.0 - 0.6 * i / (dots - 1)
        pal.append((int(255 * f), int(150 * f), int(30 * f)))
    cx = cy = 57
    ring, r = 40, 9

    def px(x, y):
        for i in range(dots):
            a = -math.pi / 2 - 2 * math.pi * i / dots
            dx, dy = cx + ring * math.cos(a), cy + ring * math.sin(a)
            if (x - dx) ** 2 + (y - dy) ** 2 <= r * r:
                return 1 + i
        return 0
    write_gif(os.path.join(MSGRES, "spinner.gif"), w, h, pal,
              [{"pixels": frame(w, h, px), "delay": 0, "disposal": 1, "transparent": 0}], loop=False)


def main():
    for kind in ("animation", "border", "decoration", "light", "mask"):
        os.makedirs(os.path.join(EFFECT, kind), exist_ok=True)
    os.makedirs(RES, exist_ok=True)
    os.makedirs(MSGRES, exist_ok=True)
    animations()
    borders()
    decorations()
    lights()
    masks()
    list_bitmaps()
    captions()
    spinner()


if __name__ == "__main__":
    main()
