#pragma once

#include "core/stats/profiles.h"
#include "ui/plotwindow.h"

class ErrorBars;
class QAbstractAxis;
class QComboBox;
class QLineSeries;

// The "Depth Profile" window: for the regions it was opened on, the sum or the mean of each
// species per layer, or each ratio per layer (its ratio of sums), with Poisson error bars
// (the square root of the counts; for a ratio R sqrt(1/N + 1/D)), and the table behind the
// curves: a row per layer, a value and an error column per curve. It owns the statistics it
// was given.
class DepthProfileWindow : public PlotWindow
{
    Q_OBJECT

public:
    enum class Quantity { Sum, Mean, Ratio };

    // rows: a row per region, source and layer (regionTable with one range per layer), regions
    // counted from 1 in regionNames; sources and sourceNames side by side.
    DepthProfileWindow(const QList<StatsRow>& rows, const QStringList& regionNames,
                       const QList<PlaneSource>& sources, const QStringList& sourceNames,
                       QWidget* parent = nullptr);

    QComboBox* quantityBox() const { return m_quantity; }
    void plot(Quantity quantity);

private:
    // A series of a curve's run of layers with values; runs after the first take its colour
    // and no legend entry.
    QLineSeries* addRun(QLineSeries* first, const QString& name, QAbstractAxis* x,
                        QAbstractAxis* y);

    QList<StatsRow> m_rows;
    QStringList m_regionNames;
    QList<PlaneSource> m_sources;
    QStringList m_sourceNames;
    QComboBox* m_quantity = nullptr;
    ErrorBars* m_errorBars = nullptr;
};
