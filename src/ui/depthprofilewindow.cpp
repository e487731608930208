#include "ui/depthprofilewindow.h"

#include "ui/errorbars.h"

#include <QBoxLayout>
#include <QChart>
#include <QComboBox>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>
#include <cmath>
#include <map>

namespace isolumen {

namespace {

// Curves of one colour each, as far apart as eight can be.
const QRgb kCurveColours[] = {0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e,
                              0x9467bd, 0x17becf, 0x8c564b, 0xe377c2};
constexpr int kColours = int(std::size(kCurveColours));
constexpr int kMarkerPixels = 9;

// A marker of one of five shapes: disc, square, triangle, diamond, cross.
QImage marker(int shape, const QColor& colour)
{
    QImage image(kMarkerPixels, kMarkerPixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.5));
    p.setBrush(colour);
    const QRectF box(1, 1, kMarkerPixels - 2, kMarkerPixels - 2);
    const QPointF c = box.center();
    switch (shape % 5) {
    case 0:
        p.drawEllipse(box);
        break;
    case 1:
        p.drawRect(box);
        break;
    case 2:
        p.drawPolygon(QPolygonF{QPointF(c.x(), box.top()), box.bottomRight(), box.bottomLeft()});
        break;
    case 3:
        p.drawPolygon(QPolygonF{QPointF(c.x(), box.top()), QPointF(box.right(), c.y()),
                                QPointF(c.x(), box.bottom()), QPointF(box.left(), c.y())});
        break;
    default:
        p.drawLine(box.topLeft(), box.bottomRight());
        p.drawLine(box.topRight(), box.bottomLeft());
    }
    return image;
}

} // namespace

DepthProfileWindow::DepthProfileWindow(QWidget* parent)
    : PlotWindow(QStringLiteral("Depth Profile"), parent)
{
    m_errorBars = new ErrorBars(chart());
    m_quantity = new QComboBox(this);
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_quantity->addItem(QStringLiteral("Sum per layer"), int(Quantity::Sum));
    m_quantity->addItem(QStringLiteral("Mean per layer"), int(Quantity::Mean));
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Plot:"), this));
    controls->addWidget(m_quantity);
    controls->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(0, controls);
    connect(m_quantity, &QComboBox::currentIndexChanged, this,
            [this] { plot(Quantity(m_quantity->currentData().toInt())); });
}

void DepthProfileWindow::setRows(const QList<StatsRow>& rows, const QMap<int, QString>& regionNames,
                                 const QList<PlaneSource>& sources, const QStringList& sourceNames)
{
    m_rows = rows;
    m_regionNames = regionNames;
    m_sources = sources;
    m_sourceNames = sourceNames;
    const bool ratios =
        std::any_of(sources.begin(), sources.end(), [](const auto& s) { return bool(s.ratio); });
    const int ratioItem = m_quantity->findData(int(Quantity::Ratio));
    const QSignalBlocker quiet(m_quantity);
    if (ratios && ratioItem < 0)
        m_quantity->addItem(QStringLiteral("Ratio per layer"), int(Quantity::Ratio));
    else if (!ratios && ratioItem >= 0)
        m_quantity->removeItem(ratioItem);
    plot(Quantity(m_quantity->currentData().toInt()));
}

QLineSeries* DepthProfileWindow::addRun(QLineSeries* first, const QString& name, QAbstractAxis* x,
                                        QAbstractAxis* y)
{
    auto* series = new QLineSeries;
    series->setName(name);
    series->setPointsVisible(true);
    QChart* c = chart();
    c->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    if (first) {
        series->setColor(first->color());
        for (QLegendMarker* marker : c->legend()->markers(series))
            marker->setVisible(false);
    }
    return series;
}

