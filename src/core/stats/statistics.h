#pragma once

#include <QtGlobal>
#include <vector>

namespace isolumen {

struct Plane;
struct RatioDefinition;

// Statistics of a region's pixels in a plane. Pixels without a value (a ratio without a
// denominator, a saturated detector, a layer shifted in from outside) are left out of every
// figure but the region's pixel count.
struct RegionStats
{
    qint64 pixels = 0;  // the region's pixels, with a value or not
    qint64 valued = 0;  // those with a value
    double areaUm2 = 0; // pixels x (micrometres per pixel)^2
    double sum = 0;
    double mean = 0;
    double sd = 0;  // sample standard deviation (n - 1); NaN for fewer than two values
    double min = 0; // NaN without values
    double max = 0;
};

// pixels: indices into the plane (regionPixels). micronsPerPixel: the side of a pixel.
RegionStats regionStats(const Plane& plane, const std::vector<qint64>& pixels,
                        double micronsPerPixel);

// A ratio over a region: the ratio of sums F = sum(N) / sum(D) over the region's pixels where
// every species' counts have a value, in the ratio's unit, with its Poisson error: the error of
// each species' counts carried through F to first order, so a species in both terms counts
// once. For a species and a denominator of other species that is F sqrt(1 / sum(N) + 1 /
// sum(D)); for A / (A + B) it is sqrt(A B / (A + B)^3).
struct RatioOfSums
{
    double ratio = 0;
    double poissonError = 0;
    double numeratorSum = 0;
    double denominatorSum = 0;
};
// counts: the planes of ratio.species(), in that order.
RatioOfSums ratioOfSums(const std::vector<const Plane*>& counts, const RatioDefinition& ratio,
                        const std::vector<qint64>& pixels);

// The values of those of `pixels` that have one, in their order.
std::vector<double> pixelValues(const Plane& plane, const std::vector<qint64>& pixels);

// The whole plane's pixel indices.
std::vector<qint64> allPixels(const Plane& plane);

// A histogram of values in `bins` equal bins from their smallest to their largest value; the
// largest value falls in the last bin.
struct Histogram
{
    double from = 0;
    double to = 1;
    std::vector<qint64> counts;
};
Histogram histogram(const std::vector<double>& values, int bins);
// The same over from..to (from < to): values outside it are left out, `to` falls in the last bin.
Histogram histogram(const std::vector<double>& values, int bins, double from, double to);
// A histogram of whole numbers in at most maxBins bins of a whole number of counts each, the
// fewest that will do, with edges at half-integers: every bin holds as many whole numbers as the
// next, so that none stands empty between two full ones.
Histogram wholeNumberHistogram(const std::vector<double>& values, int maxBins);

} // namespace isolumen
