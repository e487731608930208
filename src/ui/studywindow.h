#pragma once

#include "core/stats/studytable.h"
#include "ui/menu.h"

#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace isolumen {

class Acquisition;
class ScatterPlotWindow;

class AnalysisSession;

// The "Study" window: the table of a study, one row per acquisition, region and species (or
// ratio), sortable by any column and filtered by file, treatment and class. Selecting a row
// opens its input through `openRow`. Ratios typed in its field ("2/1, 4/3+4", species numbers
// as --ratio takes them) are measured through `measure`, which gives the new table or nothing
// (cancelled). "Scatter Plot" plots its regions, one point per acquisition and region.
class StudyWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Filter { File, Treatment, Class };
    using Measure = std::function<std::optional<StudyTable>(const QStringList& ratios)>;

    StudyWindow(StudyTable table, std::function<void(const StudyRow&)> openRow, Measure measure,
                QWidget* parent = nullptr);

    const StudyTable& study() const { return m_table; }
    QTableView* view() const { return m_view; }
    QLineEdit* filterField(Filter filter) const { return m_filters[std::size_t(filter)]; }
    QLineEdit* ratiosField() const { return m_ratios; }
    // The rows shown, in the order shown, as indices into study().rows.
    QList<int> shownRows() const;
    // "Scatter Plot": the window, kept up to date with the table.
    ScatterPlotWindow* showScatterPlot();

private:
    void rowChosen();
    void fillTable();
    void measureRatios();

    StudyTable m_table;
    std::function<void(const StudyRow&)> m_openRow;
    Measure m_measure;
    QLineEdit* m_ratios;
    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_shown;
    QTableView* m_view;
    std::array<QLineEdit*, 3> m_filters{};
    QLabel* m_problems = nullptr; // the inputs left out
    QPointer<ScatterPlotWindow> m_scatterPlot;
    StudyRegions m_regions; // what the scatter plot shows
};

// File > "Open Study...": asks for analysis files, measures them as a study off the GUI thread
// and shows the table; a row chosen there opens its analysis with its region selected.
class StudyCommands
{
public:
    StudyCommands(Acquisition& acquisition, AnalysisSession& session, QWidget* dialogParent);
    ~StudyCommands();
    StudyCommands(const StudyCommands&) = delete;
    StudyCommands& operator=(const StudyCommands&) = delete;

    // What measures the study: the command line's own, given by the application.
    void setRunner(StudyRunner runner) { m_runner = std::move(runner); }
    // Opens the study of these inputs; the window, or null when cancelled or nothing measured.
    StudyWindow* openStudy(const QStringList& inputs);

private:
    // The study of the inputs with the ratios, off the GUI thread; nothing when cancelled.
    std::optional<StudyTable> measure(const QStringList& inputs, const QStringList& ratios);
    void openRow(const StudyRow& row);

    Acquisition& m_acquisition;
    AnalysisSession& m_session;
    QWidget* m_dialogParent;
    StudyRunner m_runner;
    QString m_openInput; // the input whose acquisition is open, opened from a row
    QMetaObject::Connection m_fileChange;
    MenuCommand m_command;
};

} // namespace isolumen
