#!/usr/bin/python3
"""The sum of every species over all layers of a raw ion image in numpy, written as a multi-page
TIFF with tifffile: the yardstick that `isolumen --export-counts OUT.tif FILE --species all --sum`
is timed against (tools/benchmark --measure sums).

usage: sumcounts.py FILE HEADER_SIZE SIDE SPECIES_COUNT LAYERS BYTES_PER_SAMPLE big|little OUT.tif

Frames follow the header layer by layer, each layer holding one frame per species; a file row's
first sample is shown at the right. One page per species, 32-bit sums in shown orientation.
"""
import sys

import numpy as np
import tifffile


def main(argv):
    if len(argv) != 9:
        print(__doc__.strip().splitlines()[4], file=sys.stderr)
        return 2
    path, out = argv[1], argv[8]
    header, side, count, layers, depth = (int(a) for a in argv[2:7])
    dtype = np.dtype(("<" if argv[7] == "little" else ">") + ("u2" if depth == 2 else "u4"))
    frames = np.memmap(path, dtype=dtype, mode="r", offset=header,
                       shape=(layers, count, side, side))
    sums = np.stack([frames[:, s].sum(axis=0, dtype=np.uint32)[:, ::-1] for s in range(count)])
    tifffile.imwrite(out, sums)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
