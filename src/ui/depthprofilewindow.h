#pragma once

#include "core/stats/profiles.h"
#include "ui/plotwindow.h"

#include <QMap>
#include <QVariantList>
#include <array>
#include <utility>

class QAbstractAxis;
class QComboBox;
class QLineSeries;

namespace isolumen {

class ErrorBars;

// The "Depth Profile" window: for the regions it is given, the sum or the mean of each species
// per layer, or each ratio per layer (its ratio of sums), with Poisson error bars (the square
// root of the counts; for a ratio R sqrt(1/N + 1/D)), and the table behind the curves: a row
// per layer, a value and an error column per curve. Curves are named "<region name> · <species
// or ratio>", each in its own colour; beyond eight, each region's curves also get a marker shape
// of their own. Counts are plotted from 0 unless one is negative. It owns the statistics it was
// given.
class DepthProfileWindow : public PlotWindow
{
    Q_OBJECT

public:
    enum class Quantity { Sum, Mean, Ratio };

    explicit DepthProfileWindow(QWidget* parent = nullptr);

    // rows: a row per region, source and layer (regionTable with one range per layer);
    // regionNames by region id; sources and sourceNames side by side. Plots them as chosen.
    void setRows(const QList<StatsRow>& rows, const QMap<int, QString>& regionNames,
                 const QList<PlaneSource>& sources, const QStringList& sourceNames);

    QComboBox* quantityBox() const { return m_quantity; }
    void plot(Quantity quantity);

private:
    // A series of a curve's run of layers with values; runs after the first take its colour
    // and no legend entry.
    QLineSeries* addRun(QLineSeries* first, const QString& name, QAbstractAxis* x,
                        QAbstractAxis* y);
    // The series of the curve of a region (key.first) and source (key.second), the index-th
    // plotted, over the layers first..last; its columns are added to headers and table.
    void drawCurve(const QList<std::array<double, 3>>& points, std::pair<int, int> key,
                   qsizetype index, bool withMarkers, std::pair<int, int> layers, QAbstractAxis* x,
                   QAbstractAxis* y, QStringList& headers, QList<QVariantList>& table);

    QList<StatsRow> m_rows;
    QMap<int, QString> m_regionNames;
    QList<PlaneSource> m_sources;
    QStringList m_sourceNames;
    QComboBox* m_quantity = nullptr;
    ErrorBars* m_errorBars = nullptr;
};

} // namespace isolumen
