#include "ui/analysissession.h"

#include "core/imfile/filetypes.h"
#include "core/io/analysisfile.h"
#include "core/model/acquisition.h"
#include "core/result.h"
#include "ui/analysishistory.h"
#include "ui/dialogs.h"
#include "ui/imagewindow.h"
#include "ui/imagewindowlist.h"
#include "ui/menu.h"
#include "ui/messagebox.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

namespace isolumen {

namespace {

// Changes come in bursts (a drag): the recovery is written at most this often.
constexpr int kRecoveryMs = 1000;

const QString kAnalysisFilter = QStringLiteral("Isolumen analysis (*.isolumen);;Regions (*.json)");
const QString kSuffix = QStringLiteral(".isolumen");

QString recoveryFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/recovery");
}

} // namespace

AnalysisSession::AnalysisSession(Acquisition& acquisition, const ImageWindowList& windows,
                                 QWidget* dialogParent,
                                 std::function<void(const QString&)> openImage,
                                 OpenWindow openWindow, OpenOverlay openOverlay)
    : m_acquisition(acquisition), m_windows(windows), m_dialogParent(dialogParent),
      m_openImage(std::move(openImage)), m_openWindow(std::move(openWindow)),
      m_openOverlay(std::move(openOverlay))
{
    m_history = AnalysisHistory::of(acquisition);
    if (!m_history)
        m_history = new AnalysisHistory(acquisition);
    Menu& menu = Menu::instance();
    m_commands.push_back(
        menu.setCommand(QStringLiteral("fileSaveAnalysis"), [this] { saveAnalysis(); }));
    m_commands.push_back(
        menu.setCommand(QStringLiteral("fileOpenAnalysis"), [this] { openAnalysis(); }));
    menu.setQuitGuard([this] { return mayLeave(); });

    m_recoveryTimer.setSingleShot(true);
    m_recoveryTimer.setInterval(kRecoveryMs);
    connect(&m_recoveryTimer, &QTimer::timeout, this, &AnalysisSession::writeRecovery);
    connect(m_history, &AnalysisHistory::changed, this, &AnalysisSession::scheduleRecovery);
    connect(&acquisition, &Acquisition::fileChanged, this, [this] {
        m_recoveryTimer.stop();
        m_path.clear();
        m_kept = {};
        const QString hash = acquisitionSha256(m_acquisition);
        m_recoveryPath =
            hash.isEmpty() ? QString() : recoveryFolder() + QLatin1Char('/') + hash + kSuffix;
        // Offered once the file is shown.
        QMetaObject::invokeMethod(this, &AnalysisSession::offerRecovery, Qt::QueuedConnection);
    });
}

AnalysisSession::~AnalysisSession()
{
    if (Menu::exists())
        Menu::instance().setQuitGuard({});
}

QString AnalysisSession::recoveryPath() const
{
    return m_recoveryPath;
}

bool AnalysisSession::writeTo(const QString& path, Copy copy)
{
    AnalysisFile analysis = analysisOf(m_acquisition);
    for (const ImageWindow* w : m_windows.windows()) {
        if (w->overlay()) {
            analysis.windows << overlayRecord(*w);
            continue;
        }
        const DisplaySettings& s = w->settings();
        const RatioDefinition ratio = w->source().ratio.value_or(RatioDefinition{});
        analysis.windows << WindowRecord{m_acquisition.sourceName(w->source()).trimmed(),
                                         ratio.scale,
                                         ratio.unit,
                                         ratio.standard,
                                         s.table + 1,
                                         s.autoMin ? std::nullopt : std::optional(s.minValue),
                                         s.autoMax ? std::nullopt : std::optional(s.maxValue),
                                         s.logScale,
                                         std::nullopt};
    }
    analysis.read = m_kept; // keys a later version wrote stay
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(writeAnalysis(analysis)) < 0 ||
        !file.commit()) {
        if (copy == Copy::Saved)
            showMessage(
                QStringLiteral("The analysis could not be saved: %1").arg(file.errorString()));
        return false;
    }
    return true;
}

