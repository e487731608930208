#include "core/render/overlay.h"

#include "core/model/plane.h"
#include "core/parallel.h"
#include "core/render/picturefont.h"
#include "core/text/numbertext.h"

#include <QLinearGradient>
#include <QPainter>
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

std::pair<double, double> overlayRange(const Plane& plane, const OverlayRange& range)
{
    return range.typed ? *range.typed : automaticRange(plane, range.automatic, nullptr);
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

QImage overlayLegend(const QList<FigureLegendEntry>& channels, QSize size)
{
    QImage legend(size, QImage::Format_RGB32);
    legend.fill(Qt::white);
    QPainter painter(&legend);
    painter.setFont(pictureFont(9));
    const int rampWidth = size.width() - 8;
    int top = 4;
    for (const FigureLegendEntry& c : channels) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(4, top, rampWidth, 14), Qt::AlignLeft | Qt::AlignVCenter, c.name);
        QLinearGradient ramp(4, 0, 4 + rampWidth, 0);
        ramp.setColorAt(0, Qt::black);
        ramp.setColorAt(1, QColor(c.colour));
        painter.fillRect(QRect(4, top + 16, rampWidth, 12), ramp);
        painter.drawRect(QRect(4, top + 16, rampWidth - 1, 11));
        const QRect ends(4, top + 29, rampWidth, 14);
        painter.drawText(ends, Qt::AlignLeft | Qt::AlignVCenter, valueText(c.low));
        painter.drawText(ends, Qt::AlignRight | Qt::AlignVCenter, valueText(c.high));
        top += 52;
    }
    return legend;
}

Result<QList<PlanePtr>> overlayPlanes(const OverlayDefinition& definition,
                                      std::pair<int, int> layers, const Acquisition& acquisition,
                                      Progress* progress)
{
    QList<PlanePtr> planes;
    for (const OverlaySource& s : definition.sources) {
        auto plane = findingPlane(s.source, layers, acquisition, progress);
        if (!plane)
            return plane.error();
        planes << *plane;
    }
    return planes;
}

QList<OverlayChannel> overlayChannels(const OverlayDefinition& definition,
                                      const QList<PlanePtr>& planes)
{
    const QList<QRgb> colours = overlayColours(definition.colours);
    QList<OverlayChannel> channels;
    for (int i = 0; i < planes.size() && i < definition.sources.size() && i < colours.size(); ++i) {
        const auto [low, high] = overlayRange(*planes[i], definition.sources[i].range);
        channels << OverlayChannel{planes[i].get(), colours[i], low, high};
    }
    return channels;
}

} // namespace isolumen
