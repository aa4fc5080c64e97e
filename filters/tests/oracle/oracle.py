#!/usr/bin/env python3
"""FFmpeg as the oracle of the filters that reproduce its xbr and hqx filters.

    oracle.py golden DIR          writes the golden pairs of the tests into DIR
    oracle.py agree TOOL PNG...   agreement of our kernels (TOOL: build/native/filters/
                                  filter_apply) with FFmpeg on the given pictures

Pictures are R5G6B5: each channel of a PNG is first rounded to 5 or 6 bits and
expanded back to 8 (c << 3 | c >> 2, c << 2 | c >> 4), so that FFmpeg sees exactly the
8-bit picture our kernels see. FFmpeg's 8-bit output is rounded back to R5G6B5
(c5 = (c8 * 31 + 127) // 255, c6 = (c8 * 63 + 127) // 255) and stored expanded again.
Needs the ffmpeg binary (Debian package ffmpeg)."""
import random
import subprocess
import sys
import os


def q5(v): return (v * 31 + 127) // 255
def q6(v): return (v * 63 + 127) // 255
def e5(c): return (c << 3) | (c >> 2)
def e6(c): return (c << 2) | (c >> 4)


def quantise(rgb):
    """8-bit RGB bytes rounded to R5G6B5 and expanded back to 8-bit bytes."""
    out = bytearray(len(rgb))
    for k in range(0, len(rgb), 3):
        out[k] = e5(q5(rgb[k]))
        out[k + 1] = e6(q6(rgb[k + 1]))
        out[k + 2] = e5(q5(rgb[k + 2]))
    return bytes(out)


def ffmpeg(args, stdin=None):
    return subprocess.run(["ffmpeg", "-v", "error", "-nostdin"] + args, input=stdin,
                          stdout=subprocess.PIPE, check=True).stdout


def read_png(path):
    probe = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height", "-of", "csv=p=0", path],
                           stdout=subprocess.PIPE, check=True, text=True).stdout.strip()
    w, h = (int(v) for v in probe.split(",")[:2])
    return w, h, ffmpeg(["-i", path, "-f", "rawvideo", "-pix_fmt", "rgb24", "-"])


def write_png(path, w, h, rgb):
    ffmpeg(["-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}", "-i", "-",
            "-frames:v", "1", path], stdin=rgb)


def reference(name, w, h, rgb):
    """FFmpeg's filter `name` (xbr2x ... hq4x) of an R5G6B5 picture, rounded to R5G6B5."""
    kind, n = ("xbr", name[3]) if name.startswith("xbr") else ("hqx", name[2])
    out = ffmpeg(["-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{w}x{h}", "-i", "-",
                  "-vf", f"{kind}=n={n}", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"], stdin=rgb)
    return quantise(out)


FILTERS = ["xbr2x", "xbr3x", "xbr4x", "hq2x", "hq3x", "hq4x"]


def pixel_art(w, h, seed):
    """Pixel art of the kinds the filters treat specially: one-pixel diagonals and
    strokes, single pixels, a checkerboard dither, 2x2 blocks, 2:1 slopes, an outlined
    sprite with shading, colours one step apart."""
    rnd = random.Random(seed)
    pal = [(2, 6, 2), (12, 40, 30), (28, 36, 6), (31, 63, 31), (30, 10, 12), (6, 44, 8),
           (29, 50, 6), (0, 0, 31), (31, 0, 0), (0, 63, 0), (13, 40, 30), (12, 41, 30)]
    img = [[pal[1]] * w for _ in range(h)]
    def put(x, y, c):
        if 0 <= x < w and 0 <= y < h:
            img[y][x] = c
    for k in range(min(w, h)):              # a 45-degree line
        put(k, k, pal[3])
    for k in range(w):                      # a 2:1 slope over ground
        for y in range(h - 4 + (k // 2) % 3, h):
            put(k, y, pal[5])
        put(k, h - 5 + (k // 2) % 3, pal[0])
    for y in range(2, 8):                   # a checkerboard dither
        for x in range(w - 8, w - 2):
            if (x + y) % 2 == 0:
                put(x, y, pal[2])
    for k in range(6):                      # single pixels
        put(rnd.randrange(w), rnd.randrange(h), pal[rnd.randrange(len(pal))])
    cx, cy, r = w // 2, h // 2, 4           # a shaded, outlined diamond
    for y in range(-r, r + 1):
        for x in range(-r, r + 1):
            d = abs(x) + abs(y)
            if d <= r:
                put(cx + x, cy + y, pal[0] if d == r else pal[4] if x + y < 0 else pal[8])
    for y in range(3, 5):                   # a 2x2 block and a one-pixel stroke
        for x in range(3, 5):
            put(x + 10, y, pal[6])
    for x in range(2, 9):
        put(x, 1, pal[7])
    for x in range(w - 7, w - 1):           # colours one step apart side by side
        put(x, h // 2, pal[10 + x % 2])
    rgb = bytearray()
    for row in img:
        for (r5, g6, b5) in row:
            rgb += bytes((e5(r5), e6(g6), e5(b5)))
    return bytes(rgb)


def noise(w, h, seed):
    rnd = random.Random(seed)
    return quantise(bytes(rnd.randrange(256) for _ in range(w * h * 3)))


def golden(directory):
    pictures = {"art": (24, 20, pixel_art(24, 20, 1)), "noise": (12, 10, noise(12, 10, 2))}
    for pic, (w, h, rgb) in pictures.items():
        write_png(os.path.join(directory, f"{pic}.png"), w, h, rgb)
        for f in FILTERS:
            s = int(f[3] if f.startswith("xbr") else f[2])
            write_png(os.path.join(directory, f"{pic}.{f}.png"), w * s, h * s, reference(f, w, h, rgb))


def agree(tool, paths):
    worst = 100.0
    for path in paths:
        w, h, rgb = read_png(path)
        rgb = quantise(rgb)
        src = "/tmp/oracle-src.png"
        write_png(src, w, h, rgb)
        for f in FILTERS:
            s = int(f[3] if f.startswith("xbr") else f[2])
            ref = reference(f, w, h, rgb)
            subprocess.run([tool, f, src, "/tmp/oracle-ours.png"], check=True)
            ow, oh, ours = read_png("/tmp/oracle-ours.png")
            assert (ow, oh) == (w * s, h * s)
            total = w * s * h * s
            same = sum(1 for k in range(0, len(ref), 3) if ref[k:k + 3] == ours[k:k + 3])
            one_step = sum(1 for k in range(0, len(ref), 3) if ref[k:k + 3] != ours[k:k + 3] and
                           max(abs(a - b) for a, b in zip(ref[k:k + 3], ours[k:k + 3])) <= 8)
            pct = 100.0 * same / total
            worst = min(worst, pct)
            print(f"{os.path.basename(path):24s} {w:4d}x{h:<4d} {f:6s} {pct:9.4f} % equal"
                  f" ({total - same} of {total} differ, {one_step} of them by one step)")
    print(f"lowest agreement: {worst:.4f} %")


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "golden":
        golden(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "agree":
        agree(sys.argv[2], sys.argv[3:])
    else:
        print(__doc__)
        sys.exit(2)