bool AnalysisSession::saveAnalysis()
{
    if (!m_acquisition.isOpen())
        return false;
    const QString suggested =
        m_path.isEmpty() ? QFileInfo(m_acquisition.header().fileName).completeBaseName() + kSuffix
                         : m_path;
    QString path = Dialogs::saveFile(m_dialogParent, QStringLiteral("Save Analysis"), suggested,
                                     kAnalysisFilter)
                       .first;
    if (path.isEmpty())
        return false;
    if (!path.endsWith(kSuffix))
        path += kSuffix;
    if (!writeTo(path, Copy::Saved))
        return false;
    m_path = path;
    m_history->markSaved();
    m_recoveryTimer.stop();
    QFile::remove(m_recoveryPath);
    return true;
}

bool AnalysisSession::mayLeave()
{
    if (!m_acquisition.isOpen() || !m_history->isModified())
        return true;
    enum { Save, Discard, Cancel };
    const int answer = askQuestion(
        QStringLiteral("Save the analysis of %1?").arg(m_acquisition.header().fileName),
        {QStringLiteral("Save"), QStringLiteral("Discard"), QStringLiteral("Cancel")}, Discard);
    if (answer == Save)
        return saveAnalysis();
    if (answer != Discard)
        return false;
    m_history->markSaved();
    m_recoveryTimer.stop();
    QFile::remove(m_recoveryPath);
    return true;
}

void AnalysisSession::scheduleRecovery()
{
    if (!m_recoveryTimer.isActive())
        m_recoveryTimer.start();
}

void AnalysisSession::writeRecovery()
{
    if (m_recoveryPath.isEmpty() || !m_acquisition.isOpen())
        return;
    if (m_history->isModified())
        writeTo(m_recoveryPath, Copy::Recovery);
    else
        QFile::remove(m_recoveryPath); // back to what was saved
}

void AnalysisSession::offerRecovery()
{
    if (m_recoveryPath.isEmpty() || !QFileInfo::exists(m_recoveryPath))
        return;
    const Result<AnalysisFile> read = readAnalysisFile(m_recoveryPath);
    const AnalysisFile* analysis = read ? &*read : nullptr;
    enum { Restore, Discard };
    const int answer =
        analysis && sameAcquisition(*analysis, m_acquisition)
            ? askQuestion(QStringLiteral("The analysis of %1 was not saved when Isolumen last "
                                         "ended. Restore it?")
                              .arg(m_acquisition.header().fileName),
                          {QStringLiteral("Restore"), QStringLiteral("Discard")}, Discard)
            : Discard;
    if (answer != Restore) {
        QFile::remove(m_recoveryPath);
        return;
    }
    // Restored changes are changes not saved yet: they stay in the history and the recovery.
    for (const QString& problem : applyAnalysis(*analysis, m_acquisition))
        showMessage(problem);
}

void AnalysisSession::openAnalysis()
{
    const QString path =
        Dialogs::openFile(m_dialogParent, QStringLiteral("Open Analysis"), kAnalysisFilter);
    if (!path.isEmpty())
        openAnalysisFile(path);
}

void AnalysisSession::openAnalysisFile(const QString& path)
{
    const Result<AnalysisFile> read = readAnalysisFile(path);
    if (!read) {
        showMessage(read.error().message);
        return;
    }
    const AnalysisFile& analysis = *read;
    if (analysis.regionsOnly) {
        if (m_acquisition.isOpen())
            m_acquisition.setRegions(analysis.regions);
        else
            showMessage(
                QStringLiteral("Open an acquisition first: %1 holds regions only.").arg(path));
        return;
    }
    if (!mayLeave()) // the analysis open now is replaced
        return;
    if (!sameAcquisition(analysis, m_acquisition)) {
        QString image = acquisitionArgument(analysis, QFileInfo(path).path());
        const QStringList files = chainedFiles(image);
        const bool found =
            !image.isEmpty() && std::all_of(files.begin(), files.end(),
                                            [](const QString& f) { return QFileInfo(f).isFile(); });
        if (!found && !analysis.appended.isEmpty()) {
            showMessage(QStringLiteral("The files of the acquisition of %1 are not all in its "
                                       "folder: %2")
                            .arg(path, files.join(QStringLiteral(", "))));
            return;
        }
        if (!found)
            image = Dialogs::openFile(m_dialogParent,
                                      QStringLiteral("Find %1").arg(analysis.acquisitionName),
                                      rawImageDialogFilter());
        if (image.isEmpty())
            return;
        m_openImage(image);
        if (!m_acquisition.isOpen())
            return;
    }
    applyFound(analysis, path);
}

