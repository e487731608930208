#include "ui/regionswindow.h"

#include "core/progress.h"
#include "core/render/classcolours.h"
#include "ui/dialogs.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regiontools.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QEvent>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

namespace isolumen {

namespace {

constexpr int kIdColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kClassColumn = 2;
// The id column's items hold the row's region id and source (its place in the sources), so that
// a sorted table still knows what each row is.
constexpr int kIdRole = Qt::UserRole;
constexpr int kSourceRole = Qt::UserRole + 1;
// Every item holds its cell's value, which sorting compares.
constexpr int kValueRole = Qt::UserRole + 2;
// Updates while a region is dragged come at most this often.
constexpr int kTickMs = 40;

QString layersText(int first, int last)
{
    return first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
}

// A cell that sorts by its value: numbers as numbers (no value last), texts as the locale
// orders them.
class ValueItem : public QTableWidgetItem
{
public:
    bool operator<(const QTableWidgetItem& other) const override
    {
        const QVariant a = data(kValueRole), b = other.data(kValueRole);
        if (TableData::isNumber(a) && TableData::isNumber(b)) {
            const double x = a.toDouble(), y = b.toDouble();
            return std::isnan(y) ? !std::isnan(x) : x < y;
        }
        return QString::localeAwareCompare(text(), other.text()) < 0;
    }
};

qint64 rowKey(int regionId, int source)
{
    return (qint64(regionId) << 20) | source;
}

} // namespace

RegionsWindow::RegionsWindow(Acquisition& acquisition,
                             std::function<QList<PlaneSource>()> ratioSources, QWidget* parent)
    : QWidget(parent, Qt::Window), m_acquisition(acquisition),
      m_ratioSources(std::move(ratioSources))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("regionsWindow"));
    setWindowTitle(QStringLiteral("Regions"));
    resize(820, 300);

    QToolBar* tools = makeToolBar();
    QTableWidget* table = makeTable();
    QHBoxLayout* buttons = makeButtonRow();
    // Which colour the outlines of each class are drawn in.
    m_legend = new QLabel(this);
    m_legend->setObjectName(QStringLiteral("classLegend"));
    m_legend->setTextFormat(Qt::RichText);
    m_legend->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tools);
    layout->addWidget(table);
    layout->addWidget(m_legend);
    layout->addLayout(buttons);
    connect(&RegionTools::instance(), &RegionTools::selectionChanged, this,
            &RegionsWindow::showSelection);
    followAcquisition();
    refresh();
}

QToolBar* RegionsWindow::makeToolBar()
{
    auto* tools = new QToolBar(this);
    for (const char* name : {"regionToolSelect", "regionToolRectangle", "regionToolEllipse",
                             "regionToolPolygon", "regionToolFreehand", "regionToolLine"})
        tools->addAction(Menu::instance().item(QLatin1String(name)));
    return tools;
}

QTableWidget* RegionsWindow::makeTable()
{
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("table"));
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    // Sorted by id until a header is clicked; rows of one region keep their order of sources.
    m_table->horizontalHeader()->setSortIndicator(kIdColumn, Qt::AscendingOrder);
    m_table->setSortingEnabled(true);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    connect(m_table, &QTableWidget::itemChanged, this, &RegionsWindow::nameEdited);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            &RegionsWindow::tableSelectionChanged);
    return m_table;
}

