#include "core/render/overlay.h"

#include "core/model/plane.h"
#include "core/parallel.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace isolumen {

QList<QRgb> overlayColours(OverlayColours set)
{
    if (set == OverlayColours::MagentaGreenCyan)
        return {qRgb(255, 0, 255), qRgb(0, 255, 0), qRgb(0, 255, 255)};
    return {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
}

namespace {

// A channel's mapped value at a pixel: 0 at low, 1 at high, held to 0..1; 0 without a value.
double mapped(const OverlayChannel& c, qsizetype i)
{
    const double v =
        std::visit([i](const auto& s) { return double(s[size_t(i)]); }, c.plane->samples);
    if (std::isnan(v) || !(c.high > c.low))
        return 0;
    return std::clamp((v - c.low) / (c.high - c.low), 0.0, 1.0);
}

void overlayRow(const QList<OverlayChannel>& channels, int side, int y, QRgb* row)
{
    for (int x = 0; x < side; ++x) {
        std::array<double, 3> sum{};
        for (const OverlayChannel& c : channels) {
            const double m = mapped(c, qsizetype(y) * side + x);
            sum[0] += qRed(c.colour) * m;
            sum[1] += qGreen(c.colour) * m;
            sum[2] += qBlue(c.colour) * m;
        }
        const auto component = [](double v) { return int(std::lround(std::min(v, 255.0))); };
        row[x] = qRgb(component(sum[0]), component(sum[1]), component(sum[2]));
    }
}

} // namespace

QImage overlayPicture(const QList<OverlayChannel>& channels)
{
    if (channels.isEmpty())
        return {};
    const int side = channels.first().plane->side;
    QImage picture(side, side, QImage::Format_RGB32);
    if (picture.isNull())
        return {};
    // Rows of at least 64 K pixels in a chunk, so that small overlays stay on this thread.
    const qsizetype rowsPerChunk = std::max(1, 65536 / std::max(side, 1));
    parallelFor(side, rowsPerChunk, [&](qsizetype begin, qsizetype end) {
        for (qsizetype y = begin; y < end; ++y)
            overlayRow(channels, side, int(y), reinterpret_cast<QRgb*>(picture.scanLine(int(y))));
    });
    return picture;
}

} // namespace isolumen
