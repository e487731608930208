#include "ui/studywindow.h"

#include "core/model/acquisition.h"
#include "core/progress.h"
#include "ui/analysissession.h"
#include "ui/dialogs.h"
#include "ui/messagebox.h"
#include "ui/regiontools.h"
#include "ui/scatterplotwindow.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace isolumen {

namespace {

// The rows whose file, treatment and class contain what their fields hold (any case).
class StudyFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    // The model columns the fields filter, in the order of StudyWindow::Filter.
    std::array<int, 3> columns{-1, -1, -1};
    std::array<QString, 3> texts;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        for (std::size_t f = 0; f < columns.size(); ++f) {
            if (texts[f].isEmpty() || columns[f] < 0)
                continue;
            const QString cell = sourceModel()->index(row, columns[f], parent).data().toString();
            if (!cell.contains(texts[f], Qt::CaseInsensitive))
                return false;
        }
        return true;
    }
};

// A cell as the table shows and sorts it: numbers as numbers, so that 10 sorts after 9.
QStandardItem* itemOf(const TableCell& cell)
{
    auto* item = new QStandardItem;
    if (const QString* text = std::get_if<QString>(&cell))
        item->setText(*text);
    else if (const double* number = std::get_if<double>(&cell))
        item->setData(*number, Qt::DisplayRole);
    item->setEditable(false);
    return item;
}

constexpr int kRowIndexRole = Qt::UserRole + 1;

} // namespace

