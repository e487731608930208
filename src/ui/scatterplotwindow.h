#pragma once

#include "core/stats/regionmeasures.h"
#include "ui/plotwindow.h"

class QCheckBox;
class QScatterSeries;

namespace isolumen {

class ErrorBars;
class MeasureChooser;

// The "Scatter Plot" window: a point per region, one figure of it on each axis (chosen below the
// chart: the mean or sum of a species, or the mean or ratio of sums of a ratio), a ratio of sums
// with its Poisson error bars, each axis linear or logarithmic (points at or below 0 are left
// off a logarithmic axis, not out of the table), the points in their class's colour (the
// outlines' colours; grey without a class), and the table of the values: id, class, x and its
// error, y and its error. Clicking a point tells which region it is. It plots the rows it is
// given (regions of one acquisition or of many) and owns nothing else.
class ScatterPlotWindow : public PlotWindow
{
    Q_OBJECT

public:
    explicit ScatterPlotWindow(const QStringList& species, QWidget* parent = nullptr);

    RegionMeasure measure(Qt::Orientation axis) const;
    void setMeasure(Qt::Orientation axis, const RegionMeasure& measure);
    void setLogScale(Qt::Orientation axis, bool log);

    // Plots the regions' rows, which hold the sources of both axes' measures.
    void setRegions(const QList<RegionRows>& rows);
    const QList<ScatterPoint>& points() const { return m_points; }
    // The series of a class ("" for the points without one), or null.
    QScatterSeries* classSeries(const QString& regionClass) const;

signals:
    // An axis's figure changed: the window needs rows holding its source.
    void measuresChosen();
    // A point was clicked: the place of its region in the rows given, and the region's id.
    void pointClicked(int row, int region);

private:
    void plot();
    QScatterSeries* addClass(const QString& name, const QColor& colour);
    void pointAt(QScatterSeries* series, const QPointF& at);

    QStringList m_species;
    MeasureChooser* m_x;
    MeasureChooser* m_y;
    QCheckBox* m_logX;
    QCheckBox* m_logY;
    ErrorBars* m_errorBars;
    QList<RegionRows> m_rows;
    QList<ScatterPoint> m_points;
};

} // namespace isolumen
