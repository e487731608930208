#pragma once

#include "core/stats/statistics.h"
#include "ui/plotwindow.h"

class QAreaSeries;
class QComboBox;
class QLineSeries;
class QValueAxis;

namespace isolumen {

// The "Histogram" window: how many pixels of an image window have each value, over the whole
// picture or one region, with the window's display range marked as a band, and the table of
// the bins. Whoever opens it feeds it each new histogram; it owns what it draws.
class HistogramWindow : public PlotWindow
{
    Q_OBJECT

public:
    explicit HistogramWindow(QWidget* parent = nullptr);

    QComboBox* regionBox() const { return m_region; }
    // The choices of pixels: the whole picture, then one per region label. Keeps the region
    // chosen while it still exists.
    void setRegionChoices(const QStringList& labels);
    // -1 for the whole picture, else the region's index.
    int chosenRegion() const;

    QLineSeries* outline() const { return m_outline; }
    QAreaSeries* rangeBand() const { return m_band; }
    void setHistogram(const Histogram& histogram, double rangeMin, double rangeMax,
                      const QString& valueTitle);

signals:
    void regionChosen();

private:
    QComboBox* m_region = nullptr;
    QLineSeries* m_outline = nullptr;
    QAreaSeries* m_band = nullptr;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y = nullptr;
};

} // namespace isolumen
