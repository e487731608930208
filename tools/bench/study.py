#!/usr/bin/python3
"""Region statistics of many raw ion images into one CSV, in numpy: the yardstick that
`isolumen --study OUT.csv FILE... --rois REGIONS.json --ratio 2/1 --sum` is timed against
(tools/benchmark --measure study).

usage: study.py OUT.csv REGIONS.json HEADER_SIZE SIDE SPECIES_COUNT LAYERS FIELD_UM FILE...

The files are 16-bit big-endian, frames following the header layer by layer, each layer holding
one frame per species; a file row's first sample is shown at the right. Regions are rectangles
in shown pixels. Per file, region and species: pixels, area, sum, mean, sd, min and max over the
sum of all layers; then the ratio of species 2 over species 1 per pixel (where the denominator
counts), its ratio of sums and that ratio's Poisson error.
"""
import csv
import json
import os
import sys

import numpy as np


def region_rows(name, sums, labels, rects, pixel_area, layers):
    for number, (x, y, w, h) in enumerate(rects, start=1):
        parts = [s[y:y + h, x:x + w].astype(np.float64) for s in sums]
        n = parts[0].size
        for label, part in zip(labels, parts):
            yield [name, "", number, "", label, f"1-{layers}", n, n * pixel_area,
                   int(part.sum()), part.mean(), part.std(ddof=1), part.min(), part.max(), "", ""]
        num, den = parts[1], parts[0]
        counted = den > 0
        ratio = num[counted] / den[counted]
        total_n, total_d = num.sum(), den.sum()
        of_sums = total_n / total_d if total_d > 0 else float("nan")
        error = of_sums * np.sqrt(1 / total_n + 1 / total_d) if total_n > 0 else float("nan")
        yield [name, "", number, "", f"{labels[1]}/{labels[0]}", f"1-{layers}",
               int(counted.sum()), n * pixel_area, "", ratio.mean(), ratio.std(ddof=1),
               ratio.min(), ratio.max(), of_sums, error]


def main(argv):
    if len(argv) < 9:
        print(__doc__.strip().splitlines()[3], file=sys.stderr)
        return 2
    out, regions = argv[1], argv[2]
    header, side, count, layers = (int(a) for a in argv[3:7])
    field = float(argv[7])
    with open(regions) as f:
        rects = [r["coords"] for r in json.load(f)["regions"]]
    labels = [f"S{s + 1}" for s in range(count)]
    pixel_area = (field / side) ** 2
    with open(out, "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["file", "treatment", "region", "class", "species", "layers", "pixels",
                         "area_um2", "sum", "mean", "sd", "min", "max", "ratio_of_sums",
                         "poisson_error"])
        for path in argv[8:]:
            frames = np.memmap(path, dtype=">u2", mode="r", offset=header,
                               shape=(layers, count, side, side))
            sums = [frames[:, s].sum(axis=0, dtype=np.uint32)[:, ::-1] for s in range(count)]
            writer.writerows(region_rows(os.path.basename(path), sums, labels, rects, pixel_area,
                                         layers))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
