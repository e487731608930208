#include "core/stats/statistics.h"

#include "core/model/plane.h"
#include "core/model/ratiodefinition.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace isolumen {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

template <typename F> void forEachValue(const Plane& plane, const std::vector<qint64>& pixels, F f)
{
    std::visit(
        [&](const auto& samples) {
            const qint64 size = qint64(samples.size());
            for (const qint64 i : pixels) {
                if (i < 0 || i >= size)
                    continue;
                const double v = double(samples[i]);
                if (!std::isnan(v))
                    f(i, v);
            }
        },
        plane.samples);
}

} // namespace

RegionStats regionStats(const Plane& plane, const std::vector<qint64>& pixels,
                        double micronsPerPixel)
{
    RegionStats s;
    s.pixels = qint64(pixels.size());
    s.areaUm2 = double(s.pixels) * micronsPerPixel * micronsPerPixel;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    forEachValue(plane, pixels, [&](qint64, double v) {
        ++s.valued;
        s.sum += v;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    });
    // The mean from the sum, exact for counts; the spread in a second pass around it.
    const double mean = s.valued > 0 ? s.sum / double(s.valued) : 0;
    double m2 = 0;
    forEachValue(plane, pixels, [&](qint64, double v) { m2 += (v - mean) * (v - mean); });
    s.mean = s.valued > 0 ? mean : kNaN;
    s.sd = s.valued > 1 ? std::sqrt(m2 / double(s.valued - 1)) : kNaN;
    s.min = s.valued > 0 ? lo : kNaN;
    s.max = s.valued > 0 ? hi : kNaN;
    return s;
}

RatioOfSums ratioOfSums(const std::vector<const Plane*>& counts, const RatioDefinition& ratio,
                        const std::vector<qint64>& pixels)
{
    const QList<int> species = ratio.species();
    if (counts.empty() || qsizetype(counts.size()) != species.size())
        return {kNaN, kNaN};
    // Each species' counts over the pixels where all have a value.
    std::vector<double> sums(counts.size(), 0.0);
    std::vector<double> values(counts.size());
    const Plane& first = *counts.front();
    forEachValue(first, pixels, [&](qint64 i, double v) {
        const int x = int(i % first.side);
        const int y = int(i / first.side);
        for (size_t k = 0; k < counts.size(); ++k) {
            values[k] = k == 0 ? v : counts[k]->value(x, y);
            if (std::isnan(values[k]))
                return;
        }
        for (size_t k = 0; k < counts.size(); ++k)
            sums[k] += values[k];
    });
    // The relative variance of F = N / D: each species weighs (in N) / N - (in D) / D.
    double onlyN = 0, onlyD = 0, both = 0;
    RatioOfSums r;
    for (qsizetype k = 0; k < species.size(); ++k) {
        const bool inN = ratio.numerator.contains(species[k]);
        const bool inD = ratio.denominator.contains(species[k]);
        (inN && inD ? both : inN ? onlyN : onlyD) += sums[size_t(k)];
        r.numeratorSum += inN ? sums[size_t(k)] : 0;
        r.denominatorSum += inD ? sums[size_t(k)] : 0;
    }
    const double n = r.numeratorSum;
    const double d = r.denominatorSum;
    const double gain = ratio.gain();
    r.ratio = d != 0 ? gain * n / d + ratio.offset() : kNaN;
    // Written so that a species over another gives exactly F sqrt(1 / N + 1 / D).
    const double bothWeight = 1 / n - 1 / d;
    const double relative = onlyN / n / n + onlyD / d / d + bothWeight * bothWeight * both;
    r.poissonError = n > 0 && d > 0 ? std::abs(gain * n / d) * std::sqrt(relative) : kNaN;
    return r;
}

std::vector<double> pixelValues(const Plane& plane, const std::vector<qint64>& pixels)
{
    std::vector<double> values;
    values.reserve(pixels.size());
    forEachValue(plane, pixels, [&](qint64, double v) { values.push_back(v); });
    return values;
}

std::vector<qint64> allPixels(const Plane& plane)
{
    std::vector<qint64> pixels(size_t(plane.size()));
    for (qint64 i = 0; i < qint64(pixels.size()); ++i)
        pixels[size_t(i)] = i;
    return pixels;
}

Histogram histogram(const std::vector<double>& values, int bins)
{
    if (values.empty())
        return histogram(values, bins, 0, 1);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    return histogram(values, bins, *lo, *hi > *lo ? *hi : *lo + 1);
}

Histogram wholeNumberHistogram(const std::vector<double>& values, int maxBins)
{
    if (values.empty())
        return histogram(values, 1, -0.5, 0.5);
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const double span = *hi - *lo + 1; // whole numbers from lo to hi
    const double width = std::ceil(span / std::max(1, maxBins));
    const int bins = int(std::ceil(span / width));
    return histogram(values, bins, *lo - 0.5, *lo - 0.5 + bins * width);
}

Histogram histogram(const std::vector<double>& values, int bins, double from, double to)
{
    Histogram h;
    h.counts.assign(size_t(std::max(1, bins)), 0);
    h.from = from;
    h.to = to > from ? to : from + 1;
    const double width = (h.to - h.from) / double(h.counts.size());
    for (const double v : values) {
        if (!(v >= h.from && v <= h.to))
            continue;
        const auto bin = std::min<size_t>(size_t((v - h.from) / width), h.counts.size() - 1);
        ++h.counts[bin];
    }
    return h;
}

} // namespace isolumen