StudyWindow::StudyWindow(StudyTable table, std::function<void(const StudyRow&)> openRow,
                         Measure measure, QWidget* parent)
    : QWidget(parent, Qt::Window), m_table(std::move(table)), m_openRow(std::move(openRow)),
      m_measure(std::move(measure)), m_ratios(new QLineEdit(this)),
      m_model(new QStandardItemModel(this)), m_shown(new StudyFilter(this)),
      m_view(new QTableView(this))
{
    setObjectName(QStringLiteral("studyWindow"));
    setWindowTitle(QStringLiteral("Study"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* filter = static_cast<StudyFilter*>(m_shown);
    filter->setSourceModel(m_model);
    m_view->setModel(m_shown);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(-1, Qt::AscendingOrder); // input order until a header is clicked
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->verticalHeader()->hide();
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &StudyWindow::rowChosen);

    auto* fields = new QHBoxLayout;
    const std::array<QString, 3> names{QStringLiteral("file"), QStringLiteral("treatment"),
                                       QStringLiteral("class")};
    const std::array<QString, 3> everything{QStringLiteral("all files"),
                                            QStringLiteral("all treatments"),
                                            QStringLiteral("all classes")};
    for (std::size_t f = 0; f < names.size(); ++f) {
        auto* field = new QLineEdit(this);
        field->setObjectName(names[f] + QStringLiteral("Filter"));
        field->setPlaceholderText(everything[f]);
        field->setClearButtonEnabled(true);
        connect(field, &QLineEdit::textChanged, this, [filter, f](const QString& text) {
            filter->texts[f] = text.trimmed();
            filter->invalidate();
        });
        fields->addWidget(field);
        m_filters[f] = field;
    }
    m_ratios->setObjectName(QStringLiteral("studyRatios"));
    m_ratios->setPlaceholderText(QStringLiteral("ratios, as 2/1, 4/3+4"));
    m_ratios->setToolTip(QStringLiteral("Ratios of species numbered from 1, each term a species "
                                        "or a sum; Return measures them"));
    connect(m_ratios, &QLineEdit::returnPressed, this, &StudyWindow::measureRatios);
    fields->addWidget(m_ratios);
    auto* scatter = new QPushButton(QStringLiteral("Scatter Plot"), this);
    scatter->setObjectName(QStringLiteral("studyScatterPlot"));
    connect(scatter, &QPushButton::clicked, this, &StudyWindow::showScatterPlot);
    fields->addWidget(scatter);
    m_problems = new QLabel(this);
    m_problems->setObjectName(QStringLiteral("studyProblems"));
    m_problems->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(m_view);
    layout->addWidget(m_problems);
    fillTable();
    resize(900, 500);
}

void StudyWindow::fillTable()
{
    m_model->clear();
    m_model->setHorizontalHeaderLabels(m_table.columns);
    for (qsizetype r = 0; r < m_table.rows.size(); ++r) {
        QList<QStandardItem*> items;
        for (const TableCell& cell : m_table.rows[r].cells)
            items << itemOf(cell);
        items.first()->setData(int(r), kRowIndexRole);
        m_model->appendRow(items);
    }
    auto* filter = static_cast<StudyFilter*>(m_shown);
    filter->columns = {int(m_table.columns.indexOf(QStringLiteral("file"))),
                       int(m_table.columns.indexOf(QStringLiteral("treatment"))),
                       int(m_table.columns.indexOf(QStringLiteral("class")))};
    filter->invalidate();
    m_problems->setText(
        m_table.problems.isEmpty()
            ? QString()
            : QStringLiteral("Left out: %1").arg(m_table.problems.join(QStringLiteral("; "))));
    m_problems->setVisible(!m_table.problems.isEmpty());
    m_regions = studyRegions(m_table);
    if (m_scatterPlot)
        m_scatterPlot->setRegions(m_regions.regions);
}

void StudyWindow::measureRatios()
{
    if (!m_measure)
        return;
    QStringList ratios;
    for (const QString& text : m_ratios->text().split(QLatin1Char(','), Qt::SkipEmptyParts))
        ratios << text.trimmed();
    std::optional<StudyTable> measured = m_measure(ratios);
    if (!measured)
        return; // cancelled: the table stays
    m_table = std::move(*measured);
    fillTable();
}

ScatterPlotWindow* StudyWindow::showScatterPlot()
{
    if (m_scatterPlot) {
        m_scatterPlot->raise();
        return m_scatterPlot;
    }
    using Statistic = RegionMeasure::Statistic;
    m_scatterPlot = new ScatterPlotWindow(m_regions.labels);
    m_scatterPlot->setAttribute(Qt::WA_DeleteOnClose);
    // At first: the first two ratios measured, else the means of the first two species.
    QList<RegionMeasure> ratios;
    for (const RegionRows& region : std::as_const(m_regions.regions)) {
        for (const StatsRow& row : region.rows) {
            const std::optional<RatioDefinition>& r = row.source.ratio;
            const RegionMeasure m{Statistic::RatioOfSums, r ? r->numerator.first() : 0,
                                  r ? std::optional(r->denominator.first()) : std::nullopt};
            if (r && r->numerator.size() == 1 && r->denominator.size() == 1 && !ratios.contains(m))
                ratios << m;
        }
    }
    m_scatterPlot->setMeasure(Qt::Horizontal,
                              ratios.value(0, RegionMeasure{Statistic::Mean, 0, std::nullopt}));
    m_scatterPlot->setMeasure(
        Qt::Vertical,
        ratios.value(
            1, RegionMeasure{Statistic::Mean, m_regions.labels.size() > 1 ? 1 : 0, std::nullopt}));
    m_scatterPlot->setRegions(m_regions.regions);
    connect(m_scatterPlot, &ScatterPlotWindow::pointClicked, this, [this](int row, int) {
        if (m_openRow && row >= 0 && row < m_regions.firstRows.size())
            m_openRow(m_table.rows[m_regions.firstRows[row]]);
    });
    m_scatterPlot->show();
    return m_scatterPlot;
}

QList<int> StudyWindow::shownRows() const
{
    QList<int> rows;
    for (int r = 0; r < m_shown->rowCount(); ++r)
        rows << m_shown->index(r, 0).data(kRowIndexRole).toInt();
    return rows;
}

void StudyWindow::rowChosen()
{
    const QModelIndexList chosen = m_view->selectionModel()->selectedRows();
    if (chosen.isEmpty() || !m_openRow)
        return;
    const int row = chosen.first().data(kRowIndexRole).toInt();
    m_openRow(m_table.rows[row]);
}

StudyCommands::StudyCommands(Acquisition& acquisition, AnalysisSession& session,
                             QWidget* dialogParent)
    : m_acquisition(acquisition), m_session(session), m_dialogParent(dialogParent)
{
    // Another file opened by any other way is no longer the row's.
    m_fileChange = QObject::connect(&acquisition, &Acquisition::fileChanged, dialogParent,
                                    [this] { m_openInput.clear(); });
    m_command = Menu::instance().setCommand(QStringLiteral("fileOpenStudy"), [this] {
        const QStringList inputs =
            Dialogs::openFiles(m_dialogParent, QStringLiteral("Open Study"),
                               QStringLiteral("Analyses (*.isolumen);;All files (*)"));
        if (!inputs.isEmpty())
            openStudy(inputs);
    });
}

StudyCommands::~StudyCommands()
{
    QObject::disconnect(m_fileChange);
}

StudyWindow* StudyCommands::openStudy(const QStringList& inputs)
{
    std::optional<StudyTable> table = measure(inputs, {});
    if (!table)
        return nullptr;
    if (table->rows.isEmpty()) {
        showMessage(QStringLiteral("No input could be measured: %1")
                        .arg(table->problems.join(QStringLiteral("; "))));
        return nullptr;
    }
    auto* window = new StudyWindow(
        std::move(*table), [this](const StudyRow& row) { openRow(row); },
        [this, inputs](const QStringList& ratios) { return measure(inputs, ratios); });
    window->show();
    return window;
}

std::optional<StudyTable> StudyCommands::measure(const QStringList& inputs,
                                                 const QStringList& ratios)
{
    if (!m_runner)
        return std::nullopt;
    std::optional<StudyTable> table;
    const bool done = Dialogs::runLongWork(m_dialogParent, QStringLiteral("Measuring the study..."),
                                           [&](Progress& progress) {
                                               table = m_runner(inputs, ratios, progress);
                                               return table.has_value();
                                           });
    return done ? table : std::nullopt;
}

void StudyCommands::openRow(const StudyRow& row)
{
    if (row.input != m_openInput || !m_acquisition.isOpen()) {
        m_session.openAnalysisFile(row.input);
        if (!m_acquisition.isOpen())
            return;
        m_openInput = row.input;
    }
    constexpr int kRegionColumn = 2; // after file and treatment
    const double* id =
        row.cells.size() > kRegionColumn ? std::get_if<double>(&row.cells[kRegionColumn]) : nullptr;
    const QList<Region>& regions = m_acquisition.regions();
    for (int i = 0; id && i < regions.size(); ++i) {
        if (regions[i].id == int(*id)) {
            RegionTools::instance().setSelection({i});
            return;
        }
    }
}

} // namespace isolumen
