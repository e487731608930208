#pragma once

#include "core/model/acquisition.h"
#include "core/stats/profiles.h"
#include "ui/tabledata.h"

#include <QSet>
#include <QTimer>
#include <QWidget>
#include <functional>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;
class QToolBar;

namespace isolumen {

// The "Regions" window: a live table of every region's statistics in the plane of every species,
// and of every ratio that an image window shows, over the acquisition's current layer or sum:
// pixels, area, sum, mean, sample standard deviation, minimum and maximum; for a ratio the ratio
// of sums with its Poisson error, and the mean and spread of the pixel ratios (over the pixels
// that have one). The table sorts by any column; the name and class columns are editable; rows
// selected in the table select their regions on the image windows and back. A tool row offers the
// drawing tools; the table can be copied as tab-separated text or exported as CSV. Below it, a
// legend gives each class's colour.
//
// It keeps the planes it was given by the acquisition (which keeps sums), so that a region being
// dragged only has its own statistics recomputed, at most every few tens of milliseconds. It owns
// those planes and the rows made from them.
class RegionsWindow : public QWidget
{
    Q_OBJECT

public:
    // ratioSources gives the ratios the image windows show.
    RegionsWindow(Acquisition& acquisition, std::function<QList<PlaneSource>()> ratioSources,
                  QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The table as copied and exported: a row per region and source, numbers exact.
    TableData tableData() const;
    // Brings the table up to date now instead of at the next tick.
    void refresh();

protected:
    void changeEvent(QEvent* event) override;

private:
    // The parts of the window, top to bottom, and the refresh on every change of the file.
    QToolBar* makeToolBar();
    QTableWidget* makeTable();
    QHBoxLayout* makeButtonRow();
    void followAcquisition();
    void planesOutdated();
    void regionChanged(int index);
    void schedule();
    // The planes of every source under the current selection; false when cancelled or failed,
    // which keeps the planes held before.
    bool loadPlanes(const QList<PlaneSource>& sources);
    QList<PlaneSource> currentSources() const;
    void fillTable();
    void fillRow(int row, const QVariantList& cells);
    // The index of the region a row of the table is of, or -1.
    int regionIndexOfRow(int row) const;
    void nameEdited(QTableWidgetItem* item);
    void tableSelectionChanged();
    void showSelection();
    // Hides the rows of regions whose class is not the one typed in the class field.
    void filterRows();
    // The legend of class colours under the table; hidden while no region has a class.
    void showLegend();

    Acquisition& m_acquisition;
    QLineEdit* m_classFilter = nullptr;
    QLabel* m_legend = nullptr;
    std::function<QList<PlaneSource>()> m_ratioSources;
    QList<PlaneSource> m_sources;
    QList<PlaneResult> m_planes; // one per source
    int m_firstLayer = 1;        // the layers of the planes
    int m_lastLayer = 1;
    bool m_planesOutdated = true;
    QList<QList<StatsRow>> m_rows; // per region, one per source
    QSet<int> m_outdatedRegions;
    bool m_allRegionsOutdated = true;
    QTimer m_tick;
    bool m_refreshing = false;
    bool m_filling = false; // the table is being filled: its change signals mean nothing
    bool m_syncingSelection = false;
    QTableWidget* m_table = nullptr;
};

} // namespace isolumen
