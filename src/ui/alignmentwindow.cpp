#include "ui/alignmentwindow.h"

#include "core/model/alignlayers.h"
#include "core/model/alignment.h"
#include "core/model/stripes.h"

#include <QBoxLayout>
#include <QChart>
#include <QGridLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QScatterSeries>
#include <QTableWidget>
#include <QValueAxis>
#include <cmath>

namespace isolumen {

namespace {

// Columns of the table that hold the shift in pixels.
constexpr int kDxColumn = 1;
constexpr int kDyColumn = 2;
// The stripe pictures' size on screen at most (width) and at least (height).
constexpr int kStripeWidth = 256;
constexpr int kStripeHeight = 96;

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
                                 double micronsPerPixel, const LayerProfiles* profiles,
                                 Edited edited, QWidget* parent)
    : PlotWindow(QStringLiteral("Alignment"), parent), m_edited(std::move(edited))
{
    showShifts(alignment, micronsPerPixel);
    plotDrift(alignment, referenceName);
    letShiftsBeEdited();
    m_filling = false;
    if (profiles)
        addStripes(alignment, *profiles);
}

void AlignmentWindow::showShifts(const Alignment& alignment, double micronsPerPixel)
{
    QList<QVariantList> rows;
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
    }
    setTable({QStringLiteral("layer"), QStringLiteral("dx (px)"), QStringLiteral("dy (px)"),
              QStringLiteral("dx (µm)"), QStringLiteral("dy (µm)"), QStringLiteral("confidence"),
              QStringLiteral("shift")},
             rows);
}

void AlignmentWindow::plotDrift(const Alignment& alignment, const QString& referenceName)
{
    auto* path = new QLineSeries;
    path->setName(QStringLiteral("Drift of %1 against layer %2 (px)")
                      .arg(referenceName.trimmed())
                      .arg(alignment.referenceLayer));
    auto* points = new QScatterSeries;
    points->setMarkerSize(6);
    for (const Shift& s : alignment.shifts) {
        path->append(s.dx, s.dy);
        points->append(s.dx, s.dy);
    }
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

void AlignmentWindow::letShiftsBeEdited()
{
    // dx and dy in pixels are the shifts themselves; the rest follows from them.
    for (int r = 0; r < table()->rowCount(); ++r) {
        for (int c = 0; c < table()->columnCount(); ++c) {
            QTableWidgetItem* item = table()->item(r, c);
            if (item && c != kDxColumn && c != kDyColumn)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
        }
    }
    if (m_edited)
        table()->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    connect(table(), &QTableWidget::cellChanged, this, &AlignmentWindow::cellEdited);
}

void AlignmentWindow::cellEdited(int row, int column)
{
    if (m_filling || !m_edited || (column != kDxColumn && column != kDyColumn))
        return;
    // "." is the decimal point in every locale.
    bool okX = false;
    bool okY = false;
    const double dx = table()->item(row, kDxColumn)->text().trimmed().toDouble(&okX);
    const double dy = table()->item(row, kDyColumn)->text().trimmed().toDouble(&okY);
    if (okX && okY && std::isfinite(dx) && std::isfinite(dy))
        m_edited(row + 1, Shift{dx, dy});
}

void AlignmentWindow::addStripes(const Alignment& alignment,
                                 const LayerProfiles& profiles)
{
    const LayerProfiles after = alignedProfiles(profiles, alignment);
    auto* grid = new QGridLayout;
    const QList<std::pair<const char*, const std::vector<double>*>> pictures = {
        {"Mean row per layer, before", &profiles.meanRow},
        {"Mean column per layer, before", &profiles.meanColumn},
        {"Mean row per layer, aligned", &after.meanRow},
        {"Mean column per layer, aligned", &after.meanColumn}};
    for (int i = 0; i < pictures.size(); ++i) {
        const QImage picture =
            stripePicture(*pictures[i].second, profiles.side, profiles.layers);
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("stripes%1").arg(i));
        label->setToolTip(QLatin1String(pictures[i].first));
        // At least kStripeHeight pixels high, each layer the same whole number of rows.
        const int rows = std::max(1, kStripeHeight / std::max(1, profiles.layers));
        label->setPixmap(QPixmap::fromImage(picture.scaled(
            std::min(profiles.side, kStripeWidth), profiles.layers * rows)));
        grid->addWidget(new QLabel(QLatin1String(pictures[i].first), this), 0, i);
        grid->addWidget(label, 1, i);
        m_stripes << label;
    }
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(1, grid);
}

} // namespace isolumen
