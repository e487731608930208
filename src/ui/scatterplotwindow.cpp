#include "ui/scatterplotwindow.h"

#include "core/render/classcolours.h"
#include "ui/errorbars.h"
#include "ui/measurechooser.h"

#include <QBoxLayout>
#include <QChart>
#include <QCheckBox>
#include <QLabel>
#include <QLogValueAxis>
#include <QScatterSeries>
#include <QValueAxis>
#include <cmath>

namespace isolumen {

namespace {

const QColor kNoClassColour(128, 128, 128);
constexpr double kMarkerPixels = 8;

// An axis over low..high (values with their errors), with a margin.
QAbstractAxis* makeAxis(bool log, double low, double high, const QString& title)
{
    QAbstractAxis* axis = nullptr;
    if (log) {
        auto* a = new QLogValueAxis;
        a->setLabelFormat(QStringLiteral("%g"));
        if (low > 0 && high >= low)
            a->setRange(low / 1.2, high * 1.2);
        axis = a;
    } else {
        auto* a = new QValueAxis;
        const double margin = high > low ? 0.05 * (high - low) : std::max(1.0, std::abs(high));
        if (std::isfinite(low) && std::isfinite(high))
            a->setRange(low - margin, high + margin);
        axis = a;
    }
    axis->setTitleText(title);
    return axis;
}

} // namespace

ScatterPlotWindow::ScatterPlotWindow(const QStringList& species, QWidget* parent)
    : PlotWindow(QStringLiteral("Scatter Plot"), parent), m_species(species),
      m_x(new MeasureChooser(species, this)), m_y(new MeasureChooser(species, this)),
      m_logX(new QCheckBox(QStringLiteral("Log"), this)),
      m_logY(new QCheckBox(QStringLiteral("Log"), this)), m_errorBars(new ErrorBars(chart()))
{
    m_x->setObjectName(QStringLiteral("xMeasure"));
    m_y->setObjectName(QStringLiteral("yMeasure"));
    m_logX->setObjectName(QStringLiteral("xLog"));
    m_logY->setObjectName(QStringLiteral("yLog"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("x:"), this));
    controls->addWidget(m_x);
    controls->addWidget(m_logX);
    controls->addSpacing(16);
    controls->addWidget(new QLabel(QStringLiteral("y:"), this));
    controls->addWidget(m_y);
    controls->addWidget(m_logY);
    controls->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(1, controls);
    for (MeasureChooser* m : {m_x, m_y})
        connect(m, &MeasureChooser::changed, this, &ScatterPlotWindow::measuresChosen);
    for (QCheckBox* log : {m_logX, m_logY})
        connect(log, &QCheckBox::toggled, this, &ScatterPlotWindow::plot);
}

RegionMeasure ScatterPlotWindow::measure(Qt::Orientation axis) const
{
    return (axis == Qt::Horizontal ? m_x : m_y)->measure();
}

void ScatterPlotWindow::setMeasure(Qt::Orientation axis, const RegionMeasure& measure)
{
    (axis == Qt::Horizontal ? m_x : m_y)->setMeasure(measure);
}

void ScatterPlotWindow::setLogScale(Qt::Orientation axis, bool log)
{
    (axis == Qt::Horizontal ? m_logX : m_logY)->setChecked(log);
}

void ScatterPlotWindow::setRegions(const QList<RegionRows>& rows)
{
    m_rows = rows;
    m_points = scatterPoints(rows, m_x->measure(), m_y->measure());
    const QString xName = measureName(m_x->measure(), m_species);
    const QString yName = measureName(m_y->measure(), m_species);
    QList<QVariantList> table;
    for (const ScatterPoint& p : std::as_const(m_points))
        table << QVariantList{p.region, p.regionClass, p.x, p.xError, p.y, p.yError};
    setTable({QStringLiteral("id"), QStringLiteral("class"), xName,
              xName + QStringLiteral(" error"), yName, yName + QStringLiteral(" error")},
             table);
    plot();
}

QScatterSeries* ScatterPlotWindow::classSeries(const QString& regionClass) const
{
    for (QAbstractSeries* s : chart()->series()) {
        if (s->property("regionClass").toString() == regionClass)
            return qobject_cast<QScatterSeries*>(s);
    }
    return nullptr;
}

QScatterSeries* ScatterPlotWindow::addClass(const QString& name, const QColor& colour)
{
    auto* series = new QScatterSeries;
    series->setName(name.isEmpty() ? QStringLiteral("no class") : name);
    series->setProperty("regionClass", name);
    series->setColor(colour);
    series->setBorderColor(colour.darker(150));
    series->setMarkerSize(kMarkerPixels);
    chart()->addSeries(series);
    connect(series, &QScatterSeries::clicked, this,
            [this, series](const QPointF& at) { pointAt(series, at); });
    return series;
}

void ScatterPlotWindow::plot()
{
    QChart* c = chart();
    c->removeAllSeries();
    for (QAbstractAxis* axis : c->axes())
        c->removeAxis(axis);
    m_errorBars->clear();
    const bool logX = m_logX->isChecked(), logY = m_logY->isChecked();
    QStringList classes;
    for (const ScatterPoint& p : std::as_const(m_points))
        classes << p.regionClass;
    QList<QPair<QString, QRgb>> colours = classColours(classes);
    colours.prepend({QString(), kNoClassColour.rgb()});
    double lowX = INFINITY, highX = -INFINITY, lowY = INFINITY, highY = -INFINITY;
    QList<std::pair<QScatterSeries*, QList<std::array<double, 4>>>> bars;
    for (const auto& [name, colour] : std::as_const(colours)) {
        QScatterSeries* series = nullptr;
        QList<std::array<double, 4>> errors;
        for (const ScatterPoint& p : std::as_const(m_points)) {
            if (p.regionClass.trimmed() != name || (logX && p.x <= 0) || (logY && p.y <= 0))
                continue;
            series = series ? series : addClass(name, QColor(colour));
            series->append(p.x, p.y);
            errors.append(std::array<double, 4>{p.x, p.y, p.xError, p.yError});
            // A log axis spans the values alone: an error bar may reach 0.
            lowX = std::min(lowX, logX ? p.x : p.x - p.xError);
            highX = std::max(highX, p.x + p.xError);
            lowY = std::min(lowY, logY ? p.y : p.y - p.yError);
            highY = std::max(highY, p.y + p.yError);
        }
        if (series)
            bars.append(std::pair{series, errors});
    }
    QAbstractAxis* x =
        makeAxis(logX, lowX, highX, measureName(m_x->measure(), m_species));
    QAbstractAxis* y =
        makeAxis(logY, lowY, highY, measureName(m_y->measure(), m_species));
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);
    for (const auto& [series, errors] : std::as_const(bars)) {
        series->attachAxis(x);
        series->attachAxis(y);
        m_errorBars->add(series, errors);
    }
}

void ScatterPlotWindow::pointAt(QScatterSeries* series, const QPointF& at)
{
    // The point of the series nearest where it was clicked, on the screen.
    const QPointF clicked = chart()->mapToPosition(at, series);
    const QString name = series->property("regionClass").toString();
    const ScatterPoint* nearest = nullptr;
    double best = INFINITY;
    for (const ScatterPoint& p : std::as_const(m_points)) {
        if (p.regionClass.trimmed() != name)
            continue;
        const QPointF d = chart()->mapToPosition(QPointF(p.x, p.y), series) - clicked;
        if (const double dd = QPointF::dotProduct(d, d); dd < best) {
            best = dd;
            nearest = &p;
        }
    }
    if (nearest)
        emit pointClicked(nearest->row, nearest->region);
}

} // namespace isolumen
