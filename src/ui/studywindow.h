#pragma once

#include "core/stats/studytable.h"
#include "ui/menu.h"

#include <QWidget>
#include <array>
#include <functional>

class Acquisition;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace isolumen {

class AnalysisSession;

// The "Study" window: the table of a study, one row per acquisition, region and species (or
// ratio), sortable by any column and filtered by file, treatment and class. Selecting a row
// opens its input through `openRow`.
class StudyWindow : public QWidget
{
    Q_OBJECT

public:
    enum class Filter { File, Treatment, Class };

    StudyWindow(StudyTable table, std::function<void(const StudyRow&)> openRow,
                QWidget* parent = nullptr);

    const StudyTable& study() const { return m_table; }
    QTableView* view() const { return m_view; }
    QLineEdit* filterField(Filter filter) const { return m_filters[std::size_t(filter)]; }
    // The rows shown, in the order shown, as indices into study().rows.
    QList<int> shownRows() const;

private:
    void rowChosen();

    StudyTable m_table;
    std::function<void(const StudyRow&)> m_openRow;
    QStandardItemModel* m_model;
    QSortFilterProxyModel* m_shown;
    QTableView* m_view;
    std::array<QLineEdit*, 3> m_filters{};
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
