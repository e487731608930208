#pragma once

#include "core/stats/regionmeasures.h"

#include <QStringList>
#include <QWidget>

class QComboBox;

namespace isolumen {

// Chooses a figure of a region: a species, or a ratio of two, and a statistic that fits it (the
// mean or sum of a species; the mean of the pixel ratios or the ratio of sums of a ratio). Used
// by the rules of "Classify Regions..." and the axes of the scatter plot.
class MeasureChooser : public QWidget
{
    Q_OBJECT

public:
    explicit MeasureChooser(const QStringList& species, QWidget* parent = nullptr);

    RegionMeasure measure() const;
    void setMeasure(const RegionMeasure& measure);

signals:
    void changed();

private:
    // Offers the statistics of the source chosen, keeping the one chosen where it fits.
    void offerStatistics();

    QComboBox* m_statistic;
    QComboBox* m_species;
    QComboBox* m_denominator; // first item: no ratio
};

} // namespace isolumen
