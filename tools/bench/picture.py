#!/usr/bin/python3
"""The picture of layer 1 of one species of a raw ion image in numpy and Pillow: the yardstick
that `isolumen --export OUT.png` is timed against (tools/benchmark --measure export).

usage: picture.py FILE HEADER_SIZE SIDE SPECIES_COUNT SPECIES BYTES_PER_SAMPLE big|little TABLE OUT.png

SPECIES counts from 1. TABLE holds the window's 256 colours as decimal 0xRRGGBB numbers, one a
line: entry 0 for values below the range, 255 for those above. The range is the layer's own
(lowest to highest count); value v gets entry int(clip((v - min) * 253 / (max - min) + 1, 0,
255)). The picture has a one-pixel black frame; a file row's first sample is shown at the right.
"""
import sys

import numpy as np
from PIL import Image


def main(argv):
    if len(argv) != 10:
        print(__doc__.strip().splitlines()[3], file=sys.stderr)
        return 2
    path, table_path, out = argv[1], argv[8], argv[9]
    header, side, count, species, depth = (int(a) for a in argv[2:7])
    dtype = np.dtype(("<" if argv[7] == "little" else ">") + ("u2" if depth == 2 else "u4"))
    frames = np.memmap(path, dtype=dtype, mode="r", offset=header, shape=(count, side, side))
    shown = frames[species - 1][:, ::-1].astype(np.float64)

    low, high = shown.min(), shown.max()
    if high == low:
        high += 1
    entries = np.clip((shown - low) * (253.0 / (high - low)) + 1.0, 0, 255).astype(np.uint8)
    colours = np.loadtxt(table_path, dtype=np.uint32)
    palette = np.stack([(colours >> 16) & 255, (colours >> 8) & 255, colours & 255], axis=1)
    rgb = np.zeros((side + 2, side + 2, 3), dtype=np.uint8)
    rgb[1:-1, 1:-1] = palette.astype(np.uint8)[entries]
    Image.fromarray(rgb, "RGB").save(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
