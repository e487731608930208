#include "core/stats/autorange.h"

#include "core/model/plane.h"
#include "core/stats/region.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace isolumen {

namespace {

// The value at fractional rank r of values (which it reorders), r in 0..size - 1.
double atRank(std::vector<double>& values, double r)
{
    const auto k = qsizetype(std::floor(r));
    const auto nth = values.begin() + k;
    std::nth_element(values.begin(), nth, values.end());
    const double below = *nth;
    const double fraction = r - double(k);
    if (fraction == 0 || nth + 1 == values.end())
        return below;
    // After nth_element every later value is at least *nth: the next rank is their minimum.
    const double above = *std::min_element(nth + 1, values.end());
    return below + fraction * (above - below);
}

} // namespace

std::optional<std::pair<double, double>> percentileRange(const Plane& plane, double low,
                                                         double high)
{
    if (!(0 <= low && low <= high && high <= 100))
        return std::nullopt;
    std::vector<double> values;
    values.reserve(size_t(plane.size()));
    std::visit(
        [&](const auto& samples) {
            for (const auto v : samples) {
                if (!std::isnan(double(v)))
                    values.push_back(double(v));
            }
        },
        plane.samples);
    if (values.empty())
        return std::nullopt;
    const double last = double(values.size() - 1);
    const double bottom = atRank(values, low / 100 * last);
    const double top = atRank(values, high / 100 * last);
    return std::pair{bottom, top};
}

std::optional<std::pair<double, double>> regionRange(const Plane& plane, const Region& region)
{
    double lo = INFINITY, hi = -INFINITY;
    for (const qint64 i : regionPixels(region, plane.side)) {
        const double v = plane.value(int(i % plane.side), int(i / plane.side));
        if (!std::isnan(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    if (lo > hi)
        return std::nullopt;
    return std::pair{lo, hi};
}

std::pair<double, double> automaticRange(const Plane& plane, const AutoRangeChoice& choice,
                                         const Region* region)
{
    std::optional<std::pair<double, double>> range;
    if (choice.mode == AutoRange::Percentile)
        range = percentileRange(plane, choice.low, choice.high);
    else if (choice.mode == AutoRange::Region && region)
        range = regionRange(plane, *region);
    if (range && range->first < range->second)
        return *range;
    return {plane.min, plane.max};
}

} // namespace isolumen
