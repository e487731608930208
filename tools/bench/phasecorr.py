#!/usr/bin/python3
"""Drift of the layers of one species of a raw ion image by phase correlation in numpy: the
yardstick that `isolumen --shifts` is timed against (tools/benchmark --measure shifts).

usage: phasecorr.py FILE HEADER_SIZE SIDE SPECIES_COUNT SPECIES LAYERS BYTES_PER_SAMPLE big|little

SPECIES counts from 1. Frames follow the header layer by layer, each layer holding one frame per
species; a file row is a shown row, and its first sample is shown at the right-hand end. Prints
"layer,dx,dy" lines (layers from 1): where each layer's content lies relative to layer 1, in
shown pixels, x to the right and y down.
"""
import os
import sys

import numpy as np

# Standard deviation, in cycles per pixel, of the Gaussian weight that keeps the counting noise
# of the high frequencies out of the correlation.
LOW_PASS_SIGMA = 0.05


def parse(argv):
    if len(argv) != 9:
        raise ValueError(__doc__.strip().splitlines()[3])
    path = argv[1]
    try:
        header, side, count, species, layers, depth = (int(a) for a in argv[2:8])
    except ValueError:
        raise ValueError("HEADER_SIZE to BYTES_PER_SAMPLE must be whole numbers") from None
    order = argv[8]
    if header < 0 or side < 2 or count < 1 or layers < 1:
        raise ValueError("sizes must be positive (SIDE at least 2, HEADER_SIZE at least 0)")
    if not 1 <= species <= count:
        raise ValueError(f"SPECIES must be 1 to {count}")
    if depth not in (2, 4) or order not in ("big", "little"):
        raise ValueError("BYTES_PER_SAMPLE must be 2 or 4 and the byte order big or little")
    needed = header + layers * count * side * side * depth
    size = os.path.getsize(path)
    if size < needed:
        raise ValueError(f"{path} holds {size} bytes, fewer than the {needed} these frames need")
    dtype = np.dtype(("<" if order == "little" else ">") + ("u2" if depth == 2 else "u4"))
    frames = np.memmap(path, dtype=dtype, mode="r", offset=header,
                       shape=(layers, count, side, side))
    return frames[:, species - 1], side


def spectrum(frame, window):
    shown = frame[:, ::-1].astype(np.float64)
    weighted = shown * window
    mean = weighted.sum() / window.sum()  # the constant under the window would lock (0, 0)
    return np.fft.rfft2((shown - mean) * window)


def summit(cm, c0, cp):
    """Offset of a peak's summit from its highest sample, by a parabola through three."""
    curvature = cm - 2 * c0 + cp
    return 0.5 * (cm - cp) / curvature if curvature < 0 else 0.0


def main(argv):
    try:
        frames, side = parse(argv)
    except (ValueError, OSError) as e:
        print(f"phasecorr.py: {e}", file=sys.stderr)
        return 2

    window = np.outer(np.hanning(side), np.hanning(side))
    fy = np.fft.fftfreq(side)[:, None]
    fx = np.fft.rfftfreq(side)[None, :]
    low_pass = np.exp(-(fx**2 + fy**2) / (2 * LOW_PASS_SIGMA**2))
    low_pass[0, 0] = 0

    reference = np.conj(spectrum(frames[0], window))
    print("layer,dx,dy")
    for k in range(len(frames)):
        cross = spectrum(frames[k], window) * reference
        magnitude = np.abs(cross)
        cross = np.divide(cross, magnitude, out=np.zeros_like(cross), where=magnitude > 0)
        c = np.fft.irfft2(cross * low_pass, s=(side, side))
        row, col = np.unravel_index(np.argmax(c), c.shape)
        dx = summit(c[row, col - 1], c[row, col], c[row, (col + 1) % side])
        dy = summit(c[row - 1, col], c[row, col], c[(row + 1) % side, col])
        # Indices past the middle are shifts the other way.
        x = col - side if col > side // 2 else col
        y = row - side if row > side // 2 else row
        print(f"{k + 1},{x + dx:.3f},{y + dy:.3f}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
