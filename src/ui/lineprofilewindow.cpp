#include "ui/lineprofilewindow.h"

#include <QBoxLayout>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QSpinBox>
#include <QValueAxis>
#include <cmath>

namespace isolumen {

LineProfileWindow::LineProfileWindow(int width, QWidget* parent)
    : PlotWindow(QStringLiteral("Line Profile"), parent)
{
    m_width = new QSpinBox(this);
    m_width->setObjectName(QStringLiteral("width"));
    m_width->setRange(1, 999);
    m_width->setSuffix(QStringLiteral(" px"));
    m_width->setValue(width);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Width:"), this));
    controls->addWidget(m_width);
    controls->addStretch();
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertLayout(0, controls);
    connect(m_width, &QSpinBox::valueChanged, this, &LineProfileWindow::widthChosen);

    m_curve = new QLineSeries;
    m_x = new QValueAxis;
    m_x->setTitleText(QStringLiteral("Distance (µm)"));
    m_y = new QValueAxis;
    QChart* c = chart();
    c->addSeries(m_curve);
    c->addAxis(m_x, Qt::AlignBottom);
    c->addAxis(m_y, Qt::AlignLeft);
    m_curve->attachAxis(m_x);
    m_curve->attachAxis(m_y);
    setProfile({}, {});
}

void LineProfileWindow::setProfile(const LineProfile& profile, const QString& sourceTitle)
{
    QList<QPointF> points;
    QList<QVariantList> rows;
    double low = INFINITY, high = -INFINITY;
    for (size_t i = 0; i < profile.mean.size(); ++i) {
        rows << QVariantList{profile.distanceUm[i], profile.mean[i]};
        if (std::isnan(profile.mean[i]))
            continue; // a gap in the curve: no pixel across the line has a value there
        points << QPointF(profile.distanceUm[i], profile.mean[i]);
        low = std::min(low, profile.mean[i]);
        high = std::max(high, profile.mean[i]);
    }
    m_curve->replace(points);
    m_curve->setName(sourceTitle.isEmpty() ? QStringLiteral("Draw a line with the Line tool")
                                           : sourceTitle);
    m_y->setTitleText(QStringLiteral("Mean across the line"));
    const double length = profile.distanceUm.empty() ? 1 : profile.distanceUm.back();
    m_x->setRange(0, length > 0 ? length : 1);
    if (points.isEmpty()) {
        m_y->setRange(0, 1);
    } else {
        m_y->setRange(low - 0.05 * (high - low + 1), high + 0.05 * (high - low + 1));
        m_y->applyNiceNumbers();
    }
    setTable({QStringLiteral("distance (µm)"), QStringLiteral("mean")}, rows);
}

} // namespace isolumen
