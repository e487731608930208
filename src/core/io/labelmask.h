#pragma once

#include "core/stats/segmentation.h"

#include <QString>
#include <optional>

namespace isolumen {

// Region masks to and from other image tools: a label image with 0 where there is no region
// and a region's label (its id) on its pixels, in shown orientation.

// Writes labels as a one-page 16-bit TIFF, calibrated like the count TIFFs. Fails, with the
// reason in error, when a label does not fit in 16 bits or the file cannot be written.
bool writeLabelMask(const QString& path, const LabelImage& labels, double micronsPerPixel,
                    QString* error);

// Reads a label image of 8 or 16 bits per pixel (grey or palette indices) from a TIFF or PNG
// file, as Fiji or a cell segmenter writes them. It must be side x side pixels.
std::optional<LabelImage> readLabelMask(const QString& path, int side, QString* error);

// The regions as a mask: each region's pixels take its id (the later region where two overlap).
bool writeRegionMask(const QString& path, const QList<Region>& regions, int side,
                     double micronsPerPixel, QString* error);

// One region per label of a mask file (not a pipe or a device), its id the label, named
// "Region N", its outline along the label's pixel edges.
std::optional<QList<Region>> readRegionMask(const QString& path, int side, QString* error);

} // namespace isolumen
