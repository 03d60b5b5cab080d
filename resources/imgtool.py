#!/usr/bin/env python3
"""Small PNG helper for regenerate.sh (standard library only).

  imgtool.py rgb  IN.png OUT.png           drop the alpha channel (compositing on black)
  imgtool.py cur  IN.png OUT.cur HX HY      write a 32-bit Windows cursor with hot spot HX,HY
  imgtool.py check IMGDIR CURDIR [SCALE]    verify sizes, frames and alpha of every resource
                                           (SCALE: the set drawn at 2x or 3x)
"""
import struct
import sys
import zlib


def read_png(path):
    """Decodes an 8-bit non-interlaced PNG; returns (width, height, colour type, RGBA rows)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG file")
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    w, h, depth, ctype, _, _, interlace = ihdr
    if depth != 8 or interlace != 0 or ctype not in (2, 6):
        raise ValueError(f"{path}: only 8-bit RGB/RGBA non-interlaced PNGs are handled")
    bpp = 4 if ctype == 6 else 3
    raw = zlib.decompress(idat)
    stride = w * bpp
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ftype = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 255
            elif ftype == 2:
                line[i] = (line[i] + b) & 255
            elif ftype == 3:
                line[i] = (line[i] + ((a + b) >> 1)) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        prev = line
        if bpp == 3:
            rgba = bytearray(w * 4)
            for x in range(w):
                rgba[4 * x:4 * x + 3] = line[3 * x:3 * x + 3]
                rgba[4 * x + 3] = 255
            rows.append(rgba)
        else:
            rows.append(line)
    return w, h, ctype, rows


def write_png(path, w, h, rows, alpha):
    """Writes RGBA rows as an RGBA PNG, or as RGB when alpha is false."""
    out = bytearray()
    for row in rows:
        out.append(0)
        if alpha:
            out += row
        else:
            for x in range(w):
                out += row[4 * x:4 * x + 3]

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6 if alpha else 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(bytes(out), 9)))
        f.write(chunk(b"IEND", b""))


def to_rgb(src, dst):
    w, h, _, rows = read_png(src)
    flat = []
    for row in rows:
        r = bytearray(row)
        for x in range(w):
            a = r[4 * x + 3]
            for c in range(3):
                r[4 * x + c] = (r[4 * x + c] * a + 127) // 255
            r[4 * x + 3] = 255
        flat.append(r)
    write_png(dst, w, h, flat, alpha=False)


def write_cur(src, dst, hx, hy):
    """One 32-bit BGRA image with its AND mask; readable by LoadCursor and windres."""
    w, h, _, rows = read_png(src)
    if w > 256 or h > 256:
        raise ValueError("cursor too large")
    xor = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        for x in range(w):
            r, g, b, a = row[4 * x:4 * x + 4]
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x in range(w):
            if row[4 * x + 3] == 0:  # fully transparent: screen shows through
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + xor + mask
    with open(dst, "wb") as f:
        f.write(struct.pack("<HHH", 0, 2, 1))
        f.write(struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, hx, hy, len(image), 6 + 16))
        f.write(image)


# name: (width, height, frames, alpha)
IMAGES = {
    "bg.png": (600, 475, 1, False),
    "but_play.png": (32, 41, 1, True),
    "gph_show.png": (57, 32, 2, True),
    "knob.png": (184, 92, 1, True),
    "knob2.png": (128, 64, 1, True),
    "knob3.png": (96, 48, 1, True),
    "preset.png": (27, 27, 1, True),
    "slider.png": (16, 16, 1, True),
    "slider_vert.png": (16, 16, 1, True),
    "waves.png": (54, 245, 7, True),
    "but_ig.png": (35, 36, 1, True),
}
KNOBS = ("knob.png", "knob2.png", "knob3.png")
CURSORS = ("ascend.cur", "descend.cur")


def check(imgdir, curdir, scale=1):
    errors = []
    for name, (w, h, frames, alpha) in IMAGES.items():
        w, h = w * scale, h * scale
        path = f"{imgdir}/{name}"
        try:
            pw, ph, ctype, rows = read_png(path)
        except (OSError, ValueError) as e:
            errors.append(str(e))
            continue
        if (pw, ph) != (w, h):
            errors.append(f"{name}: {pw}x{ph}, expected {w}x{h}")
            continue
        if (ctype == 6) != alpha:
            errors.append(f"{name}: {'needs' if alpha else 'must not have'} an alpha channel")
        fh = h // frames
        for k in range(frames):
            opaque = sum(1 for y in range(k * fh, (k + 1) * fh) for x in range(w)
                         if rows[y][4 * x + 3] > 0)
            if opaque == 0:
                errors.append(f"{name}: frame {k + 1} is empty")
        if name in KNOBS:
            # Both halves turn about their centre: anything in a corner would sweep
            # visibly outside the knob's circle.
            half = w // 2
            for ox in (0, half):
                for cx, cy in ((0, 0), (half - 1, 0), (0, h - 1), (half - 1, h - 1)):
                    if rows[cy][4 * (ox + cx) + 3] != 0:
                        errors.append(f"{name}: corner ({ox + cx},{cy}) is not transparent")
    for name in CURSORS:
        path = f"{curdir}/{name}"
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError as e:
            errors.append(str(e))
            continue
        if len(data) < 22 or struct.unpack("<HHH", data[:6]) != (0, 2, 1):
            errors.append(f"{name}: not a single-image cursor file")
            continue
        w, h, _, _, hx, hy, size, offset = struct.unpack("<BBBBHHII", data[6:22])
        if offset + size != len(data) or not (hx < (w or 256) and hy < (h or 256)):
            errors.append(f"{name}: inconsistent directory entry")
    for e in errors:
        print("error:", e, file=sys.stderr)
    return 1 if errors else 0


def main(argv):
    if len(argv) >= 4 and argv[1] == "rgb":
        to_rgb(argv[2], argv[3])
        return 0
    if len(argv) >= 6 and argv[1] == "cur":
        write_cur(argv[2], argv[3], int(argv[4]), int(argv[5]))
        return 0
    if len(argv) >= 4 and argv[1] == "check":
        return check(argv[2], argv[3], int(argv[4]) if len(argv) >= 5 else 1)
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
