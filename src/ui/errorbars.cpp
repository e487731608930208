#include "ui/errorbars.h"

#include <QAbstractAxis>
#include <QChart>
#include <QPainter>
#include <QXYSeries>
#include <cmath>

namespace isolumen {

namespace {

constexpr double kCap = 3; // half the width of an end cap, in pixels

bool isLog(QXYSeries* series, Qt::Orientation orientation)
{
    for (const QAbstractAxis* axis : series->attachedAxes()) {
        if (axis->orientation() == orientation)
            return axis->type() == QAbstractAxis::AxisTypeLogValue;
    }
    return false;
}

} // namespace

ErrorBars::ErrorBars(QChart* chart) : QGraphicsObject(chart), m_chart(chart)
{
    setZValue(100); // above the series
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        prepareGeometryChange();
        update();
    });
}

void ErrorBars::add(QXYSeries* series, const QList<std::array<double, 3>>& points)
{
    QList<std::array<double, 4>> both;
    for (const auto& [x, y, e] : points)
        both.append(std::array<double, 4>{x, y, 0, e});
    add(series, both);
}

void ErrorBars::add(QXYSeries* series, const QList<std::array<double, 4>>& points)
{
    m_bars << Bars{series, points};
    connect(series, &QXYSeries::visibleChanged, this, [this] { update(); });
    update();
}

void ErrorBars::clear()
{
    m_bars.clear();
    update();
}

QRectF ErrorBars::boundingRect() const
{
    return m_chart->plotArea();
}

void ErrorBars::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setClipRect(m_chart->plotArea());
    for (const Bars& bars : std::as_const(m_bars)) {
        if (!bars.series->isVisible() || bars.series->attachedAxes().isEmpty())
            continue;
        painter->setPen(QPen(bars.series->color(), 1));
        const bool logX = isLog(bars.series, Qt::Horizontal);
        const bool logY = isLog(bars.series, Qt::Vertical);
        const QRectF area = m_chart->plotArea();
        for (const auto& [x, y, ex, ey] : bars.points) {
            if (!std::isfinite(x) || !std::isfinite(y))
                continue;
            const QPointF at = m_chart->mapToPosition(QPointF(x, y), bars.series);
            if (ey > 0) {
                // On a log axis a bar reaching 0 or below runs off the plot.
                const QPointF low = logY && y - ey <= 0
                                        ? QPointF(at.x(), area.bottom() + kCap)
                                        : m_chart->mapToPosition(QPointF(x, y - ey), bars.series);
                const QPointF high = m_chart->mapToPosition(QPointF(x, y + ey), bars.series);
                painter->drawLine(low, high);
                painter->drawLine(low - QPointF(kCap, 0), low + QPointF(kCap, 0));
                painter->drawLine(high - QPointF(kCap, 0), high + QPointF(kCap, 0));
            }
            if (ex > 0) {
                const QPointF low = logX && x - ex <= 0
                                        ? QPointF(area.left() - kCap, at.y())
                                        : m_chart->mapToPosition(QPointF(x - ex, y), bars.series);
                const QPointF high = m_chart->mapToPosition(QPointF(x + ex, y), bars.series);
                painter->drawLine(low, high);
                painter->drawLine(low - QPointF(0, kCap), low + QPointF(0, kCap));
                painter->drawLine(high - QPointF(0, kCap), high + QPointF(0, kCap));
            }
        }
    }
}

} // namespace isolumen
