#pragma once

#include "core/model/acquisition.h"
#include "core/result.h"
#include "core/stats/region.h"
#include "core/stats/statistics.h"

#include <QList>
#include <QPointF>
#include <optional>
#include <utility>
#include <vector>

namespace isolumen {

class Progress;

// One row of a region table: a region's statistics in the plane of a source (a species or a
// ratio) over a range of layers (one layer, or a sum).
struct StatsRow
{
    int region = 0; // the region's id (its place from 1 where it has none)
    PlaneSource source;
    int firstLayer = 1;
    int lastLayer = 1;
    RegionStats stats;
    std::optional<RatioOfSums> ratio; // for a ratio: the ratio of sums and its Poisson error
};

// A region's row in the planes of one source (its ratio of sums too, for a ratio), pixels as
// regionPixels gives them; the layers are left to the caller.
StatsRow statsRow(const PlaneResult& planes, const PlaneSource& source,
                  const std::vector<qint64>& pixels, double micronsPerPixel);

// The statistics of every region in the planes of every source over every layer range, under
// the request's corrections and alignment (taken from `base`). Rows come by region, then
// source, then range. Each plane is made once and serves all regions. A Failure with the reason
// when cancelled or a plane cannot be made.
Result<QList<StatsRow>> regionTable(const Acquisition& acquisition, const QList<Region>& regions,
                                    const QList<PlaneSource>& sources,
                                    const QList<std::pair<int, int>>& ranges,
                                    const PlaneRequest& base, Progress* progress);

// A profile along the line from a to b (shown pixels): a point every pixel of its length, each
// the mean of the values across the line's width (pixels without a value left out; NaN where
// none has one), at its distance from a in micrometres (micronsPerPixel a pixel).
struct LineProfile
{
    std::vector<double> distanceUm;
    std::vector<double> mean;
};
LineProfile lineProfile(const Plane& plane, const QPointF& a, const QPointF& b, double width,
                        double micronsPerPixel);

} // namespace isolumen