namespace {

// The points of every curve of one quantity, in the order of the rows (region, then source);
// each row's layer is its range. A point is layer, value and error.
struct Curves
{
    std::map<std::pair<int, int>, QList<std::array<double, 3>>> points; // by region and source
    QList<std::pair<int, int>> order;
    int firstLayer = INT_MAX, lastLayer = INT_MIN;
    double low = INFINITY, high = -INFINITY; // of the values with their errors
    double lowest = INFINITY;                // of the values alone
};

Curves collectCurves(const QList<StatsRow>& rows, const QList<PlaneSource>& sources,
                     DepthProfileWindow::Quantity quantity)
{
    using Quantity = DepthProfileWindow::Quantity;
    Curves curves;
    for (const StatsRow& row : rows) {
        const int source = int(sources.indexOf(row.source));
        if (source < 0 || bool(row.source.ratio) != (quantity == Quantity::Ratio))
            continue;
        const RegionStats& s = row.stats;
        // Poisson: the variance of a count is the count.
        const double value = quantity == Quantity::Sum    ? s.sum
                             : quantity == Quantity::Mean ? s.mean
                             : row.ratio                  ? row.ratio->ratio
                                                          : NAN;
        const double error =
            quantity == Quantity::Ratio ? (row.ratio ? row.ratio->poissonError : 0)
            : s.sum > 0 ? std::sqrt(s.sum) / (quantity == Quantity::Sum ? 1.0 : double(s.valued))
                        : 0;
        const std::pair key{row.region, source};
        if (!curves.points.count(key))
            curves.order << key;
        curves.points[key] << std::array{double(row.firstLayer), value, error};
        curves.firstLayer = std::min(curves.firstLayer, row.firstLayer);
        curves.lastLayer = std::max(curves.lastLayer, row.firstLayer);
        if (std::isfinite(value)) {
            curves.lowest = std::min(curves.lowest, value);
            curves.low = std::min(curves.low, value - (std::isfinite(error) ? error : 0));
            curves.high = std::max(curves.high, value + (std::isfinite(error) ? error : 0));
        }
    }
    return curves;
}

// Whole layers on the axis, about ten labels: a step of 1, 2 or 5 times a power of ten.
void setLayerTicks(QValueAxis* x, int firstLayer, int lastLayer)
{
    x->setRange(firstLayer - 0.5, lastLayer + 0.5);
    const double rough = std::max(1.0, (lastLayer - firstLayer + 1) / 10.0);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    const double step = rough <= power       ? power
                        : rough <= 2 * power ? 2 * power
                        : rough <= 5 * power ? 5 * power
                                             : 10 * power;
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(step);
}

} // namespace

void DepthProfileWindow::plot(Quantity quantity)
{
    QChart* c = chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes())
        c->removeAxis(axis);
    m_errorBars->clear();
    auto* x = new QValueAxis;
    x->setTitleText(QStringLiteral("Layer"));
    x->setLabelFormat(QStringLiteral("%d"));
    auto* y = new QValueAxis;
    y->setTitleText(quantity == Quantity::Sum    ? QStringLiteral("Counts in the region")
                    : quantity == Quantity::Mean ? QStringLiteral("Counts per pixel")
                                                 : QStringLiteral("Ratio"));
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);

    const Curves curves = collectCurves(m_rows, m_sources, quantity);
    QStringList headers{QStringLiteral("layer")};
    QList<QVariantList> table;
    for (int layer = curves.firstLayer; layer <= curves.lastLayer; ++layer)
        table << QVariantList{layer};
    for (qsizetype k = 0; k < curves.order.size(); ++k)
        drawCurve(curves.points.at(curves.order[k]), curves.order[k], k,
                  curves.order.size() > kColours, {curves.firstLayer, curves.lastLayer}, x, y,
                  headers, table);
    if (!curves.order.isEmpty()) {
        setLayerTicks(x, curves.firstLayer, curves.lastLayer);
        const double margin = curves.high > curves.low ? 0.05 * (curves.high - curves.low)
                                                       : std::max(1.0, std::abs(curves.high));
        // Counts from 0: error bars must not pull the axis below it.
        const bool fromZero = quantity != Quantity::Ratio && curves.lowest >= 0;
        y->setRange(fromZero ? 0 : curves.low - margin, curves.high + margin);
        y->applyNiceNumbers();
    }
    setTable(headers, table);
}

void DepthProfileWindow::drawCurve(const QList<std::array<double, 3>>& points,
                                   std::pair<int, int> key, qsizetype index, bool withMarkers,
                                   std::pair<int, int> layers, QAbstractAxis* x, QAbstractAxis* y,
                                   QStringList& headers, QList<QVariantList>& table)
{
    const QString name =
        m_regionNames.value(key.first) + QStringLiteral(" · ") + m_sourceNames.value(key.second);
    headers << name << name + QStringLiteral(" error");
    std::map<int, std::pair<double, double>> byLayer;
    for (const auto& [layer, value, error] : points)
        byLayer[int(layer)] = {value, error};
    // A layer without a value (left out, or no ratio) breaks the line: each run of layers with
    // values is a series of its own, in the first one's colour, named once.
    const QColor colour(kCurveColours[index % kColours]);
    QLineSeries* first = nullptr;
    QLineSeries* run = nullptr;
    for (int layer = layers.first; layer <= layers.second; ++layer) {
        const auto it = byLayer.find(layer);
        const double value = it != byLayer.end() ? it->second.first : NAN;
        table[layer - layers.first] << value << (it != byLayer.end() ? it->second.second : NAN);
        if (!std::isfinite(value)) {
            run = nullptr;
            continue;
        }
        if (!run) {
            run = addRun(first, name, x, y);
            run->setColor(colour);
            if (withMarkers) {
                run->setLightMarker(marker(int(m_regionNames.keys().indexOf(key.first)), colour));
                run->setMarkerSize(kMarkerPixels);
            }
            first = first ? first : run;
        }
        run->append(layer, value);
    }
    if (first)
        m_errorBars->add(first, points);
}

} // namespace isolumen
