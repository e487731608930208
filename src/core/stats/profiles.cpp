#include "core/stats/profiles.h"

#include "core/progress.h"

#include <cmath>

namespace isolumen {

StatsRow statsRow(const PlaneResult& planes, const PlaneSource& source,
                  const std::vector<qint64>& pixels, double micronsPerPixel)
{
    StatsRow row;
    row.source = source;
    if (planes.shown)
        row.stats = regionStats(*planes.shown, pixels, micronsPerPixel);
    if (source.ratio && !planes.counts.isEmpty()) {
        std::vector<const Plane*> counts;
        for (const PlanePtr& c : planes.counts)
            counts.push_back(c.get());
        row.ratio = ratioOfSums(counts, *source.ratio, pixels);
    }
    return row;
}

Result<QList<StatsRow>> regionTable(const Acquisition& acquisition, const QList<Region>& regions,
                                    const QList<PlaneSource>& sources,
                                    const QList<std::pair<int, int>>& ranges,
                                    const PlaneRequest& base, Progress* progress)
{
    const int side = acquisition.frameSide().value_or(0);
    const double micronsPerPixel = acquisition.header().micronsPerPixel();
    std::vector<std::vector<qint64>> pixels;
    for (const Region& r : regions)
        pixels.push_back(regionPixels(r, side));

    // table[source][range][region]
    std::vector<std::vector<std::vector<StatsRow>>> table(size_t(sources.size()));
    for (qsizetype s = 0; s < sources.size(); ++s) {
        for (const auto& [first, last] : ranges) {
            PlaneRequest request = base;
            request.source = sources[s];
            request.firstLayer = first;
            request.lastLayer = last;
            const Result<PlaneResult> loaded = acquisition.plane(request, progress);
            if (!loaded)
                return loaded.error();
            const PlaneResult& planes = *loaded;
            std::vector<StatsRow> rows;
            for (qsizetype r = 0; r < regions.size(); ++r) {
                StatsRow row = statsRow(planes, sources[s], pixels[size_t(r)], micronsPerPixel);
                row.region = regions[r].id > 0 ? regions[r].id : int(r) + 1;
                row.firstLayer = first;
                row.lastLayer = last;
                rows.push_back(row);
            }
            table[size_t(s)].push_back(std::move(rows));
        }
    }
    QList<StatsRow> rows;
    for (qsizetype r = 0; r < regions.size(); ++r) {
        for (const auto& bySource : table) {
            for (const auto& byRange : bySource)
                rows << byRange[size_t(r)];
        }
    }
    return rows;
}

LineProfile lineProfile(const Plane& plane, const QPointF& a, const QPointF& b, double width,
                        double micronsPerPixel)
{
    LineProfile profile;
    const QPointF along = b - a;
    const double length = std::hypot(along.x(), along.y());
    if (plane.side <= 0)
        return profile;
    const QPointF unit = length > 0 ? along / length : QPointF(1, 0);
    const QPointF across(-unit.y(), unit.x());
    const int steps = int(std::floor(length)) + 1;
    const int wide = std::max(1, int(std::round(width)));
    for (int i = 0; i < steps; ++i) {
        double sum = 0;
        int count = 0;
        for (int k = 0; k < wide; ++k) {
            const QPointF p = a + unit * i + across * (k - (wide - 1) / 2.0);
            const double v = plane.value(int(std::floor(p.x())), int(std::floor(p.y())));
            if (!std::isnan(v)) {
                sum += v;
                ++count;
            }
        }
        profile.distanceUm.push_back(i * micronsPerPixel);
        profile.mean.push_back(count > 0 ? sum / count : std::nan(""));
    }
    return profile;
}

} // namespace isolumen
