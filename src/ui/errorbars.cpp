#include "ui/errorbars.h"

#include <QChart>
#include <QPainter>
#include <QXYSeries>
#include <cmath>

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
        for (const auto& [x, y, e] : bars.points) {
            if (!std::isfinite(y) || !(e > 0))
                continue;
            const QPointF low = m_chart->mapToPosition(QPointF(x, y - e), bars.series);
            const QPointF high = m_chart->mapToPosition(QPointF(x, y + e), bars.series);
            painter->drawLine(low, high);
            painter->drawLine(low - QPointF(3, 0), low + QPointF(3, 0));
            painter->drawLine(high - QPointF(3, 0), high + QPointF(3, 0));
        }
    }
}
