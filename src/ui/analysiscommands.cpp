#include "ui/analysiscommands.h"

#include "core/model/acquisition.h"
#include "core/model/alignlayers.h"
#include "core/model/stripes.h"
#include "core/progress.h"
#include "ui/alignmentwindow.h"
#include "ui/dialogs.h"
#include "ui/imagewindow.h"
#include "ui/imagewindowlist.h"
#include "ui/menu.h"
#include "ui/messagebox.h"
#include "ui/regioncommands.h"
#include "ui/regiontools.h"

#include <QAction>

namespace isolumen {

AnalysisCommands::AnalysisCommands(Acquisition& acquisition, const ImageWindowList& windows,
                                   QWidget* dialogParent, std::function<int()> selectedLayer,
                                   OpenWindow openWindow, OpenOverlay openOverlay)
    : m_acquisition(acquisition), m_windows(windows), m_dialogParent(dialogParent),
      m_selectedLayer(std::move(selectedLayer)), m_openWindow(std::move(openWindow)),
      m_openOverlay(std::move(openOverlay))
{
    Menu& menu = Menu::instance();
    m_commands.push_back(menu.setCommand(QStringLiteral("analysisSum"), [this] { sumOfLayers(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisSingleLayer"), [this] { singleLayer(); }));
    m_commands.push_back(menu.setCommand(QStringLiteral("analysisRatio"),
                                         [this] { ratioImage(Dialogs::RatioKind::Ratio); }));
    m_commands.push_back(menu.setCommand(QStringLiteral("analysisHsi"),
                                         [this] { ratioImage(Dialogs::RatioKind::Hsi); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisOverlay"), [this] { overlayImage(); }));
    m_commands.push_back(menu.setCommand(QStringLiteral("analysisDeadTime"), [this] {
        toggleDeadTime(Menu::instance().item(QStringLiteral("analysisDeadTime"))->isChecked());
    }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisCorrections"), [this] { correctionSettings(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisAlign"), [this] { alignLayers(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisUndoAlign"), [this] { undoAlignment(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisShowAlign"), [this] { showAlignment(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("analysisExclude"), [this] { excludeLayers(); }));
    connect(&m_acquisition, &Acquisition::fileChanged, this, &AnalysisCommands::resetForNewFile);
    for (auto signal :
         {&Acquisition::fileChanged, &Acquisition::layersChanged, &Acquisition::alignmentChanged})
        connect(&m_acquisition, signal, this, &AnalysisCommands::updateItems);
    updateItems();
    // Undo, redo and an opened analysis change the corrections too: the menu shows what is in
    // force.
    connect(&m_acquisition, &Acquisition::correctionsChanged, this, [this] {
        const std::shared_ptr<const Corrections> c = m_acquisition.corrections();
        m_corrections = c ? c->settings : CorrectionSettings{};
        Menu::instance()
            .item(QStringLiteral("analysisDeadTime"))
            ->setChecked(m_corrections.deadTime);
    });
    new RegionCommands(m_acquisition, m_windows, m_dialogParent, this); // the region items
}

AnalysisCommands::~AnalysisCommands() = default;

bool AnalysisCommands::prepareWindows(const QString& label,
                                      const std::function<void(PlaneRequest&)>& change) const
{
    QList<PlaneRequest> requests;
    for (const ImageWindow* w : m_windows.windows()) {
        PlaneRequest r = m_acquisition.request(w->source());
        change(r);
        if (!m_acquisition.isQuick(r))
            requests << r;
    }
    if (requests.isEmpty())
        return true;
    return Dialogs::runLongWork(m_dialogParent, label, [&](Progress& progress) {
        progress.setTotal(m_acquisition.work(requests));
        return m_acquisition.prepare(requests, &progress);
    });
}

void AnalysisCommands::sumOfLayers()
{
    const int layers = m_acquisition.layerCount();
    if (!m_acquisition.isOpen() || layers < 1)
        return;
    const bool summing = m_acquisition.isSum();
    const std::optional<std::pair<int, int>> range =
        Dialogs::layerRange(m_dialogParent, summing ? m_acquisition.firstLayer() : 1,
                            summing ? m_acquisition.lastLayer() : layers, layers);
    if (!range)
        return;
    const int first = std::clamp(range->first, 1, layers);
    const int last = std::clamp(range->second, first, layers);
    const bool done = prepareWindows(
        QStringLiteral("Summing layers %1 to %2...").arg(first).arg(last), [&](PlaneRequest& r) {
            r.firstLayer = first;
            r.lastLayer = last;
        });
    if (done)
        m_acquisition.setLayerRange(first, last);
}

void AnalysisCommands::updateItems() const
{
    const bool showable = m_acquisition.isOpen() && m_acquisition.unshowableReason().isEmpty();
    const bool aligned = m_acquisition.alignment() != nullptr;
    const std::pair<const char*, bool> items[] = {
        {"analysisSum", showable},      {"analysisSingleLayer", showable && m_acquisition.isSum()},
        {"analysisRatio", showable},    {"analysisHsi", showable},
        {"analysisOverlay", showable},  {"analysisAlign", showable},
        {"analysisUndoAlign", aligned}, {"analysisShowAlign", aligned}};
    for (const auto& [name, enabled] : items) {
        if (QAction* item = Menu::instance().item(QLatin1String(name)))
            item->setEnabled(enabled);
    }
}

void AnalysisCommands::singleLayer()
{
    if (m_acquisition.isOpen())
        m_acquisition.setLayer(m_selectedLayer());
}

void AnalysisCommands::ratioImage(Dialogs::RatioKind kind)
{
    const bool hsi = kind == Dialogs::RatioKind::Hsi;
    if (!m_acquisition.isOpen() || !m_acquisition.unshowableReason().isEmpty())
        return;
    const std::optional<RatioDialogChoice> choice =
        Dialogs::ratio(m_dialogParent, m_acquisition.header().species, kind);
    if (!choice)
        return;
    const PlaneSource source{choice->ratio.numerator.first(), choice->ratio};
    ImageWindow* window =
        m_openWindow(source, hsi ? std::optional(choice->brightness) : std::nullopt);
    if (window && hsi)
        window->setManualLimits(choice->rMin, choice->rMax);
}

void AnalysisCommands::overlayImage()
{
    if (!m_acquisition.isOpen() || !m_acquisition.unshowableReason().isEmpty())
        return;
    if (const auto overlay = Dialogs::overlay(m_dialogParent, m_acquisition.header().species))
        m_openOverlay(*overlay);
}

bool AnalysisCommands::applyCorrections(const CorrectionSettings& settings)
{
    const std::shared_ptr<const ImFile> file = m_acquisition.file();
    if (!file)
        return false;
    const Result<CorrectionSetup> setup = makeCorrections(*file, settings);
    if (!setup) {
        showMessage(setup.error().message);
        return false;
    }
    const bool done = prepareWindows(QStringLiteral("Correcting counts..."),
                                     [&](PlaneRequest& r) { r.corrections = setup->corrections; });
    if (!done)
        return false;
    for (const QString& note : setup->notes)
        showMessage(note);
    m_corrections = settings;
    m_acquisition.setCorrections(setup->corrections);
    return true;
}

void AnalysisCommands::toggleDeadTime(bool on)
{
    CorrectionSettings settings = m_corrections;
    settings.deadTime = on;
    const bool applied = m_acquisition.isOpen() && applyCorrections(settings);
    Menu::instance()
        .item(QStringLiteral("analysisDeadTime"))
        ->setChecked(applied ? on : m_corrections.deadTime);
}

void AnalysisCommands::correctionSettings()
{
    if (!m_acquisition.isOpen())
        return;
    const std::optional<CorrectionSettings> settings =
        Dialogs::corrections(m_dialogParent, m_acquisition.header(), m_corrections);
    if (settings && applyCorrections(*settings))
        Menu::instance().item(QStringLiteral("analysisDeadTime"))->setChecked(settings->deadTime);
}

bool AnalysisCommands::applyAlignment(std::shared_ptr<const Alignment> alignment)
{
    const bool done = prepareWindows(QStringLiteral("Aligning layers..."),
                                     [&](PlaneRequest& r) { r.alignment = alignment; });
    if (done)
        m_acquisition.setAlignment(std::move(alignment));
    return done;
}

void AnalysisCommands::alignLayers()
{
    if (!m_acquisition.isOpen() || !m_acquisition.unshowableReason().isEmpty())
        return;
    const std::shared_ptr<const ImFile> file = m_acquisition.file();
    QStringList regionNames;
    for (const Region& r : m_acquisition.regions())
        regionNames << QStringLiteral("%1 %2").arg(r.id).arg(r.name);
    AlignChoice proposed;
    proposed.species = brightestSpecies(*file, 1);
    // The selected region, when there is one, is what the user means to align on.
    const QList<int>& selected = RegionTools::instance().selection();
    if (!selected.isEmpty())
        proposed.region = selected.first();
    const std::optional<AlignChoice> choice =
        Dialogs::align(m_dialogParent, m_acquisition.header().species, m_acquisition.layerCount(),
                       regionNames, proposed);
    if (!choice)
        return;
    std::optional<QRect> region;
    if (choice->region >= 0 && choice->region < m_acquisition.regions().size())
        region = m_acquisition.regions()[choice->region].boundingRect().toAlignedRect();
    AlignRequest request;
    request.species = choice->species;
    request.referenceLayer = choice->referenceLayer;
    request.excluded = m_acquisition.exclusionMask();
    request.subpixel = choice->subpixel;
    request.previous = m_acquisition.alignment();
    if (request.previous)
        request.settings = request.previous->settings;
    request.settings.region = region;
    Result<Alignment> alignment = Failure{};
    const bool done = Dialogs::runLongWork(
        m_dialogParent, QStringLiteral("Estimating the drift..."), [&](Progress& progress) {
            alignment = isolumen::alignLayers(*file, request, &progress);
            return alignment.has_value();
        });
    if (!done) {
        // Cancelled, or a Failure that says why.
        if (!alignment && !alignment.error().message.isEmpty())
            showMessage(
                QStringLiteral("The layers cannot be aligned: %1").arg(alignment.error().message));
        return;
    }
    if (applyAlignment(std::make_shared<Alignment>(*alignment)))
        showAlignment();
}

void AnalysisCommands::undoAlignment()
{
    if (m_acquisition.alignment())
        applyAlignment(nullptr);
    if (m_alignmentWindow)
        m_alignmentWindow->close();
}

void AnalysisCommands::showAlignment()
{
    const std::shared_ptr<const Alignment> alignment = m_acquisition.alignment();
    if (!alignment)
        return;
    if (m_alignmentWindow)
        m_alignmentWindow->close();
    const int species = alignment->referenceSpecies;
    const std::shared_ptr<const ImFile> file = m_acquisition.file();
    if (file && (!m_profiles || m_profilesSpecies != species)) {
        m_profiles.reset();
        Dialogs::runLongWork(m_dialogParent, QStringLiteral("Measuring the layers..."),
                             [&](Progress& progress) {
                                 progress.setTotal(m_acquisition.layerCount());
                                 m_profiles = layerProfiles(*file, species, &progress);
                                 return m_profiles.has_value();
                             });
        m_profilesSpecies = species;
    }
    m_alignmentWindow = new AlignmentWindow(
        *alignment, m_acquisition.speciesName(species), m_acquisition.header().micronsPerPixel(),
        m_profiles ? &*m_profiles : nullptr,
        [this](int layer, Shift shift) { setShiftByHand(layer, shift); });
    m_alignmentWindow->show();
}

void AnalysisCommands::setShiftByHand(int layer, Shift shift)
{
    const std::shared_ptr<const Alignment> current = m_acquisition.alignment();
    if (!current)
        return;
    auto edited = std::make_shared<Alignment>(*current);
    edited->setByHand(layer, shift);
    // The window shows the edit in force; it is made anew once its own signal has returned.
    if (applyAlignment(std::move(edited)))
        QMetaObject::invokeMethod(this, &AnalysisCommands::showAlignment, Qt::QueuedConnection);
}

void AnalysisCommands::excludeLayers()
{
    if (!m_acquisition.isOpen() || !m_acquisition.unshowableReason().isEmpty())
        return;
    const std::optional<std::vector<int>> layers = Dialogs::excludeLayers(
        m_dialogParent, m_acquisition.excludedLayers(), m_acquisition.layerCount());
    if (!layers)
        return;
    const bool done = prepareWindows(QStringLiteral("Summing layers..."),
                                     [&](PlaneRequest& r) { r.excluded = *layers; });
    if (done)
        m_acquisition.setExcludedLayers(*layers);
}

void AnalysisCommands::resetForNewFile()
{
    if (m_alignmentWindow)
        m_alignmentWindow->close();
    // Corrections belong to the file: the model starts a new one without them.
    m_corrections = {};
    m_profiles.reset();
    Menu::instance().item(QStringLiteral("analysisDeadTime"))->setChecked(false);
}

} // namespace isolumen
