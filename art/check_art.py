#!/usr/bin/env python3
"""Checks the committed art: it must be exactly what make_art.py produces,
and every file must be well formed for the Windows loaders that read it.

Run: python3 art/check_art.py   (exits non-zero and names each fault)
"""

import math
import os
import struct
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.dont_write_bytecode = True   # leave no __pycache__ in the work tree
sys.path.insert(0, HERE)
import make_art  # noqa: E402

APP = [16, 20, 24, 32, 40, 48, 64, 256]
CATALOG = [16, 20, 24, 32, 40, 48, 64]
SMALL = [16, 20, 24, 32]

# Every icon the program loads, with the sizes its directory must list.
ICONS = {
    'mainwindow/res/Vantrel.ico': APP,
    'mainwindow/res/catalog_root.ico': CATALOG,
    'mainwindow/res/catalog_class.ico': CATALOG,
    'mainwindow/res/catalog_typelib.ico': CATALOG,
    'mainwindow/res/catalog_appid.ico': CATALOG,
    'mainwindow/res/catalog_interface.ico': CATALOG,
    'tlbviewer/res/tlb_enum.ico': SMALL,
    'tlbviewer/res/tlb_struct.ico': SMALL,
    'tlbviewer/res/tlb_module.ico': SMALL,
    'tlbviewer/res/tlb_interface.ico': SMALL,
    'tlbviewer/res/tlb_dispinterface.ico': SMALL,
    'tlbviewer/res/tlb_coclass.ico': SMALL,
    'tlbviewer/res/tlb_typedef.ico': SMALL,
    'tlbviewer/res/tlb_union.ico': SMALL,
    'tlbviewer/res/tlb_library.ico': SMALL,
    'tlbviewer/res/tlb_folder.ico': SMALL,
    'about/res/uptodate.ico': SMALL,
    'about/res/warning.ico': SMALL,
}

# Premultiplied bitmaps: (width, height).
BITMAPS = {
    'about/res/logo.bmp': (120, 59),
    'about/res/logo@2x.bmp': (240, 118),
    'about/res/wait.bmp': (128, 16),
    'about/res/wait@2x.bmp': (256, 32),
}

faults = []


def fault(path, text):
    faults.append('%s: %s' % (path, text))


def decode_png(data):
    """Returns (w, h, rgba) of an 8-bit RGBA PNG with filter 0 rows."""
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        raise ValueError('no PNG signature')
    i, idat, ihdr = 8, b'', None
    while i < len(data):
        ln, = struct.unpack('>I', data[i:i + 4])
        tag, body = data[i + 4:i + 8], data[i + 8:i + 8 + ln]
        crc, = struct.unpack('>I', data[i + 8 + ln:i + 12 + ln])
        if zlib.crc32(tag + body) & 0xFFFFFFFF != crc:
            raise ValueError('bad CRC in %r' % tag)
        if tag == b'IHDR':
            ihdr = struct.unpack('>IIBBBBB', body)
        elif tag == b'IDAT':
            idat += body
        i += 12 + ln
    w, h, depth, kind = ihdr[:4]
    if (depth, kind) != (8, 6):
        raise ValueError('not 8-bit RGBA')
    raw = zlib.decompress(idat)
    rows = []
    for y in range(h):
        row = raw[y * (w * 4 + 1):(y + 1) * (w * 4 + 1)]
        if row[0] != 0:
            raise ValueError('unexpected row filter')
        rows.append(row[1:])
    return w, h, b''.join(rows)


