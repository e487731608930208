#pragma once

#include "core/stats/region.h"

#include <QList>
#include <QString>
#include <limits>
#include <vector>

namespace isolumen {

struct Plane;

// What "Find Regions" looks for in a plane: bright objects (cells) on a darker background.
struct SegmentationOptions
{
    enum class Threshold { Otsu, Value, Percentile };

    double smoothSigma = 1.0; // Gaussian sigma in pixels before thresholding; 0: none
    Threshold threshold = Threshold::Otsu;
    double thresholdValue = 0; // the value, or the percentile (0 to 100) of the smoothed values
    double lowestValue = 0;    // an object's smoothed values are never below this
    int splitMinDistance = 0;  // > 0: touching objects are split by a watershed whose seeds are
                               // at least this many pixels apart
    double minArea = 0;        // in pixels
    double maxArea = std::numeric_limits<double>::infinity();
    bool excludeEdge = false; // leave out objects that touch the frame's edge
};

// A label image in shown orientation: side x side labels, row-major, 0 for no object.
struct LabelImage
{
    int side = 0;
    std::vector<int> labels;
    int count = 0; // labels run from 1 to count (findObjects); 0 where not known
};

// The objects of a plane, labelled 1, 2, ... in the order of their first pixel (row by row).
// Pixels without a value count as background. Holes inside an object are filled, so that each
// object is a solid 4-connected piece whose outline is a single polygon.
LabelImage findObjects(const Plane& plane, const SegmentationOptions& options);

// One polygon region per label present in the image, in increasing label order. Each polygon
// runs along the pixel edges of the label's outline, so that the pixel-centre rule gives back
// exactly its pixels (for a solid, 4-connected piece; of a label in several pieces, the piece
// met first is kept). Regions are named namePrefix followed by their position from 1.
struct LabelledRegion
{
    int label = 0;
    Region region;
};
QList<LabelledRegion> regionsFromLabels(const LabelImage& image, const QString& namePrefix);

// The label image of regions: each region's pixels take its label; where regions overlap, the
// later one wins.
LabelImage labelsFromRegions(const QList<LabelledRegion>& regions, int side);

} // namespace isolumen