QHBoxLayout* RegionsWindow::makeButtonRow()
{
    auto* buttons = new QHBoxLayout;
    auto* exportButton = new QPushButton(QStringLiteral("Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("exportCsv"));
    auto* copyButton = new QPushButton(QStringLiteral("Copy"), this);
    copyButton->setObjectName(QStringLiteral("copy"));
    buttons->addWidget(exportButton);
    buttons->addWidget(copyButton);
    buttons->addStretch();
    connect(exportButton, &QPushButton::clicked, this,
            [this] { tableData().exportCsv(this, windowTitle()); });
    connect(copyButton, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(tableData().tabSeparated()); });
    // Only the rows of the regions of one class, when a class is typed here.
    m_classFilter = new QLineEdit(this);
    m_classFilter->setObjectName(QStringLiteral("classFilter"));
    m_classFilter->setPlaceholderText(QStringLiteral("all classes"));
    m_classFilter->setClearButtonEnabled(true);
    buttons->addWidget(new QLabel(QStringLiteral("Class:"), this));
    buttons->addWidget(m_classFilter);
    connect(m_classFilter, &QLineEdit::textChanged, this, &RegionsWindow::filterRows);
    return buttons;
}

void RegionsWindow::followAcquisition()
{
    m_tick.setSingleShot(true);
    m_tick.setInterval(kTickMs);
    connect(&m_tick, &QTimer::timeout, this, &RegionsWindow::refresh);
    for (auto signal :
         {&Acquisition::fileChanged, &Acquisition::layersChanged, &Acquisition::correctionsChanged,
          &Acquisition::alignmentChanged, &Acquisition::excludedLayersChanged})
        connect(&m_acquisition, signal, this, &RegionsWindow::planesOutdated);
    connect(&m_acquisition, &Acquisition::fileChanged, this, [this] { m_planes.clear(); });
    connect(&m_acquisition, &Acquisition::regionsChanged, this, &RegionsWindow::regionChanged);
}

void RegionsWindow::planesOutdated()
{
    m_planesOutdated = true;
    schedule();
}

void RegionsWindow::regionChanged(int index)
{
    if (index < 0)
        m_allRegionsOutdated = true;
    else
        m_outdatedRegions.insert(index);
    schedule();
}

void RegionsWindow::schedule()
{
    // Not restarted by further changes: a drag gets an update every tick, not only at its end.
    if (!m_tick.isActive())
        m_tick.start();
}

void RegionsWindow::changeEvent(QEvent* event)
{
    // A ratio window may have opened or closed while another window was in front.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() &&
        currentSources() != m_sources)
        schedule();
    QWidget::changeEvent(event);
}

QList<PlaneSource> RegionsWindow::currentSources() const
{
    QList<PlaneSource> sources;
    for (int s = 0; s < m_acquisition.speciesCount(); ++s)
        sources << PlaneSource{s, std::nullopt};
    return sources + m_ratioSources();
}

bool RegionsWindow::loadPlanes(const QList<PlaneSource>& sources)
{
    QList<PlaneRequest> requests;
    bool quick = true;
    for (const PlaneSource& s : sources) {
        requests << m_acquisition.request(s);
        quick = quick && m_acquisition.isQuick(requests.last());
    }
    QList<PlaneResult> planes;
    QString error;
    bool cancelled = false;
    auto load = [&](Progress* progress) {
        for (const PlaneRequest& r : requests) {
            Result<PlaneResult> result = m_acquisition.plane(r, progress);
            if (!result) {
                error = result.error().message;
                cancelled = isCancelled(progress);
                return false;
            }
            planes << *result;
        }
        return true;
    };
    const bool done =
        quick ? load(nullptr)
              : Dialogs::runLongWork(this,
                                     QStringLiteral("Summing layers for the "
                                                    "region table..."),
                                     [&](Progress& progress) {
                                         progress.setTotal(m_acquisition.work(requests));
                                         return load(&progress);
                                     });
    if (!done) {
        if (!cancelled && !error.isEmpty())
            showMessage(error);
        return false;
    }
    m_sources = sources;
    m_planes = planes;
    m_firstLayer = requests.first().firstLayer;
    m_lastLayer = requests.first().lastLayer;
    return true;
}

