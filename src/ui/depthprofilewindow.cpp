#include "ui/depthprofilewindow.h"

#include "ui/errorbars.h"

#include <QBoxLayout>
#include <QChart>
#include <QComboBox>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <cmath>
#include <map>

DepthProfileWindow::DepthProfileWindow(const QList<StatsRow>& rows, const QStringList& regionNames,
                                       const QList<PlaneSource>& sources,
                                       const QStringList& sourceNames, QWidget* parent)
    : PlotWindow(QStringLiteral("Depth Profile"), parent), m_rows(rows), m_regionNames(regionNames),
      m_sources(sources), m_sourceNames(sourceNames)
{
    m_errorBars = new ErrorBars(chart());
    m_quantity = new QComboBox(this);
    m_quantity->setObjectName(QStringLiteral("quantity"));
    m_quantity->addItem(QStringLiteral("Sum per layer"), int(Quantity::Sum));
    m_quantity->addItem(QStringLiteral("Mean per layer"), int(Quantity::Mean));
    if (std::any_of(sources.begin(), sources.end(), [](const auto& s) { return bool(s.ratio); }))
        m_quantity->addItem(QStringLiteral("Ratio per layer"), int(Quantity::Ratio));
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Plot:"), this));
    controls->addWidget(m_quantity);
    controls->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(0, controls);
    connect(m_quantity, &QComboBox::currentIndexChanged, this,
            [this] { plot(Quantity(m_quantity->currentData().toInt())); });
    plot(Quantity::Sum);
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

    // Curves in the order of the rows (region, then source); each row's layer is its range.
    std::map<std::pair<int, int>, QList<std::array<double, 3>>> curves;
    QList<std::pair<int, int>> order;
    int firstLayer = INT_MAX, lastLayer = INT_MIN;
    double low = INFINITY, high = -INFINITY;
    for (const StatsRow& row : std::as_const(m_rows)) {
        const int source = int(m_sources.indexOf(row.source));
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
        if (!curves.count(key))
            order << key;
        curves[key] << std::array{double(row.firstLayer), value, error};
        firstLayer = std::min(firstLayer, row.firstLayer);
        lastLayer = std::max(lastLayer, row.firstLayer);
        if (std::isfinite(value)) {
            low = std::min(low, value - (std::isfinite(error) ? error : 0));
            high = std::max(high, value + (std::isfinite(error) ? error : 0));
        }
    }

    QStringList headers{QStringLiteral("layer")};
    QList<QVariantList> table;
    for (int layer = firstLayer; layer <= lastLayer; ++layer)
        table << QVariantList{layer};
    for (const auto& key : std::as_const(order)) {
        const QString name =
            m_regionNames.value(key.first - 1) + QLatin1Char(' ') + m_sourceNames.value(key.second);
        headers << name << name + QStringLiteral(" error");
        std::map<int, std::pair<double, double>> byLayer;
        for (const auto& [layer, value, error] : curves[key])
            byLayer[int(layer)] = {value, error};
        // A layer without a value (left out, or no ratio) breaks the line: each run of layers
        // with values is a series of its own, in the first one's colour, named once.
        QLineSeries* first = nullptr;
        QLineSeries* run = nullptr;
        for (int layer = firstLayer; layer <= lastLayer; ++layer) {
            const auto it = byLayer.find(layer);
            const double value = it != byLayer.end() ? it->second.first : NAN;
            table[layer - firstLayer] << value << (it != byLayer.end() ? it->second.second : NAN);
            if (!std::isfinite(value)) {
                run = nullptr;
                continue;
            }
            if (!run) {
                run = addRun(first, name, x, y);
                first = first ? first : run;
            }
            run->append(layer, value);
        }
        if (first)
            m_errorBars->add(first, curves[key]);
    }
    if (!order.isEmpty()) {
        x->setRange(firstLayer - 0.5, lastLayer + 0.5);
        // Whole layers on the axis, about ten labels: a step of 1, 2 or 5 times a power of ten.
        const double rough = std::max(1.0, (lastLayer - firstLayer + 1) / 10.0);
        const double power = std::pow(10.0, std::floor(std::log10(rough)));
        const double step = rough <= power       ? power
                            : rough <= 2 * power ? 2 * power
                            : rough <= 5 * power ? 5 * power
                                                 : 10 * power;
        x->setTickType(QValueAxis::TicksDynamic);
        x->setTickAnchor(0);
        x->setTickInterval(step);
        const double margin = high > low ? 0.05 * (high - low) : std::max(1.0, std::abs(high));
        y->setRange(low - margin, high + margin);
        y->applyNiceNumbers();
    }
    setTable(headers, table);
}
