#include "ui/histogramwindow.h"

#include <QAreaSeries>
#include <QBoxLayout>
#include <QChart>
#include <QComboBox>
#include <QLabel>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>

namespace isolumen {

HistogramWindow::HistogramWindow(QWidget* parent) : PlotWindow(QStringLiteral("Histogram"), parent)
{
    m_region = new QComboBox(this);
    m_region->setObjectName(QStringLiteral("pixels"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Pixels:"), this));
    controls->addWidget(m_region);
    controls->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(0, controls);
    setRegionChoices({});
    connect(m_region, &QComboBox::currentIndexChanged, this, &HistogramWindow::regionChosen);

    // The band goes in first, so that the outline is drawn over it.
    m_band = new QAreaSeries(new QLineSeries(this), new QLineSeries(this));
    m_band->setName(QStringLiteral("Display range"));
    m_band->setColor(QColor(255, 160, 0, 60));
    m_band->setBorderColor(QColor(255, 160, 0));
    m_outline = new QLineSeries;
    m_outline->setName(QStringLiteral("Pixels"));
    m_x = new QValueAxis;
    m_y = new QValueAxis;
    m_y->setTitleText(QStringLiteral("Pixels"));
    m_y->setLabelFormat(QStringLiteral("%g"));
    QChart* c = chart();
    c->addAxis(m_x, Qt::AlignBottom);
    c->addAxis(m_y, Qt::AlignLeft);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(m_band), static_cast<QAbstractSeries*>(m_outline)}) {
        c->addSeries(s);
        s->attachAxis(m_x);
        s->attachAxis(m_y);
    }
}

void HistogramWindow::setRegionChoices(const QStringList& labels)
{
    const int chosen = m_region->currentIndex();
    const QSignalBlocker quiet(m_region);
    m_region->clear();
    m_region->addItem(QStringLiteral("Whole picture"));
    m_region->addItems(labels);
    m_region->setCurrentIndex(chosen > 0 && chosen < m_region->count() ? chosen : 0);
}

int HistogramWindow::chosenRegion() const
{
    return m_region->currentIndex() - 1;
}

void HistogramWindow::setHistogram(const Histogram& histogram, double rangeMin, double rangeMax,
                                   const QString& valueTitle)
{
    // The outline of the bars: up and down at every bin edge.
    const double width = (histogram.to - histogram.from) / double(histogram.counts.size());
    QList<QPointF> outline{QPointF(histogram.from, 0)};
    QList<QVariantList> rows;
    qint64 most = 1;
    for (size_t i = 0; i < histogram.counts.size(); ++i) {
        const double from = histogram.from + double(i) * width;
        const double count = double(histogram.counts[i]);
        outline << QPointF(from, count) << QPointF(from + width, count);
        rows << QVariantList{from, from + width, histogram.counts[i]};
        most = std::max(most, histogram.counts[i]);
    }
    outline << QPointF(histogram.to, 0);
    m_outline->replace(outline);
    // At least 5 high, so that the axis' ticks fall on whole pixel counts.
    m_y->setRange(0, std::max(5.0, double(most) * 1.05));
    m_y->applyNiceNumbers();
    const double top = m_y->max();
    m_band->lowerSeries()->replace({QPointF(rangeMin, 0), QPointF(rangeMax, 0)});
    m_band->upperSeries()->replace({QPointF(rangeMin, top), QPointF(rangeMax, top)});
    m_x->setTitleText(valueTitle);
    const double left = std::min(histogram.from, rangeMin);
    const double right = std::max(histogram.to, rangeMax);
    const double margin = right > left ? 0.02 * (right - left) : 1;
    m_x->setRange(left - margin, right + margin);
    m_x->applyNiceNumbers();
    setTable({QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("pixels")}, rows);
}

} // namespace isolumen
