#include "ui/alignmentwindow.h"

#include "core/model/alignlayers.h"
#include "core/model/alignment.h"

#include <QChart>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

namespace {

// How a layer's shift came about, as the table says it.
QString originText(ShiftOrigin origin)
{
    if (origin == ShiftOrigin::Measured)
        return QStringLiteral("measured");
    if (origin == ShiftOrigin::Hand)
        return QStringLiteral("set by hand");
    return QStringLiteral("interpolated: ") + interpolationReason(origin);
}

} // namespace

AlignmentWindow::AlignmentWindow(const Alignment& alignment, const QString& referenceName,
                                 double micronsPerPixel, QWidget* parent)
    : PlotWindow(QStringLiteral("Alignment"), parent)
{
    QList<QVariantList> rows;
    auto* path = new QLineSeries;
    path->setName(QStringLiteral("Drift of %1 against layer %2 (px)")
                      .arg(referenceName.trimmed())
                      .arg(alignment.referenceLayer));
    auto* points = new QScatterSeries;
    points->setMarkerSize(6);
    for (size_t i = 0; i < alignment.shifts.size(); ++i) {
        const Shift& s = alignment.shifts[i];
        const int layer = int(i + 1);
        rows << QVariantList{layer,
                             s.dx,
                             s.dy,
                             s.dx * micronsPerPixel,
                             s.dy * micronsPerPixel,
                             alignment.confidence(layer),
                             originText(alignment.origin(layer))};
        path->append(s.dx, s.dy);
        points->append(s.dx, s.dy);
    }
    setTable({QStringLiteral("layer"), QStringLiteral("dx (px)"), QStringLiteral("dy (px)"),
              QStringLiteral("dx (µm)"), QStringLiteral("dy (µm)"), QStringLiteral("confidence"),
              QStringLiteral("shift")},
             rows);
    QChart* c = chart();
    c->addSeries(path);
    c->addSeries(points);
    c->legend()->markers(points).first()->setVisible(false);
    auto* x = new QValueAxis;
    x->setTitleText(QStringLiteral("dx (px)"));
    auto* y = new QValueAxis;
    y->setTitleText(QStringLiteral("dy (px), down"));
    y->setReverse(true); // shown y runs down, as on the picture
    c->addAxis(x, Qt::AlignBottom);
    c->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s :
         {static_cast<QAbstractSeries*>(path), static_cast<QAbstractSeries*>(points)}) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
}
