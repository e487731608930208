#include "core/model/stripes.h"

#include "core/imfile/imfile.h"
#include "core/model/alignment.h"
#include "core/parallel.h"
#include "core/progress.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace isolumen {

namespace {

// A profile moved by `by` samples: out[i] = in[i + by], linearly between samples when
// `subpixel`, else from the nearest whole shift.
void moveProfile(const double* in, double* out, int n, double by, bool subpixel)
{
    if (!subpixel)
        by = std::round(by);
    const double whole = std::floor(by);
    const double t = by - whole;
    for (int i = 0; i < n; ++i) {
        const qint64 a = qint64(i) + qint64(whole);
        const auto at = [&](qint64 k) {
            return k >= 0 && k < n ? in[k] : std::numeric_limits<double>::quiet_NaN();
        };
        out[i] = t == 0 ? at(a) : (1 - t) * at(a) + t * at(a + 1);
    }
}

} // namespace

std::optional<LayerProfiles> layerProfiles(const ImFile& file, int species, Progress* progress)
{
    const int side = file.frameSide().value_or(0);
    const int layers = file.completePlanes();
    if (side <= 0 || layers <= 0 || species < 0 || species >= file.header().usableSpecies())
        return std::nullopt;
    LayerProfiles p;
    p.side = side;
    p.layers = layers;
    p.meanRow.assign(std::size_t(layers) * side, 0.0);
    p.meanColumn.assign(std::size_t(layers) * side, 0.0);
    std::atomic<bool> cancelled{false};
    parallelFor(layers, 1, [&](qsizetype begin, qsizetype end) {
        std::vector<double> frame(std::size_t(side) * side);
        std::vector<uchar> scratch;
        for (qsizetype l = begin; l < end && !cancelled; ++l) {
            if (isCancelled(progress)) {
                cancelled = true;
                return;
            }
            file.readFrameRows(species + 1, int(l) + 1, 0, side, frame.data(), scratch);
            double* row = p.meanRow.data() + l * side;
            double* column = p.meanColumn.data() + l * side;
            for (int y = 0; y < side; ++y) {
                const double* values = frame.data() + qsizetype(y) * side;
                for (int x = 0; x < side; ++x) {
                    row[x] += values[x] / side;
                    column[y] += values[x] / side;
                }
            }
            advance(progress);
        }
    });
    if (cancelled)
        return std::nullopt;
    return p;
}

LayerProfiles alignedProfiles(const LayerProfiles& profiles, const Alignment& alignment)
{
    LayerProfiles out = profiles;
    const int n = profiles.side;
    for (int l = 0; l < profiles.layers; ++l) {
        const Shift s = alignment.forLayer(l + 1);
        const qsizetype at = qsizetype(l) * n;
        moveProfile(profiles.meanRow.data() + at, out.meanRow.data() + at, n, s.dx,
                    alignment.subpixel);
        moveProfile(profiles.meanColumn.data() + at, out.meanColumn.data() + at, n, s.dy,
                    alignment.subpixel);
    }
    return out;
}

QImage stripePicture(const std::vector<double>& values, int side, int layers)
{
    QImage picture(std::max(side, 1), std::max(layers, 1), QImage::Format_Grayscale8);
    picture.fill(0);
    double low = INFINITY, high = -INFINITY;
    for (const double v : values) {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    const double span = high > low ? high - low : 1.0;
    for (int l = 0; l < layers; ++l) {
        uchar* line = picture.scanLine(l);
        for (int x = 0; x < side; ++x) {
            const double v = values[std::size_t(l) * side + x];
            line[x] = std::isfinite(v) ? uchar(std::lround(1 + 254 * (v - low) / span)) : 0;
        }
    }
    return picture;
}

} // namespace isolumen
