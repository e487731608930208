#pragma once

#include <QGraphicsObject>
#include <QList>
#include <QPointF>
#include <array>

class QChart;
class QXYSeries;

namespace isolumen {

// Error bars drawn over a chart's series (Qt Charts has none): a bar with end caps from y - e to
// y + e at each point given, and from x - e to x + e where a point has an error in x. It lives on
// the chart as a child item, follows its plot area and axes, and owns only the values it draws.
class ErrorBars : public QGraphicsObject
{
    Q_OBJECT

public:
    explicit ErrorBars(QChart* chart);

    // The bars of a series already on the chart, in its colour: one per point, (x, y) with its
    // error e as the third value. Hidden series show no bars.
    void add(QXYSeries* series, const QList<std::array<double, 3>>& points);
    // The same with an error in x too: (x, y, x error, y error); an error of 0 draws no bar.
    void add(QXYSeries* series, const QList<std::array<double, 4>>& points);
    void clear();

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    struct Bars
    {
        QXYSeries* series = nullptr;
        QList<std::array<double, 4>> points; // x, y, x error, y error
    };
    QChart* m_chart;
    QList<Bars> m_bars;
};

} // namespace isolumen