void AnalysisSession::applyFound(const AnalysisFile& analysis, const QString& path)
{
    if (!sameAcquisition(analysis, m_acquisition)) {
        enum { Regions, Cancel };
        const int answer = askQuestion(
            QStringLiteral("%1 is not the acquisition the analysis was made of: its size or "
                           "header differ. Apply the analysis's regions only?")
                .arg(m_acquisition.header().fileName),
            {QStringLiteral("Apply Regions"), QStringLiteral("Cancel")}, Cancel);
        if (answer == Regions)
            m_acquisition.setRegions(analysis.regions, analysis.nextRegionId);
        return;
    }
    for (const QString& problem : applyAnalysis(analysis, m_acquisition))
        showMessage(problem);
    openWindows(analysis);
    // As opened, the analysis is as saved.
    m_history->reset();
    m_path = path;
    m_kept = analysis.read;
    m_recoveryTimer.stop();
    QFile::remove(m_recoveryPath);
}

QStringList AnalysisSession::labels() const
{
    QStringList labels;
    for (int s = 0; s < m_acquisition.speciesCount(); ++s)
        labels << m_acquisition.speciesName(s).trimmed();
    return labels;
}

WindowRecord AnalysisSession::overlayRecord(const ImageWindow& window) const
{
    OverlayRecord overlay;
    overlay.colours = window.overlay()->colours;
    for (const OverlaySource& s : window.overlay()->sources) {
        overlay.sources << findingSourceText(s.source, labels());
        overlay.ranges << s.range;
    }
    WindowRecord record;
    record.source = window.sourceName();
    record.overlay = overlay;
    return record;
}

std::optional<OverlayDefinition> AnalysisSession::overlayOf(const OverlayRecord& record) const
{
    OverlayDefinition overlay;
    overlay.colours = record.colours;
    for (qsizetype i = 0; i < record.sources.size(); ++i) {
        const std::optional<RegionFinding> f = parseFindingSource(record.sources[i], labels());
        if (!f)
            return std::nullopt; // a species this acquisition lacks
        overlay.sources << OverlaySource{*f, record.ranges.value(i)};
    }
    if (overlay.sources.size() < 2 || overlay.sources.size() > 3)
        return std::nullopt;
    return overlay;
}

void AnalysisSession::openWindows(const AnalysisFile& analysis)
{
    const QStringList labels = this->labels();
    for (const WindowRecord& record : analysis.windows) {
        if (record.overlay) {
            if (const std::optional<OverlayDefinition> overlay = overlayOf(*record.overlay))
                m_openOverlay(*overlay);
            continue;
        }
        // The source as the acquisition named it, its scale and unit after the terms.
        Result<RatioDefinition> terms = parseRatioTerms(ratioTermsText(record.source), labels);
        if (!terms || (terms->denominator.isEmpty() && !labels.contains(record.source.trimmed())))
            continue; // a species this acquisition lacks
        const QList<int> species = terms->species();
        if (std::any_of(species.begin(), species.end(), [&](int s) { return s >= labels.size(); }))
            continue;
        PlaneSource source{terms->numerator.first(), std::nullopt};
        if (!terms->denominator.isEmpty()) {
            terms->scale = record.scale;
            terms->unit = record.unit;
            terms->standard = record.standard;
            source.ratio = *terms;
        }
        ImageWindow* window = m_openWindow(source);
        if (!window)
            continue;
        ColourChoice colours = isolumen::colours(window->settings());
        colours.table = record.table - 1;
        window->setColours(colours);
        window->setManualLimits(record.min, record.max);
        if (record.log != window->settings().logScale)
            window->linLogButton()->click();
    }
}

} // namespace isolumen
