#!/usr/bin/python3
"""Cells of layer 1 of one species of a raw ion image found with scikit-image: the yardstick
that `isolumen --export-mask OUT.tif --find-regions SPECIES` is timed against (tools/benchmark
--measure find-regions).

usage: findcells.py FILE HEADER_SIZE SIDE SPECIES_COUNT SPECIES BYTES_PER_SAMPLE big|little SPLIT MIN_AREA OUT.tif

The same steps as the viewer's: a Gaussian of sigma 1, Otsu's threshold, a watershed on the
distance to the background from seeds at least SPLIT pixels apart, cells of fewer than MIN_AREA
pixels left out; the labels are written as a 16-bit TIFF and their count printed.
"""
import sys

import numpy as np
import tifffile
from scipy import ndimage
from skimage.feature import peak_local_max
from skimage.filters import gaussian, threshold_otsu
from skimage.measure import regionprops
from skimage.segmentation import watershed


def main(argv):
    if len(argv) != 11:
        print(__doc__.strip().splitlines()[4], file=sys.stderr)
        return 2
    path, out = argv[1], argv[10]
    header, side, count, species, depth = (int(a) for a in argv[2:7])
    split, min_area = int(argv[8]), int(argv[9])
    dtype = np.dtype(("<" if argv[7] == "little" else ">") + ("u2" if depth == 2 else "u4"))
    frames = np.memmap(path, dtype=dtype, mode="r", offset=header, shape=(count, side, side))
    plane = frames[species - 1][:, ::-1].astype(np.float64)

    smooth = gaussian(plane, sigma=1, preserve_range=True)
    mask = smooth > threshold_otsu(smooth)
    distance = ndimage.distance_transform_edt(mask)
    peaks = peak_local_max(distance, min_distance=split, labels=mask)
    markers = np.zeros(mask.shape, dtype=np.int32)
    markers[tuple(peaks.T)] = np.arange(1, len(peaks) + 1)
    labels = watershed(-distance, markers, mask=mask)
    kept = np.zeros(labels.shape, dtype=np.uint16)
    cells = 0
    for region in regionprops(labels):
        if region.area >= min_area:
            cells += 1
            kept[region.coords[:, 0], region.coords[:, 1]] = cells
    tifffile.imwrite(out, kept)
    print(cells)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
