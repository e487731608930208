#include "core/model/driftsteps.h"

#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

// The low-pass that suited layers of 2 to 20 counts per pixel (standard deviation in cycles per
// pixel at kSparseCounts), widened with the fourth root of the counts, as the frequency up to
// which the texture's power stays above the counting noise grows for a spectrum falling as 1/f^2.
constexpr double kSparseSigma = 0.05;
constexpr double kSparseCounts = 5;
constexpr double kNarrowestSigma = 0.04;
// The correlation is sampled every second pixel: a wider weight makes the peak narrower than
// the three samples its summit is fitted through.
constexpr double kWidestSigma = 0.07;
// Sums left at least, so that bins can still be interpolated between.
constexpr int kLeastBins = 3;
// Neighbours on each side whose median a shift is compared with.
constexpr int kJumpNeighbours = 2;

double distance(Shift a, Shift b)
{
    return std::hypot(a.dx - b.dx, a.dy - b.dy);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

bool isMeasured(const BlockEstimate& b)
{
    return b.origin == ShiftOrigin::Measured;
}

Shift lerp(const ShiftPoint& a, const ShiftPoint& b, double at)
{
    const double t = b.at != a.at ? (at - a.at) / (b.at - a.at) : 0.0;
    return {a.shift.dx + t * (b.shift.dx - a.shift.dx), a.shift.dy + t * (b.shift.dy - a.shift.dy)};
}

} // namespace

int automaticBin(double countsPerPixel, int layers)
{
    const int most = std::max(1, layers / kLeastBins);
    if (!(countsPerPixel > 0))
        return most;
    const double needed = std::ceil(kBinCounts / countsPerPixel - 1e-9);
    return int(std::clamp(needed, 1.0, double(most)));
}

double peakLowPass(double countsPerPixel)
{
    const double c = std::max(countsPerPixel, 0.0);
    return std::clamp(kSparseSigma * std::sqrt(std::sqrt(c / kSparseCounts)), kNarrowestSigma,
                      kWidestSigma);
}

std::vector<double> summitWeights(const RingPower& reference, double ratio, double layerNoise)
{
    std::vector<double> weights(reference.mean.size(), 0.0);
    const double n1 = std::max(layerNoise, 0.0);
    const double n2 = std::max(reference.noise, 0.0);
    for (std::size_t k = 0; k < weights.size(); ++k) {
        const double s2 = reference.mean[k] - n2;
        const double s1 = ratio * ratio * s2;
        const double spread = s1 * n2 + s2 * n1 + n1 * n2;
        if (s1 > 0 && s2 > 0 && spread > 0)
            weights[k] = std::sqrt(s1 * s2) / spread;
    }
    return weights;
}

double peakConfidence(double peak, double mean, double deviation, qsizetype samples)
{
    if (!(deviation > 0) || samples < 2)
        return 0;
    const double z = (peak - mean) / deviation;
    const double noise = std::sqrt(2 * std::log(double(samples)));
    return z > noise ? 1 - noise / z : 0.0;
}

void chooseNearestPeaks(std::vector<BlockEstimate>& blocks, int referenceBlock)
{
    const auto choose = [&](int b, Shift previous) {
        BlockEstimate& block = blocks[std::size_t(b)];
        block.chosen = 0;
        if (block.candidates.empty() || b == referenceBlock)
            return previous;
        const double least = kCandidateShare * block.candidates.front().height;
        for (int k = 1; k < int(block.candidates.size()); ++k) {
            const PeakCandidate& c = block.candidates[std::size_t(k)];
            if (c.height >= least &&
                distance(c.at, previous) <
                    distance(block.candidates[std::size_t(block.chosen)].at, previous))
                block.chosen = k;
        }
        block.shift = block.candidates[std::size_t(block.chosen)].at;
        return isMeasured(block) ? block.candidates[std::size_t(block.chosen)].at : previous;
    };
    Shift previous;
    for (int b = referenceBlock; b < int(blocks.size()); ++b)
        previous = choose(b, previous);
    previous = {};
    for (int b = referenceBlock - 1; b >= 0; --b)
        previous = choose(b, previous);
}

void flagJumps(std::vector<BlockEstimate>& blocks, double maxStep)
{
    std::vector<int> measured;
    for (int b = 0; b < int(blocks.size()); ++b) {
        if (isMeasured(blocks[std::size_t(b)]))
            measured.push_back(b);
    }
    std::vector<int> jumps;
    for (int i = 0; i < int(measured.size()); ++i) {
        std::vector<double> xs, ys;
        for (int j = std::max(0, i - kJumpNeighbours);
             j <= std::min(int(measured.size()) - 1, i + kJumpNeighbours); ++j) {
            if (j == i)
                continue;
            xs.push_back(blocks[std::size_t(measured[std::size_t(j)])].shift.dx);
            ys.push_back(blocks[std::size_t(measured[std::size_t(j)])].shift.dy);
        }
        const Shift s = blocks[std::size_t(measured[std::size_t(i)])].shift;
        if (!xs.empty() &&
            (std::abs(s.dx - median(xs)) > maxStep || std::abs(s.dy - median(ys)) > maxStep))
            jumps.push_back(measured[std::size_t(i)]);
    }
    for (const int b : jumps)
        blocks[std::size_t(b)].origin = ShiftOrigin::Jump;
}

std::vector<Shift> interpolateShifts(const std::vector<ShiftPoint>& points, int layers)
{
    std::vector<Shift> out(std::size_t(std::max(layers, 0)));
    if (points.empty())
        return out;
    const std::size_t n = points.size();
    for (int l = 0; l < layers; ++l) {
        const auto after =
            std::lower_bound(points.begin(), points.end(), double(l),
                             [](const ShiftPoint& p, double at) { return p.at < at; });
        std::size_t i = std::size_t(after - points.begin()); // first point at or after l
        if (n == 1) {
            out[std::size_t(l)] = points.front().shift;
            continue;
        }
        // The pair around l, or the two nearest beyond an end.
        i = std::clamp<std::size_t>(i, 1, n - 1);
        out[std::size_t(l)] = lerp(points[i - 1], points[i], l);
    }
    return out;
}

} // namespace isolumen
