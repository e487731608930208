#include "core/render/zoom.h"

#include "core/text/numbertext.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace isolumen {

double ZoomMap::zoom() const
{
    return std::ldexp(1.0, step);
}

int ZoomMap::viewSide() const
{
    if (step >= 0)
        return side << step;
    const int per = 1 << -step;
    return (side + per - 1) / per;
}

QPointF ZoomMap::toShown(const QPointF& view) const
{
    return (view - QPointF(1, 1)) / zoom();
}

QPointF ZoomMap::toView(const QPointF& shown) const
{
    return shown * zoom() + QPointF(1, 1);
}

std::pair<int, int> ZoomMap::pictureSpan(int v) const
{
    const int inside = viewSide();
    if (v <= 0)
        return {0, 1};
    if (v > inside)
        return {side + 1, side + 2};
    if (step >= 0) {
        const int p = 1 + ((v - 1) >> step);
        return {p, p + 1};
    }
    const int per = 1 << -step;
    return {1 + (v - 1) * per, 1 + std::min(side, v * per)};
}

QString zoomText(int step)
{
    return numberText(std::ldexp(100.0, step)) + QLatin1Char('%');
}

namespace {

// The mean colour of picture pixels [x0, x1) x [y0, y1), each channel rounded.
QRgb meanColour(const QImage& picture, int x0, int x1, int y0, int y1)
{
    quint64 r = 0, g = 0, b = 0;
    for (int y = y0; y < y1; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
        for (int x = x0; x < x1; ++x) {
            r += qRed(line[x]);
            g += qGreen(line[x]);
            b += qBlue(line[x]);
        }
    }
    const quint64 n = quint64(x1 - x0) * quint64(y1 - y0);
    return qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n));
}

} // namespace

void drawZoomed(const ZoomMap& map,
                const std::function<void(const QRect&, QImage&, const QPoint&)>& drawPicture,
                const QRect& area, QImage& into, const QPoint& at)
{
    const QRect drawn =
        area & QRect(QPoint(0, 0), map.viewSize()) & QRect(area.topLeft() - at, into.size());
    if (drawn.isEmpty() || into.depth() != 32)
        return;
    std::vector<std::pair<int, int>> columns, rows;
    for (int x = drawn.left(); x <= drawn.right(); ++x)
        columns.push_back(map.pictureSpan(x));
    for (int y = drawn.top(); y <= drawn.bottom(); ++y)
        rows.push_back(map.pictureSpan(y));
    // The part of the picture these pixels show, drawn once at 100%.
    const QRect source(QPoint(columns.front().first, rows.front().first),
                       QPoint(columns.back().second - 1, rows.back().second - 1));
    QImage part(source.size(), QImage::Format_RGB32);
    if (part.isNull())
        return;
    part.fill(Qt::white);
    drawPicture(source, part, QPoint(0, 0));
    const QPoint offset = at - area.topLeft();
    for (int j = 0; j < int(rows.size()); ++j) {
        auto* line = reinterpret_cast<QRgb*>(into.scanLine(drawn.top() + j + offset.y()));
        const int y0 = rows[j].first - source.top();
        const int y1 = rows[j].second - source.top();
        for (int i = 0; i < int(columns.size()); ++i) {
            const int x0 = columns[i].first - source.left();
            const int x1 = columns[i].second - source.left();
            line[drawn.left() + i + offset.x()] =
                x1 - x0 == 1 && y1 - y0 == 1
                    ? reinterpret_cast<const QRgb*>(part.constScanLine(y0))[x0] | 0xFF000000u
                    : meanColour(part, x0, x1, y0, y1);
        }
    }
}

} // namespace isolumen