void RegionsWindow::refresh()
{
    if (m_refreshing) { // asked again while planes load: once more afterwards
        schedule();
        return;
    }
    m_tick.stop();
    const QList<Region> regions = m_acquisition.regions();
    const QList<PlaneSource> sources = currentSources();
    const bool showable = m_acquisition.isOpen() && m_acquisition.unshowableReason().isEmpty();
    if (!showable || regions.isEmpty()) {
        m_rows.clear();
        fillTable();
        return; // planes are only loaded once there is a region to measure
    }
    if (m_planesOutdated || m_planes.isEmpty() || sources != m_sources) {
        m_refreshing = true;
        const bool loaded = loadPlanes(sources);
        m_refreshing = false;
        // A cancel keeps the planes held before, with the layers they are of.
        m_planesOutdated = false;
        if (!loaded && m_planes.isEmpty())
            return;
        m_allRegionsOutdated = m_allRegionsOutdated || loaded;
    }
    if (m_rows.size() != regions.size())
        m_allRegionsOutdated = true;
    if (m_allRegionsOutdated) {
        m_rows = QList<QList<StatsRow>>(regions.size());
        m_outdatedRegions.clear();
        for (int i = 0; i < regions.size(); ++i)
            m_outdatedRegions.insert(i);
    }
    const int side = m_planes.first().shown->side;
    const double micronsPerPixel = m_acquisition.header().micronsPerPixel();
    for (const int i : std::as_const(m_outdatedRegions)) {
        if (i < 0 || i >= regions.size())
            continue;
        const std::vector<qint64> pixels = regionPixels(regions[i], side);
        QList<StatsRow> rows;
        for (qsizetype s = 0; s < m_sources.size(); ++s) {
            StatsRow row = statsRow(m_planes[s], m_sources[s], pixels, micronsPerPixel);
            row.region = regions[i].id;
            row.firstLayer = m_firstLayer;
            row.lastLayer = m_lastLayer;
            rows << row;
        }
        m_rows[i] = rows;
    }
    m_outdatedRegions.clear();
    m_allRegionsOutdated = false;
    fillTable();
}

TableData RegionsWindow::tableData() const
{
    TableData data;
    data.headers =
        QStringList{"id",  "name", "class", "species", "layers", "pixels",        "area (µm²)",
                    "sum", "mean", "sd",    "min",     "max",    "ratio of sums", "Poisson error"};
    constexpr double none = std::numeric_limits<double>::quiet_NaN();
    const QList<Region>& regions = m_acquisition.regions();
    QHash<int, qsizetype> byId;
    for (qsizetype i = 0; i < regions.size(); ++i)
        byId.insert(regions[i].id, i);
    for (const QList<StatsRow>& region : m_rows) {
        for (const StatsRow& row : region) {
            const RegionStats& s = row.stats;
            // The sum of pixel ratios means nothing; a ratio's rows give the ratio of sums.
            const Region region = regions.value(byId.value(row.region, -1));
            data.rows << QVariantList{row.region,
                                      region.name,
                                      region.regionClass,
                                      m_acquisition.sourceName(row.source).trimmed(),
                                      layersText(row.firstLayer, row.lastLayer),
                                      s.pixels,
                                      s.areaUm2,
                                      row.ratio ? none : s.sum,
                                      s.mean,
                                      s.sd,
                                      s.min,
                                      s.max,
                                      row.ratio ? row.ratio->ratio : none,
                                      row.ratio ? row.ratio->poissonError : none};
        }
    }
    return data;
}

void RegionsWindow::fillTable()
{
    const TableData data = tableData();
    m_filling = true;
    // Filled unsorted, then sorted again by the column the user chose.
    m_table->setSortingEnabled(false);
    const int perRegion = std::max(1, int(m_sources.size()));
    // Cells are set in place, each row where it is shown, so that the selection and an edit
    // elsewhere survive a drag.
    QHash<qint64, int> shownAt;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        if (const QTableWidgetItem* id = m_table->item(r, kIdColumn))
            shownAt.insert(rowKey(id->data(kIdRole).toInt(), id->data(kSourceRole).toInt()), r);
    }
    auto keyOf = [&](int i) { return rowKey(data.rows[i][kIdColumn].toInt(), i % perRegion); };
    bool reshaped = m_table->rowCount() != data.rows.size();
    for (int i = 0; i < data.rows.size() && !reshaped; ++i)
        reshaped = !shownAt.contains(keyOf(i));
    m_table->setColumnCount(int(data.headers.size()));
    m_table->setHorizontalHeaderLabels(data.headers);
    m_table->setRowCount(int(data.rows.size()));
    for (int i = 0; i < data.rows.size(); ++i) {
        const int r = reshaped ? i : shownAt.value(keyOf(i));
        fillRow(r, data.rows[i]);
        m_table->item(r, kIdColumn)->setData(kIdRole, data.rows[i][kIdColumn]);
        m_table->item(r, kIdColumn)->setData(kSourceRole, i % perRegion);
    }
    m_table->setSortingEnabled(true);
    if (reshaped) {
        m_table->resizeColumnsToContents();
        showSelection();
    }
    filterRows();
    showLegend();
    m_filling = false;
}

