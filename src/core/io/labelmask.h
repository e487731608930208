#pragma once

#include "core/result.h"
#include "core/stats/segmentation.h"

#include <QString>
#include <optional>

namespace isolumen {

// Region masks to and from other image tools: a label image with 0 where there is no region
// and a region's label (its id) on its pixels, in shown orientation.

// Writes labels as a one-page 16-bit TIFF, calibrated like the count TIFFs. Fails, with the
// reason in error, when a label does not fit in 16 bits or the file cannot be written.
Result<> writeLabelMask(const QString& path, const LabelImage& labels, double micronsPerPixel);

// Reads a label image of 8 or 16 bits per pixel (grey or palette indices) from a TIFF or PNG
// file, as Fiji or a cell segmenter writes them. It must be side x side pixels.
Result<LabelImage> readLabelMask(const QString& path, int side);

// The regions as a mask: each region's pixels take its id (the later region where two overlap).
Result<> writeRegionMask(const QString& path, const QList<Region>& regions, int side,
                         double micronsPerPixel);

// One region per label of a mask file (not a pipe or a device), its id the label, named
// "Region N", its outline along the label's pixel edges.
Result<QList<Region>> readRegionMask(const QString& path, int side);

} // namespace isolumen