def dib_to_rgba(n, data, path):
    """Decodes a 32-bpp icon DIB; checks its header and AND mask."""
    size, w, h, planes, bpp, comp = struct.unpack('<IiiHHI', data[:20])
    if (size, w, h, planes, bpp, comp) != (40, n, 2 * n, 1, 32, 0):
        fault(path, '%d px: DIB header %r' % (n, (size, w, h, planes, bpp, comp)))
        return None
    xor = data[40:40 + n * n * 4]
    stride = ((n + 31) // 32) * 4
    mask = data[40 + n * n * 4:]
    if len(mask) != stride * n:
        fault(path, '%d px: AND mask is %d bytes, expected %d' % (n, len(mask), stride * n))
        return None
    rgba = bytearray(n * n * 4)
    for row in range(n):                      # stored bottom-up
        y = n - 1 - row
        for x in range(n):
            b, g, r, a = xor[(row * n + x) * 4:(row * n + x) * 4 + 4]
            rgba[(y * n + x) * 4:(y * n + x) * 4 + 4] = bytes((r, g, b, a))
            masked = bool(mask[row * stride + (x >> 3)] & (0x80 >> (x & 7)))
            if masked != (a == 0):
                fault(path, '%d px: AND mask disagrees with alpha at (%d, %d)' % (n, x, y))
                return None
    return bytes(rgba)


def check_ico(path, sizes):
    data = open(os.path.join(ROOT, path), 'rb').read()
    reserved, kind, count = struct.unpack('<HHH', data[:6])
    if (reserved, kind) != (0, 1):
        fault(path, 'not an icon file')
        return {}
    listed, images, end = [], {}, 6 + 16 * count
    for k in range(count):
        bw, bh, colors, res, planes, bpp, length, offset = struct.unpack(
            '<BBBBHHII', data[6 + 16 * k:22 + 16 * k])
        n = bw or 256
        listed.append(n)
        if bh != bw or colors or res or planes != 1 or bpp != 32:
            fault(path, 'entry %d: %r' % (k, (bw, bh, colors, res, planes, bpp)))
        if offset != end or offset + length > len(data):
            fault(path, 'entry %d: data at %d+%d out of place' % (k, offset, length))
            continue
        end = offset + length
        blob = data[offset:offset + length]
        if n >= 256:
            try:
                w, h, rgba = decode_png(blob)
            except ValueError as e:
                fault(path, '256 px PNG: %s' % e)
                continue
            if (w, h) != (n, n):
                fault(path, 'PNG entry is %dx%d' % (w, h))
                continue
        else:
            if blob[:4] == b'\x89PNG':
                fault(path, '%d px entry stored as PNG, expected a DIB' % n)
                continue
            rgba = dib_to_rgba(n, blob, path)
            if rgba is None:
                continue
        images[n] = rgba
    if end != len(data):
        fault(path, 'trailing bytes after the last image')
    if listed != sizes:
        fault(path, 'sizes %r, expected %r' % (listed, sizes))
    for n, rgba in images.items():
        alphas = rgba[3::4]
        opaque = sum(1 for a in alphas if a == 255)
        clear = sum(1 for a in alphas if a == 0)
        # A drawn icon has solid paint, clear background and soft edges.
        if opaque < n * n // 8 or clear < n or opaque + clear == n * n:
            fault(path, '%d px: implausible coverage (opaque %d, clear %d)' % (n, opaque, clear))
    return images


def check_bmp(path, size):
    data = open(os.path.join(ROOT, path), 'rb').read()
    magic, fsize, _, _, off = struct.unpack('<2sIHHI', data[:14])
    hsize, w, h, planes, bpp, comp, isize = struct.unpack('<IiiHHII', data[14:38])
    want = (b'BM', len(data), 54, 40, size[0], size[1], 1, 32, 0, size[0] * size[1] * 4)
    got = (magic, fsize, off, hsize, w, h, planes, bpp, comp, isize)
    if got != want:
        fault(path, 'header %r, expected %r' % (got, want))
        return None
    body = data[off:]
    if len(body) != w * h * 4:
        fault(path, 'pixel data is %d bytes' % len(body))
        return None
    for i in range(0, len(body), 4):
        if max(body[i:i + 3]) > body[i + 3]:
            fault(path, 'colour above alpha at byte %d: not premultiplied' % i)
            return None
    return w, h, body


def spinner_heads(path, frame):
    """Angle (degrees clockwise from 12 o'clock) of the most opaque dot in
    each frame of a spinner strip stored bottom-up."""
    w, h, body = check_bmp(path, BITMAPS[path]) or (0, 0, b'')
    heads = []
    for f in range(w // frame):
        best = max(body[((y * w) + f * frame + x) * 4 + 3] for y in range(h) for x in range(frame))
        sx = sy = cnt = 0
        for row in range(h):
            y = h - 1 - row
            for x in range(frame):
                if body[(row * w + f * frame + x) * 4 + 3] >= best - 8:
                    sx += x + 0.5 - frame / 2.0
                    sy += y + 0.5 - frame / 2.0
                    cnt += 1
        heads.append(math.degrees(math.atan2(sx / cnt, -sy / cnt)) % 360)
    return heads


def main():
    # 1. The committed files are byte for byte what the generator makes.
    with tempfile.TemporaryDirectory() as tmp:
        make_art.build(tmp)
        for rel in list(ICONS) + list(BITMAPS) + ['art/preview.png']:
            fresh = open(os.path.join(tmp, rel), 'rb').read()
            path = os.path.join(ROOT, rel)
            if not os.path.exists(path) or open(path, 'rb').read() != fresh:
                fault(rel, 'differs from a fresh run of make_art.py')

    # 2. Icon files: directory, encodings, masks.
    small = {}
    for rel, sizes in ICONS.items():
        images = check_ico(rel, sizes)
        if 16 in images:
            small[rel] = images[16]

    # 3. No two images of the set share their 16 px picture.
    seen = {}
    for rel, px in small.items():
        if px in seen:
            fault(rel, 'same 16 px image as %s' % seen[px])
        seen[px] = rel

    # 4. Bitmaps: headers and premultiplied alpha.
    for rel, size in BITMAPS.items():
        check_bmp(rel, size)

    # 5. Spinner frames: the bright dot starts at the top and steps 45
    #    degrees clockwise per frame, at both scales.
    for rel, frame in (('about/res/wait.bmp', 16), ('about/res/wait@2x.bmp', 32)):
        heads = spinner_heads(rel, frame)
        for k, a in enumerate(heads):
            off = (a - 45 * k + 180) % 360 - 180
            if abs(off) > 15:
                fault(rel, 'frame %d points at %.0f degrees, expected %d' % (k, a, 45 * k))

    for f in faults:
        print(f)
    print('art check: %s' % ('FAILED' if faults else 'ok'))
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
