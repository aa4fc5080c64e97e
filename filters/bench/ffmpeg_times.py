#!/usr/bin/env python3
"""Rough per-frame times of FFmpeg's own xbr and hqx filters on the benchmark's pictures.

    ffmpeg_times.py SOURCES_DIR OUT_FILE

SOURCES_DIR holds <content>-<scale>x.png (filter_bench --save-sources). For each
filter and picture FFmpeg runs single-threaded over the picture repeated N frames,
with the filter and without it (decoding and the pixel format conversion only), at two
values of N; the per-frame time is the difference of the slopes of the CPU time
(utime of -benchmark). That cancels start-up (xbr and hqx build a 16M-entry colour
table when they start) and decoding, but the figure stays rough: PNG decoding and
conversion are part of both runs and their noise shows. OUT_FILE gets one line per
figure: "<filter file name> <content> <milliseconds>"."""
import os
import re
import subprocess
import sys

FILTERS = [("xbr2x", "bgr0", "xbr=n=2", 2), ("xbr3x", "bgr0", "xbr=n=3", 3), ("xbr4x", "bgr0", "xbr=n=4", 4),
           ("hq2x", "bgra", "hqx=n=2", 2), ("hq3x", "bgra", "hqx=n=3", 3), ("hq4x", "bgra", "hqx=n=4", 4)]
FRAMES = (40, 240)


def cpu_seconds(png, chain, frames):
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostdin", "-benchmark", "-threads", "1",
                          "-filter_threads", "1", "-loop", "1", "-i", png, "-frames:v", str(frames),
                          "-vf", chain, "-f", "null", "-"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         text=True, check=True).stdout
    return float(re.search(r"utime=([0-9.]+)s", out).group(1))


def per_frame_ms(png, chain):
    t = [min(cpu_seconds(png, chain, n) for _ in range(2)) for n in FRAMES]
    return (t[1] - t[0]) / (FRAMES[1] - FRAMES[0]) * 1e3


def main():
    sources, out_file = sys.argv[1], sys.argv[2]
    lines = []
    for name, fmt, vf, scale in FILTERS:
        for content in ("scene", "noise"):
            png = os.path.join(sources, f"{content}-{scale}x.png")
            ms = per_frame_ms(png, f"format={fmt},{vf}") - per_frame_ms(png, f"format={fmt}")
            lines.append(f"{name} {content} {ms:.4f}")
            print(f"ffmpeg {vf:8s} {content}: {ms:.3f} ms per frame (rough)", flush=True)
    with open(out_file, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__)
        sys.exit(2)
    main()