void RegionsWindow::showLegend()
{
    QStringList entries;
    for (const auto& [name, colour] : classColours(m_acquisition.regions()))
        entries << QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;%2")
                       .arg(QColor(colour).name(), name.toHtmlEscaped());
    m_legend->setText(entries.join(QStringLiteral(" &nbsp; ")));
    m_legend->setVisible(!entries.isEmpty());
}

void RegionsWindow::fillRow(int r, const QVariantList& cells)
{
    for (int c = 0; c < cells.size(); ++c) {
        const QString text = TableData::cellText(cells[c], TableData::Digits::Shown);
        QTableWidgetItem* item = m_table->item(r, c);
        if (!item) {
            item = new ValueItem;
            if (c != kNameColumn && c != kClassColumn)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (TableData::isNumber(cells[c]))
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
        if (item->text() != text || !item->data(kValueRole).isValid()) {
            item->setText(text);
            item->setData(kValueRole, cells[c]);
        }
    }
}

int RegionsWindow::regionIndexOfRow(int row) const
{
    const QTableWidgetItem* id = m_table->item(row, kIdColumn);
    return id ? m_acquisition.regionIndex(id->data(kIdRole).toInt()) : -1;
}

void RegionsWindow::filterRows()
{
    const QString wanted = m_classFilter->text().trimmed();
    for (int r = 0; r < m_table->rowCount(); ++r) {
        const QTableWidgetItem* regionClass = m_table->item(r, kClassColumn);
        const bool shown =
            wanted.isEmpty() || (regionClass && regionClass->text().trimmed() == wanted);
        m_table->setRowHidden(r, !shown);
    }
}

void RegionsWindow::nameEdited(QTableWidgetItem* item)
{
    const int column = item->column();
    if (m_filling || (column != kNameColumn && column != kClassColumn) || m_sources.isEmpty())
        return;
    const int index = regionIndexOfRow(item->row());
    if (index < 0)
        return;
    Region region = m_acquisition.regions()[index];
    (column == kNameColumn ? region.name : region.regionClass) = item->text();
    if (region != m_acquisition.regions()[index])
        m_acquisition.replaceRegion(index, region);
}

void RegionsWindow::tableSelectionChanged()
{
    if (m_filling || m_syncingSelection || m_sources.isEmpty())
        return;
    QList<int> picked;
    for (const QModelIndex& row : m_table->selectionModel()->selectedRows()) {
        const int index = regionIndexOfRow(row.row());
        if (index >= 0 && !picked.contains(index))
            picked << index;
    }
    m_syncingSelection = true;
    RegionTools::instance().setSelection(picked);
    m_syncingSelection = false;
}

void RegionsWindow::showSelection()
{
    if (m_syncingSelection || m_sources.isEmpty())
        return;
    m_syncingSelection = true;
    m_table->clearSelection();
    QSet<int> selected; // by id
    for (const int index : RegionTools::instance().selection())
        selected.insert(m_acquisition.regions().value(index).id);
    QItemSelection rows;
    for (int r = 0; r < m_table->rowCount(); ++r) {
        const QTableWidgetItem* id = m_table->item(r, kIdColumn);
        if (id && selected.contains(id->data(kIdRole).toInt()))
            rows.select(m_table->model()->index(r, 0), m_table->model()->index(r, 0));
    }
    m_table->selectionModel()->select(rows,
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    m_syncingSelection = false;
}

} // namespace isolumen
