#pragma once

#include <QImage>
#include <optional>
#include <vector>

// The check of an alignment at a glance: for every layer of one species the mean of its rows (a
// value per x) and the mean of its columns (a value per y), stacked a layer per row. Structure
// that drifts draws slanted or wavy stripes; aligned layers draw straight ones.

namespace isolumen {

class ImFile;
class Progress;
struct Alignment;

struct LayerProfiles
{
    int side = 0;
    int layers = 0;
    std::vector<double> meanRow;    // layers x side: layer l's mean over y at each x
    std::vector<double> meanColumn; // layers x side: layer l's mean over x at each y
};

// The profiles of every complete layer of a species (0-based), as recorded. Absent when
// cancelled or when the file has no frames to show.
std::optional<LayerProfiles> layerProfiles(const ImFile& file, int species,
                                           Progress* progress = nullptr);

// The profiles as the alignment moves each layer: by -dx along x and -dy along y, by whole
// pixels or, for a sub-pixel alignment, linearly between samples. Samples that would come from
// outside the frame have no value (NaN).
LayerProfiles alignedProfiles(const LayerProfiles& profiles, const Alignment& alignment);

// A grey picture of one stack of profiles, a layer per row, dark to bright between its least
// and greatest values; samples without value are black.
QImage stripePicture(const std::vector<double>& values, int side, int layers);

} // namespace isolumen
