#include "app/modesession.h"

#include "core/imfile/archive.h"
#include "core/imfile/filetypes.h"
#include "core/model/alignlayers.h"
#include "core/model/driftsteps.h"
#include "core/text/numbertext.h"

#include <QFileInfo>
#include <QTextStream>

namespace isolumen {

namespace {

// Whether a file of a chain starts the acquisition or follows the runs open.
enum class RunPlace { First, Following };

// Opens or appends one file of a chain, expanded first when compressed.
Result<ImFile::Status> openRun(Acquisition& acquisition, const QString& path, RunPlace place)
{
    Result<ReadableFile> readable = readableFile(path);
    if (!readable)
        return readable.error();
    ReadableFile& file = *readable;
    return place == RunPlace::Following
               ? acquisition.append(file.path, file.displayName, std::move(file.keepAlive))
               : acquisition.open(file.path, file.displayName, std::move(file.keepAlive));
}

} // namespace

Result<ImFile::Status> openFile(Acquisition& acquisition, const QString& path)
{
    const QStringList files = chainedFiles(path);
    if (files.size() == 1)
        return openRun(acquisition, path, RunPlace::First);
    for (qsizetype i = 0; i < files.size(); ++i) {
        if (files[i].isEmpty())
            return Failure{QStringLiteral("%1: a file name of the chain is empty.").arg(path)};
        const Result<ImFile::Status> opened =
            openRun(acquisition, files[i], i > 0 ? RunPlace::Following : RunPlace::First);
        if (!opened)
            return opened;
        if (*opened == ImFile::Status::Refused)
            return notAnImage(files[i]);
    }
    return ImFile::Status::Accepted;
}

bool readsFile(const QString& path, const QString& out)
{
    const QFileInfo written(out);
    if (!written.exists())
        return false;
    const QStringList files = chainedFiles(path);
    return std::any_of(files.begin(), files.end(), [&](const QString& file) {
        return QFileInfo(file).canonicalFilePath() == written.canonicalFilePath();
    });
}

Failure notAnImage(const QString& path)
{
    return Failure{QStringLiteral("%1 is not an image file: its header is not that of a raw ion "
                                  "image.")
                       .arg(path)};
}

Result<> openForMode(Acquisition& acquisition, const QString& path,
                     const std::function<void(const QString&)>& warn)
{
    const Result<ImFile::Status> opened = openFile(acquisition, path);
    if (!opened)
        return opened.error();
    if (*opened == ImFile::Status::Refused)
        return notAnImage(path);
    for (const QString& m : acquisition.messages())
        warn(m);
    const QString reason = acquisition.unshowableReason();
    if (!reason.isEmpty())
        return Failure{QStringLiteral("%1: %2").arg(path, reason)};
    return {};
}

Result<> applyExclusion(const PlaneChoice& choice, Acquisition& acquisition)
{
    if (!choice.excluded.empty() && choice.excluded.back() > acquisition.layerCount())
        return Failure{QStringLiteral("--exclude %1 is out of range: the file has layers 1 to %2.")
                           .arg(choice.excluded.back())
                           .arg(acquisition.layerCount())};
    acquisition.setExcludedLayers(choice.excluded);
    return {};
}

namespace {

// The parts of the analysis that options beside it leave in force.
Result<> applyAnalysisOption(const PlaneChoice& choice, Acquisition& acquisition,
                             const std::function<void(const QString&)>& warn)
{
    const AnalysisFile& analysis = *choice.analysis;
    if (!analysis.regionsOnly && !sameAcquisition(analysis, acquisition))
        return Failure{QStringLiteral("%1 is the analysis of another acquisition (%2): the size "
                                      "or the header differ. Give it with --rois to use its "
                                      "regions alone.")
                           .arg(choice.analysisPath, analysis.acquisitionName)};
    int parts = int(AnalysisPart::Regions);
    if (!choice.corrections.any())
        parts |= int(AnalysisPart::Corrections);
    if (!choice.align)
        parts |= int(AnalysisPart::Alignment);
    if (choice.excluded.empty())
        parts |= int(AnalysisPart::Excluded);
    for (const QString& problem : applyAnalysis(analysis, acquisition, parts))
        warn(problem);
    return {};
}

} // namespace

Result<> applyChoice(const PlaneChoice& choice, Acquisition& acquisition,
                     const std::function<void(const QString&)>& warn)
{
    if (choice.analysis) {
        if (Result<> f = applyAnalysisOption(choice, acquisition, warn); !f)
            return f;
    }
    if (!choice.excluded.empty()) {
        if (Result<> f = applyExclusion(choice, acquisition); !f)
            return f;
    }
    if (choice.corrections.any()) {
        const Result<CorrectionSettings> settings = correctionsFor(choice, acquisition.header());
        if (!settings)
            return settings.error();
        const Result<CorrectionSetup> setup = makeCorrections(*acquisition.file(), *settings);
        if (!setup)
            return setup.error();
        for (const QString& note : setup->notes)
            warn(note);
        acquisition.setCorrections(setup->corrections);
    }
    if (!choice.align)
        return {};
    Result<Alignment> alignment = estimateAlignment(choice, acquisition);
    if (!alignment)
        return alignment.error();
    acquisition.setAlignment(std::make_shared<Alignment>(*alignment));
    return {};
}

Result<Alignment> estimateAlignment(const PlaneChoice& choice, const Acquisition& acquisition)
{
    const ImFile& file = *acquisition.file();
    const int layer = choice.alignLayer.value_or(1);
    if (layer > acquisition.layerCount())
        return Failure{QStringLiteral("--align-layer %1 is out of range: %3 has layers 1 to %2.")
                           .arg(layer)
                           .arg(acquisition.layerCount())
                           .arg(acquisition.header().fileName)};
    if (choice.alignSpecies && *choice.alignSpecies > acquisition.speciesCount())
        return Failure{QStringLiteral("--align-species %1 is out of range: %3 has species 1 to %2.")
                           .arg(*choice.alignSpecies)
                           .arg(acquisition.speciesCount())
                           .arg(acquisition.header().fileName)};
    const int species =
        choice.alignSpecies ? *choice.alignSpecies - 1 : brightestSpecies(file, layer);
    if (acquisition.isExcluded(layer))
        return Failure{QStringLiteral("--align-layer %1 is excluded.").arg(layer)};
    AlignRequest request;
    request.species = species;
    request.referenceLayer = layer;
    request.settings = choice.alignSettings;
    request.excluded = acquisition.exclusionMask();
    request.subpixel = choice.alignSubpixel;
    Result<Alignment> alignment = alignLayers(file, request, nullptr);
    if (!alignment)
        return Failure{
            QStringLiteral("The layers cannot be aligned: %1").arg(alignment.error().message)};
    return *alignment;
}

Result<QList<PlaneSource>> chosenSources(const PlaneChoice& choice, const Acquisition& acquisition)
{
    if (choice.ratio) {
        const int count = acquisition.speciesCount();
        for (const int s : choice.ratio->species()) {
            if (s >= count)
                return Failure{QStringLiteral("--ratio names species %1: %3 has species 1 to %2.")
                                   .arg(s + 1)
                                   .arg(count)
                                   .arg(acquisition.header().fileName)};
        }
        return QList<PlaneSource>{PlaneSource{choice.ratio->numerator.first(), *choice.ratio}};
    }
    const Result<QList<int>> species = chosenSpecies(choice, acquisition);
    if (!species)
        return species.error();
    QList<PlaneSource> sources;
    for (const int s : *species)
        sources << PlaneSource{s, std::nullopt};
    return sources;
}

Result<QList<int>> chosenSpecies(const PlaneChoice& choice, const Acquisition& acquisition)
{
    const int count = acquisition.speciesCount();
    QList<int> species;
    if (choice.allSpecies) {
        for (int s = 0; s < count; ++s)
            species << s;
        return species;
    }
    const int s = choice.species.value_or(1);
    if (s > count)
        return Failure{QStringLiteral("--species %1 is out of range: %3 has species 1 to %2.")
                           .arg(s)
                           .arg(count)
                           .arg(acquisition.header().fileName)};
    return QList<int>{s - 1};
}

Result<QList<std::pair<int, int>>> chosenLayers(const PlaneChoice& choice,
                                                const Acquisition& acquisition)
{
    const int count = acquisition.layerCount();
    auto outOfRange = [&](const QString& option) {
        return Failure{QStringLiteral("%1 is out of range: %3 has layers 1 to %2.")
                           .arg(option)
                           .arg(count)
                           .arg(acquisition.header().fileName)};
    };
    if (choice.plane) {
        if (*choice.plane > count)
            return outOfRange(QStringLiteral("--plane %1").arg(*choice.plane));
        return QList<std::pair<int, int>>{{*choice.plane, *choice.plane}};
    }
    std::pair<int, int> range{1, choice.sum ? count : 1};
    if (choice.layers) {
        range = *choice.layers;
        if (range.second > count)
            return outOfRange(QStringLiteral("--layers %1-%2").arg(range.first).arg(range.second));
    }
    if (choice.sum || !choice.layers)
        return QList<std::pair<int, int>>{range};
    QList<std::pair<int, int>> each;
    for (int l = range.first; l <= range.second; ++l)
        each << std::pair{l, l};
    return each;
}

QString noValueWarning(const QString& what, const PlaneChoice& choice, bool ratio)
{
    QString why = QStringLiteral("the alignment shifts every pixel out of the frame");
    if (choice.corrections.deadTime)
        why = QStringLiteral("the dead time leaves every count saturated");
    else if (ratio)
        why = QStringLiteral("no pixel has a numerator of at least %1 and a denominator above %2")
                  .arg(numberText(choice.ratio->numeratorThreshold),
                       numberText(choice.ratio->denominatorThreshold));
    return QStringLiteral("%1: no pixel has a value, because %2.").arg(what, why);
}

ModeSession::ModeSession(const QCommandLineParser& parser, QTextStream& err)
    : m_parser(parser), m_err(err), m_warn([&err](const QString& m) { err << m << Qt::endl; })
{
}

bool ModeSession::start(const QString& mode, AllSpecies allSpecies)
{
    return readFile(mode) && readChoice(allSpecies);
}

bool ModeSession::readFile(const QString& mode)
{
    Result<QString> file = onlyFile(m_parser, mode);
    if (!file) {
        fail(file.error());
        return false;
    }
    m_path = *std::move(file);
    return true;
}

bool ModeSession::readChoice(AllSpecies allSpecies)
{
    Result<PlaneChoice> choice = readPlaneChoice(m_parser, allSpecies);
    if (!choice) {
        fail(choice.error());
        return false;
    }
    m_choice = *std::move(choice);
    return true;
}

int ModeSession::fail(const QString& message) const
{
    m_err << message << Qt::endl;
    return kFailureStatus;
}

} // namespace isolumen
