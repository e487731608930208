#include "ui/regioncommands.h"

#include "core/imfile/filetypes.h"
#include "core/io/labelmask.h"
#include "core/io/replacingfile.h"
#include "core/model/acquisition.h"
#include "core/progress.h"
#include "core/result.h"
#include "core/stats/findregions.h"
#include "core/stats/profiles.h"
#include "ui/depthprofilewindow.h"
#include "ui/dialogs.h"
#include "ui/histogramwindow.h"
#include "ui/imagewindow.h"
#include "ui/imagewindowlist.h"
#include "ui/lineprofilewindow.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regionswindow.h"
#include "ui/regiontools.h"
#include "ui/scatterplotwindow.h"

#include <QAction>
#include <QFile>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>

namespace isolumen {

namespace {

using Tool = RegionTools::Tool;

const std::pair<const char*, Tool> kToolItems[] = {
    {"regionToolSelect", Tool::Select},     {"regionToolRectangle", Tool::Rectangle},
    {"regionToolEllipse", Tool::Ellipse},   {"regionToolPolygon", Tool::Polygon},
    {"regionToolFreehand", Tool::Freehand}, {"regionToolLine", Tool::Line}};

// A regions file is a few kilobytes; anything far beyond is not one.
constexpr qint64 kLargestRegionsFile = qint64(64) << 20;

const QString kRegionsFilter = QStringLiteral("Regions (*.json)");

// An open depth profile is measured again this long after the last of a burst of changes.
constexpr int kDepthDelayMs = 150;

} // namespace

RegionCommands::RegionCommands(Acquisition& acquisition, const ImageWindowList& windows,
                               QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_acquisition(acquisition), m_windows(windows), m_dialogParent(dialogParent)
{
    Menu& menu = Menu::instance();
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisRegions"), [this] { showRegions(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisDepthProfile"), [this] { depthProfile(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisLineProfile"), [this] { lineProfile(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisHistogram"), [this] { histogram(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisSaveRegions"), [this] { saveRegions(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisLoadRegions"), [this] { loadRegions(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisFindRegions"), [this] { findRegions(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisExportMask"), [this] { exportMask(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisImportMask"), [this] { importMask(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisClassify"), [this] { classifyRegions(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisScatter"), [this] { scatterPlot(); }));
    RegionTools& tools = RegionTools::instance();
    for (const auto& [name, tool] : kToolItems)
        m_commands.push_back(menu.setCommand(
            QLatin1String(name), [tool = tool] { RegionTools::instance().setTool(tool); }));
    connect(&tools, &RegionTools::toolChanged, this, [](Tool tool) {
        for (const auto& [name, itemTool] : kToolItems) {
            if (itemTool == tool)
                Menu::instance().item(QLatin1String(name))->setChecked(true);
        }
    });

    connect(&m_acquisition, &Acquisition::regionsChanged, this, [this](int index) {
        if (index >= 0)
            return;
        QList<int> selection = RegionTools::instance().selection();
        selection.removeIf([this](int i) { return i >= m_acquisition.regions().size(); });
        RegionTools::instance().setSelection(selection);
    });
    connect(&m_acquisition, &Acquisition::fileChanged, this, [this] {
        RegionTools::instance().setLine(std::nullopt);
        // Depth profiles and scatter plots are of the file that was open.
        for (const QPointer<QWidget>& w : std::as_const(m_opened)) {
            if (qobject_cast<DepthProfileWindow*>(w) || qobject_cast<ScatterPlotWindow*>(w))
                w->close();
        }
    });
}

RegionCommands::~RegionCommands()
{
    for (const QPointer<QWidget>& w : std::as_const(m_opened)) {
        if (w)
            w->close();
    }
}

void RegionCommands::opened(QWidget* window)
{
    m_opened.removeAll(nullptr);
    m_opened << window;
    window->show();
    window->raise();
    window->activateWindow();
}

QList<PlaneSource> RegionCommands::ratioSources() const
{
    QList<PlaneSource> sources;
    for (const ImageWindow* w : m_windows.windows()) {
        if (w->source().ratio && !sources.contains(w->source()))
            sources << w->source();
    }
    return sources;
}

QStringList RegionCommands::regionLabels() const
{
    QStringList labels;
    const QList<Region>& regions = m_acquisition.regions();
    for (const Region& r : regions) {
        const QString plain = QStringLiteral("Region %1").arg(r.id);
        labels << (r.name.isEmpty() || r.name == plain
                       ? plain
                       : QStringLiteral("%1 (%2)").arg(plain, r.name));
    }
    return labels;
}

ImageWindow* RegionCommands::imageWindowForPlot() const
{
    if (auto* front = qobject_cast<ImageWindow*>(Menu::frontWindow()))
        return front;
    const QList<ImageWindow*> open = m_windows.windows();
    if (open.isEmpty()) {
        showMessage(QStringLiteral("Open an image window first: the plot shows its values."));
        return nullptr;
    }
    return open.first();
}

void RegionCommands::showRegions()
{
    if (!m_regionsWindow)
        m_regionsWindow = new RegionsWindow(m_acquisition, [this] { return ratioSources(); });
    opened(m_regionsWindow);
}

void RegionCommands::depthProfile()
{
    if (m_depthProfile) { // one window, following the regions and the model
        opened(m_depthProfile);
        return;
    }
    if (!m_acquisition.isOpen() || !m_acquisition.unshowableReason().isEmpty())
        return;
    if (m_acquisition.regions().isEmpty()) {
        showMessage(QStringLiteral("Draw a region first: the depth profile is that of the "
                                   "selected regions, or of all regions when none is selected."));
        return;
    }
    m_depthProfile = new DepthProfileWindow;
    if (!measureDepth()) {
        m_depthProfile->deleteLater();
        return;
    }
    auto* again = new QTimer(m_depthProfile);
    again->setSingleShot(true);
    again->setInterval(kDepthDelayMs);
    connect(again, &QTimer::timeout, this, [this] { measureDepth(); });
    auto later = [again] { again->start(); };
    connect(&RegionTools::instance(), &RegionTools::selectionChanged, again, later);
    for (auto signal : {&Acquisition::correctionsChanged, &Acquisition::alignmentChanged})
        connect(&m_acquisition, signal, again, later);
    connect(&m_acquisition, &Acquisition::regionsChanged, again, later);
    opened(m_depthProfile);
}

bool RegionCommands::measureDepth()
{
    QList<int> chosen = RegionTools::instance().selection();
    if (chosen.isEmpty()) {
        for (int i = 0; i < m_acquisition.regions().size(); ++i)
            chosen << i;
    }
    std::sort(chosen.begin(), chosen.end());
    QList<Region> regions;
    QMap<int, QString> regionNames;
    for (const int i : std::as_const(chosen)) {
        const Region& r = m_acquisition.regions()[i];
        regions << r;
        regionNames.insert(r.id, r.name.isEmpty() ? QStringLiteral("Region %1").arg(r.id) : r.name);
    }
    QList<PlaneSource> sources;
    QStringList sourceNames;
    for (int s = 0; s < m_acquisition.speciesCount(); ++s)
        sources << PlaneSource{s, std::nullopt};
    sources << ratioSources();
    for (const PlaneSource& s : std::as_const(sources))
        sourceNames << m_acquisition.sourceName(s).trimmed();

    const int layers = m_acquisition.layerCount();
    QList<std::pair<int, int>> ranges;
    QList<PlaneRequest> requests;
    for (int layer = 1; layer <= layers; ++layer) {
        if (m_acquisition.isExcluded(layer)) // a gap in the profile
            continue;
        ranges << std::pair{layer, layer};
        for (const PlaneSource& s : std::as_const(sources)) {
            requests << m_acquisition.request(s);
            requests.last().firstLayer = requests.last().lastLayer = layer;
        }
    }
    Result<QList<StatsRow>> rows = Failure{};
    bool cancelled = false;
    const bool done = Dialogs::runLongWork(
        m_dialogParent, QStringLiteral("Measuring %1 layers...").arg(layers),
        [&](Progress& progress) {
            progress.setTotal(m_acquisition.work(requests));
            rows = regionTable(m_acquisition, regions, sources, ranges,
                               m_acquisition.request(sources.first()), &progress);
            cancelled = progress.cancelled();
            return rows.has_value();
        });
    if (!done) {
        if (!cancelled && !rows && !rows.error().message.isEmpty())
            showMessage(rows.error().message);
        return false;
    }
    m_depthProfile->setRows(*rows, regionNames, sources, sourceNames);
    return true;
}

void RegionCommands::lineProfile()
{
    ImageWindow* image = imageWindowForPlot();
    if (!image)
        return;
    RegionTools& tools = RegionTools::instance();
    if (!tools.line())
        tools.setTool(Tool::Line);
    auto* window = new LineProfileWindow(tools.lineWidth());
    const QPointer<ImageWindow> source = image;
    auto update = [this, window, source] {
        const RegionTools& tools = RegionTools::instance();
        const PlanePtr plane = source ? source->planes().shown : nullptr;
        if (!plane)
            return;
        const std::optional<QLineF> line = tools.line();
        window->setProfile(line ? isolumen::lineProfile(*plane, line->p1(), line->p2(),
                                                        tools.lineWidth(),
                                                        m_acquisition.header().micronsPerPixel())
                                : LineProfile{},
                           line ? source->windowTitle() : QString());
        const QSignalBlocker quiet(window->widthBox());
        window->widthBox()->setValue(tools.lineWidth());
    };
    connect(image, &ImageWindow::displayUpdated, window, update);
    connect(&tools, &RegionTools::lineChanged, window, update);
    connect(window, &LineProfileWindow::widthChosen, &tools, &RegionTools::setLineWidth);
    connect(image, &QObject::destroyed, window, &QWidget::close);
    update();
    opened(window);
}

void RegionCommands::histogram()
{
    ImageWindow* image = imageWindowForPlot();
    if (!image)
        return;
    auto* window = new HistogramWindow;
    const QPointer<ImageWindow> source = image;
    auto update = [this, window, source] {
        const PlanePtr plane = source ? source->planes().shown : nullptr;
        if (!plane)
            return;
        window->setRegionChoices(regionLabels());
        const int region = window->chosenRegion();
        const std::vector<double> values =
            pixelValues(*plane, region >= 0 && region < m_acquisition.regions().size()
                                    ? regionPixels(m_acquisition.regions()[region], plane->side)
                                    : allPixels(*plane));
        constexpr int kBins = 256;
        const Histogram bars = plane->wholeNumbers() ? wholeNumberHistogram(values, kBins)
                                                     : isolumen::histogram(values, kBins);
        window->setHistogram(bars, source->settings().minValue, source->settings().maxValue,
                             source->windowTitle());
    };
    connect(image, &ImageWindow::displayUpdated, window, update);
    // Only the list or the region shown matter: a drag elsewhere must not recount the picture.
    connect(&m_acquisition, &Acquisition::regionsChanged, window, [window, update](int index) {
        if (index < 0 || index == window->chosenRegion())
            update();
    });
    connect(window, &HistogramWindow::regionChosen, window, update);
    connect(image, &QObject::destroyed, window, &QWidget::close);
    update();
    opened(window);
}

void RegionCommands::saveRegions()
{
    if (m_acquisition.regions().isEmpty()) {
        showMessage(QStringLiteral("There are no regions to save."));
        return;
    }
    const QString path = Dialogs::saveFile(m_dialogParent, QStringLiteral("Save Regions"),
                                           QStringLiteral("regions.json"), kRegionsFilter)
                             .first;
    if (path.isEmpty())
        return;
    ReplacingFile file(path);
    if (!file.open() || file.device().write(regionsToJson(m_acquisition.regions())) < 0 ||
        !file.commit())
        showMessage(QStringLiteral("The regions could not be saved: %1").arg(file.errorString()));
}

void RegionCommands::loadRegions()
{
    if (!m_acquisition.isOpen())
        return;
    const QString path =
        Dialogs::openFile(m_dialogParent, QStringLiteral("Load Regions"), kRegionsFilter);
    if (path.isEmpty())
        return;
    if (const QString problem = specialFileProblem(path); !problem.isEmpty()) {
        showMessage(problem);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        showMessage(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        return;
    }
    if (file.size() > kLargestRegionsFile) {
        showMessage(QStringLiteral("%1 is not a regions file: it is far too large.").arg(path));
        return;
    }
    const Result<QList<Region>> regions = regionsFromJson(file.readAll());
    if (!regions) {
        showMessage(
            QStringLiteral("%1 is not a regions file: %2.").arg(path, regions.error().message));
        return;
    }
    RegionTools::instance().clearSelection();
    m_acquisition.setRegions(*regions);
}

namespace {

const QString kMaskFilter = QStringLiteral("Label images (*.tif *.tiff *.png)");

// The cells of a choice in the acquisition's current layer or sum; or why there are none.
Result<QList<Region>> cellsOf(const Acquisition& acquisition, const FindRegionsChoice& choice)
{
    const auto plane = findingPlane(
        choice.finding, {acquisition.firstLayer(), acquisition.lastLayer()}, acquisition);
    if (!plane)
        return plane.error();
    return foundRegions(**plane, choice.finding.options);
}

} // namespace

void RegionCommands::findRegions()
{
    if (!m_acquisition.isOpen() || !m_acquisition.frameSide())
        return;
    QStringList labels;
    for (int s = 0; s < m_acquisition.speciesCount(); ++s)
        labels << m_acquisition.speciesName(s);
    RegionTools& tools = RegionTools::instance();
    const auto preview = [&](const std::optional<FindRegionsChoice>& choice) {
        const auto cells =
            choice ? cellsOf(m_acquisition, *choice) : Result<QList<Region>>(QList<Region>());
        tools.setPreview(cells ? *cells : QList<Region>());
    };
    const std::optional<FindRegionsChoice> choice =
        Dialogs::findRegions(m_dialogParent, labels, preview);
    tools.setPreview({});
    if (!choice)
        return;
    Result<QList<Region>> cells = Failure{};
    if (!Dialogs::runLongWork(m_dialogParent, QStringLiteral("Finding regions..."), [&](Progress&) {
            cells = cellsOf(m_acquisition, *choice);
            return true;
        }))
        return; // cancelled: nothing changes
    if (!cells) {
        showMessage(cells.error().message);
        return;
    }
    QList<Region> regions = choice->replace ? QList<Region>() : m_acquisition.regions();
    regions += *cells;
    tools.clearSelection();
    m_acquisition.setRegions(regions); // one step of the history
}

void RegionCommands::exportMask()
{
    if (m_acquisition.regions().isEmpty() || !m_acquisition.frameSide()) {
        showMessage(QStringLiteral("There are no regions to write as a mask."));
        return;
    }
    const QString path =
        Dialogs::saveFile(m_dialogParent, QStringLiteral("Export Region Mask"),
                          QStringLiteral("mask.tif"), QStringLiteral("TIFF label image (*.tif)"))
            .first;
    if (path.isEmpty())
        return;
    const Result<> written =
        writeRegionMask(path, m_acquisition.regions(), *m_acquisition.frameSide(),
                        m_acquisition.header().micronsPerPixel());
    if (!written)
        showMessage(written.error().message);
}

void RegionCommands::importMask()
{
    if (!m_acquisition.isOpen() || !m_acquisition.frameSide())
        return;
    const QString path =
        Dialogs::openFile(m_dialogParent, QStringLiteral("Import Region Mask"), kMaskFilter);
    if (path.isEmpty())
        return;
    const Result<QList<Region>> regions = readRegionMask(path, *m_acquisition.frameSide());
    if (!regions) {
        showMessage(regions.error().message);
        return;
    }
    RegionTools::instance().clearSelection();
    m_acquisition.setRegions(*regions);
}

QStringList RegionCommands::speciesLabels() const
{
    QStringList labels;
    for (int s = 0; s < m_acquisition.speciesCount(); ++s)
        labels << m_acquisition.speciesName(s);
    return labels;
}

std::optional<QList<RegionRows>>
RegionCommands::measureRegions(const QList<RegionMeasure>& measures)
{
    const QList<Region> regions = m_acquisition.regions();
    QList<PlaneSource> sources = measuredSources(measures);
    if (sources.isEmpty()) // rules without a measure: every region, with no figure of it
        return rowsByRegion(regions, {});
    QList<PlaneRequest> requests;
    bool quick = true;
    for (const PlaneSource& s : std::as_const(sources)) {
        requests << m_acquisition.request(s);
        quick = quick && m_acquisition.isQuick(requests.last());
    }
    Result<QList<StatsRow>> rows = Failure{};
    bool cancelled = false;
    auto measure = [&](Progress* progress) {
        rows = regionTable(m_acquisition, regions, sources,
                           {{m_acquisition.firstLayer(), m_acquisition.lastLayer()}},
                           requests.first(), progress);
        cancelled = isCancelled(progress);
        return rows.has_value();
    };
    const bool done =
        quick ? measure(nullptr)
              : Dialogs::runLongWork(m_dialogParent, QStringLiteral("Measuring the regions..."),
                                     [&](Progress& progress) {
                                         progress.setTotal(m_acquisition.work(requests));
                                         return measure(&progress);
                                     });
    if (!done) {
        if (!cancelled && !rows && !rows.error().message.isEmpty())
            showMessage(rows.error().message);
        return std::nullopt;
    }
    return rowsByRegion(regions, *rows);
}

void RegionCommands::classifyRegions()
{
    if (!m_acquisition.isOpen() || !m_acquisition.frameSide())
        return;
    if (m_acquisition.regions().isEmpty()) {
        showMessage(QStringLiteral("Draw or find regions first: the rules classify them."));
        return;
    }
    const std::optional<Classification> choice =
        Dialogs::classify(m_dialogParent, speciesLabels());
    if (!choice)
        return;
    QList<RegionMeasure> measures;
    for (const ClassRule& rule : choice->rules)
        measures << rule.measure;
    const std::optional<QList<RegionRows>> rows = measureRegions(measures);
    if (!rows)
        return; // cancelled: nothing changes
    m_acquisition.setRegions(classified(m_acquisition.regions(), *rows, *choice));
}

void RegionCommands::scatterPlot()
{
    if (m_scatterPlot) {
        opened(m_scatterPlot);
        return;
    }
    if (!m_acquisition.isOpen() || !m_acquisition.frameSide())
        return;
    using Statistic = RegionMeasure::Statistic;
    const int species = m_acquisition.speciesCount();
    m_scatterPlot = new ScatterPlotWindow(speciesLabels());
    // At first: the second species over the first against the fourth over the third, as
    // 13C/12C against 15N/14N, where there are so many.
    if (species >= 2)
        m_scatterPlot->setMeasure(Qt::Horizontal, {Statistic::RatioOfSums, 1, 0});
    if (species >= 4)
        m_scatterPlot->setMeasure(Qt::Vertical, {Statistic::RatioOfSums, 3, 2});
    if (!measureScatter()) {
        m_scatterPlot->deleteLater();
        return;
    }
    auto* again = new QTimer(m_scatterPlot);
    again->setSingleShot(true);
    again->setInterval(kDepthDelayMs);
    connect(again, &QTimer::timeout, this, [this] { measureScatter(); });
    auto later = [again] { again->start(); };
    for (auto signal : {&Acquisition::layersChanged, &Acquisition::correctionsChanged,
                        &Acquisition::alignmentChanged, &Acquisition::excludedLayersChanged})
        connect(&m_acquisition, signal, again, later);
    connect(&m_acquisition, &Acquisition::regionsChanged, again, later);
    connect(m_scatterPlot, &ScatterPlotWindow::measuresChosen, again, later);
    connect(m_scatterPlot, &ScatterPlotWindow::pointClicked, this, [this](int, int region) {
        if (const int index = m_acquisition.regionIndex(region); index >= 0)
            RegionTools::instance().setSelection({index});
    });
    opened(m_scatterPlot);
}

bool RegionCommands::measureScatter()
{
    const std::optional<QList<RegionRows>> rows = measureRegions(
        {m_scatterPlot->measure(Qt::Horizontal), m_scatterPlot->measure(Qt::Vertical)});
    if (!rows)
        return false;
    m_scatterPlot->setRegions(*rows);
    return true;
}

} // namespace isolumen
