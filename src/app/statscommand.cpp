#include "app/statscommand.h"

#include "app/modesession.h"
#include "app/regionoptions.h"
#include "core/imfile/filetypes.h"
#include "core/imfile/imheader.h"
#include "core/io/analysisfile.h"
#include "core/io/csvwriter.h"
#include "core/io/replacingfile.h"
#include "core/progress.h"
#include "core/result.h"
#include "core/stats/profiles.h"
#include "core/stats/studytable.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>
#include <QThread>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <variant>

namespace isolumen {

namespace {

const QString kStats = QStringLiteral("stats");
const QString kPerLayer = QStringLiteral("per-layer");

QString layersText(int first, int last)
{
    return first == last ? QString::number(first) : QStringLiteral("%1-%2").arg(first).arg(last);
}

} // namespace

void addStatsOptions(QCommandLineParser& parser)
{
    parser.addOption({kStats, QStringLiteral("Print the statistics of regions of FILE.im as CSV "
                                             "and exit.")});
    parser.addOption({kPerLayer, QStringLiteral("With --stats: one row per layer.")});
}

bool isStatsRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kStats);
}

namespace {

using Cell = TableCell;
using Row = QList<Cell>;

const QStringList kColumns = {"region",   "class",         "species",      "layers", "pixels",
                              "area_um2", "sum",           "mean",         "sd",     "min",
                              "max",      "ratio_of_sums", "poisson_error"};

bool writeRow(CsvWriter& csv, const Row& row)
{
    for (const Cell& cell : row) {
        if (const QString* text = std::get_if<QString>(&cell))
            text->isEmpty() ? csv.empty() : csv.text(*text);
        else if (const double* number = std::get_if<double>(&cell))
            csv.number(*number);
        else
            csv.empty();
    }
    return csv.endRow();
}

// Whether regions must be given on the command line (--stats) or may come with each input.
enum class RegionOptions { MayBeAbsent, Required };

// Checks of the options that need no file.
Result<> statsOptionsProblem(const QCommandLineParser& parser, const PlaneChoice& choice,
                             RegionOptions regions)
{
    if (parser.isSet(kPerLayer) && (choice.plane || choice.sum))
        return Failure{QStringLiteral("--per-layer goes with --layers A-B or all layers, not "
                                      "with --plane or --sum.")};
    if (regions == RegionOptions::Required && !regionsGiven(parser))
        return Failure{QStringLiteral("--stats needs at least one region: --roi rect:X,Y,W,H (or "
                                      "ellipse:, polygon:), --rois FILE.json, --analysis "
                                      "FILE.isolumen, --find-regions or --regions-mask.")};
    if (const auto finding = readRegionFinding(parser); !finding)
        return finding.error();
    return {};
}

// The regions of the open acquisition, each covering a pixel.
Result<QList<Region>> measuredRegions(const QCommandLineParser& parser, const PlaneChoice& choice,
                                      const Acquisition& acquisition, const QString& path)
{
    Result<QList<Region>> regions = modeRegions(parser, choice, acquisition);
    if (!regions)
        return regions;
    const QString name = QFileInfo(path).fileName();
    if (regions->isEmpty())
        return Failure{QStringLiteral("%1: no region to measure.").arg(name)};
    const int side = *acquisition.frameSide();
    for (const Region& r : *regions) {
        if (regionPixels(r, side).empty())
            return Failure{
                QStringLiteral("%1: region %2 covers no pixel centre.").arg(name).arg(r.id)};
    }
    return regions;
}

// Every species (or those of --species), the ratios' rows after them.
Result<QList<PlaneSource>> measuredSources(PlaneChoice choice, const QList<RatioDefinition>& ratios,
                                           const Acquisition& acquisition)
{
    choice.ratio.reset();
    if (!choice.species)
        choice.allSpecies = true;
    Result<QList<PlaneSource>> sources = chosenSources(choice, acquisition);
    for (const RatioDefinition& ratio : ratios) {
        if (!sources)
            break;
        choice.ratio = ratio;
        const Result<QList<PlaneSource>> r = chosenSources(choice, acquisition);
        if (!r)
            return r.error();
        *sources << *r;
    }
    return sources;
}

// One range: a layer or a sum; per layer: each layer of the range (all by default), without
// the excluded ones.
Result<QList<std::pair<int, int>>> measuredLayers(PlaneChoice layers, bool perLayer,
                                                  const Acquisition& acquisition)
{
    if (layers.layers && !perLayer)
        layers.sum = true;
    if (perLayer && !layers.layers)
        layers.layers = std::pair{1, acquisition.layerCount()};
    Result<QList<std::pair<int, int>>> ranges = chosenLayers(layers, acquisition);
    if (perLayer && ranges)
        ranges->removeIf(
            [&](const std::pair<int, int>& r) { return acquisition.isExcluded(r.first); });
    return ranges;
}

Row rowOf(const StatsRow& row, const QString& regionClass, const Acquisition& acquisition)
{
    Row cells{double(row.region),
              regionClass,
              acquisition.sourceName(row.source).trimmed(),
              layersText(row.firstLayer, row.lastLayer),
              double(row.stats.pixels),
              row.stats.areaUm2};
    cells << (row.ratio ? Cell() : Cell(row.stats.sum)) << row.stats.mean << row.stats.sd
          << row.stats.min << row.stats.max;
    cells << (row.ratio ? Cell(row.ratio->ratio) : Cell())
          << (row.ratio ? Cell(row.ratio->poissonError) : Cell());
    return cells;
}

// The rows of one acquisition, its file opened, the choice and the regions put in force.
Result<QList<Row>> measure(const QCommandLineParser& parser, const PlaneChoice& choice,
                           const QList<RatioDefinition>& ratios, const QString& path,
                           const std::function<void(const QString&)>& warn)
{
    Acquisition acquisition;
    if (Result<> f = openForMode(acquisition, path, warn); !f)
        return f.error();
    if (Result<> f = applyChoice(choice, acquisition, warn); !f)
        return f.error();
    const auto regions = measuredRegions(parser, choice, acquisition, path);
    if (!regions)
        return regions.error();
    if (Result<> f = saveRegionsOption(parser, *regions); !f)
        return f.error();
    const auto sources = measuredSources(choice, ratios, acquisition);
    if (!sources)
        return sources.error();
    const auto ranges = measuredLayers(choice, parser.isSet(kPerLayer), acquisition);
    if (!ranges)
        return ranges.error();
    const QList<PlaneSource>& measured = *sources;
    const Result<QList<StatsRow>> rows = regionTable(
        acquisition, *regions, measured, *ranges, acquisition.request(measured.first()), nullptr);
    if (!rows)
        return rows.error();
    QHash<int, QString> classes; // by id
    for (const Region& r : *regions)
        classes.insert(r.id, r.regionClass);
    QList<Row> out;
    for (const StatsRow& row : *rows) {
        if (row.stats.valued == 0)
            warn(noValueWarning(QStringLiteral("Region %1 in %2, layers %3")
                                    .arg(row.region)
                                    .arg(acquisition.sourceName(row.source).trimmed(),
                                         layersText(row.firstLayer, row.lastLayer)),
                                choice, bool(row.source.ratio)));
        out << rowOf(row, classes.value(row.region), acquisition);
    }
    return out;
}

} // namespace

// ---- --study: one table for many acquisitions ----

namespace {

const QString kStudy = QStringLiteral("study");
const QString kJobs = QStringLiteral("jobs");

// The columns of --stats behind the acquisition's file name and the analysis's treatment.
QStringList studyColumns()
{
    return QStringList{QStringLiteral("file"), QStringLiteral("treatment")} + kColumns;
}

// What one input of a study gives: its rows, or why it has none; what it said on the way.
struct StudyPart
{
    QString file;      // the acquisition's file name
    QString treatment; // from the analysis file, else empty
    QList<Row> rows;
    std::optional<QString> failure;
    QStringList notes;
};

StudyPart measureInput(const QCommandLineParser& parser, PlaneChoice choice,
                       const QList<RatioDefinition>& ratios, const QString& input)
{
    StudyPart part;
    QString path = input;
    if (input.endsWith(QLatin1String(".isolumen"))) {
        Result<AnalysisFile> read = readAnalysisFile(input);
        if (!read) {
            part.failure = read.error().message;
            return part;
        }
        auto analysis = std::make_shared<const AnalysisFile>(std::move(*read));
        path = acquisitionArgument(*analysis, QFileInfo(input).path());
        part.treatment = analysis->read.value(QStringLiteral("treatment")).toString();
        choice.analysis = analysis;
        choice.analysisPath = input;
    } else if (!regionsGiven(parser)) {
        part.failure = QStringLiteral("%1: no regions: give an analysis file, or --roi, --rois or "
                                      "--find-regions.")
                           .arg(input);
        return part;
    }
    part.file = QFileInfo(path).fileName();
    auto rows = measure(parser, choice, ratios, path, [&](const QString& m) { part.notes << m; });
    if (!rows)
        part.failure = rows.error().message;
    else
        part.rows = *rows;
    return part;
}

// Measures every input on `jobs` threads; the parts come back in input order. Progress, when
// given, counts inputs and stops the work when cancelled (the parts not measured stay empty).
QList<StudyPart> measureStudy(const QCommandLineParser& parser, const PlaneChoice& choice,
                              const QList<RatioDefinition>& ratios, const QStringList& inputs,
                              int jobs, QTextStream& err, Progress* progress = nullptr)
{
    QList<StudyPart> parts(inputs.size());
    std::atomic<int> next{0}, done{0};
    const bool showProgress = !progress && ::isatty(STDERR_FILENO);
    QElapsedTimer clock;
    clock.start();
    std::mutex progressLock;
    const auto work = [&] {
        for (int i; !isCancelled(progress) && (i = next++) < inputs.size();) {
            parts[i] = measureInput(parser, choice, ratios, inputs[i]);
            const int finished = ++done;
            advance(progress);
            if (!showProgress)
                continue;
            const std::lock_guard<std::mutex> lock(progressLock);
            const qint64 left = clock.elapsed() * (inputs.size() - finished) / finished / 1000;
            err << QStringLiteral("\r%1 of %2 files, about %3 s left ")
                       .arg(finished)
                       .arg(inputs.size())
                       .arg(left)
                << Qt::flush;
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min<qsizetype>(jobs, inputs.size()); ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();
    if (showProgress)
        err << Qt::endl;
    return parts;
}

Result<> writeStudy(const QString& out, const QList<StudyPart>& parts)
{
    ReplacingFile file(out);
    if (!file.open())
        return Failure{file.errorString()};
    CsvWriter csv(file.device());
    Row header;
    for (const QString& column : studyColumns())
        header << column;
    bool ok = writeRow(csv, header);
    for (const StudyPart& part : parts) {
        for (const Row& row : part.rows)
            ok = ok && writeRow(csv, Row{part.file, part.treatment} + row);
    }
    if (!ok || !file.commit())
        return Failure{file.errorString()};
    return {};
}

} // namespace

void addStudyOptions(QCommandLineParser& parser)
{
    parser.addOption(
        {kStudy,
         QStringLiteral("Write one CSV of the region statistics of many inputs "
                        "(analysis files, or .im files with region options) and exit."),
         QStringLiteral("OUT.csv")});
    parser.addOption({kJobs,
                      QStringLiteral("With --study: acquisitions measured at once (default: the "
                                     "cores)."),
                      QStringLiteral("N")});
}

bool isStudyRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kStudy);
}

std::optional<StudyTable> measureStudyTable(const QCommandLineParser& parser,
                                                      const QStringList& inputs,
                                                      const QStringList& ratioTexts,
                                                      Progress& progress)
{
    StudyTable table;
    table.columns = studyColumns();
    progress.setTotal(inputs.size());
    const Result<PlaneChoice> parsed = readPlaneChoice(parser, AllSpecies::Accepted);
    if (!parsed) {
        table.problems << parsed.error().message;
        return table;
    }
    const PlaneChoice& choice = *parsed;
    QList<RatioDefinition> ratios = choice.ratios;
    for (const QString& text : ratioTexts) {
        const Result<RatioDefinition> ratio = parseRatioTerms(text, {});
        const QString why = ratio ? QString() : ratio.error().message;
        if (!ratio || ratio->denominator.isEmpty()) {
            table.problems
                << QStringLiteral("The ratio %1 is not N/D of species numbers: %2").arg(text, why);
            return table;
        }
        ratios << *ratio;
    }
    QString ignored;
    QTextStream quiet(&ignored);
    const QList<StudyPart> parts = measureStudy(
        parser, choice, ratios, inputs, std::max(1, QThread::idealThreadCount()), quiet, &progress);
    if (progress.cancelled())
        return std::nullopt;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (parts[i].failure)
            table.problems << *parts[i].failure;
        for (const Row& row : parts[i].rows)
            table.rows.push_back({inputs[i], Row{parts[i].file, parts[i].treatment} + row});
    }
    return table;
}

int runStudy(const QCommandLineParser& parser, QTextStream& err)
{
    ModeSession session(parser, err);
    const QStringList inputs = parser.positionalArguments();
    if (inputs.isEmpty())
        return session.fail(QStringLiteral("--study needs at least one input file."));
    if (!session.readChoice(AllSpecies::Accepted))
        return kFailureStatus;
    const PlaneChoice& choice = session.choice();
    if (Result<> f = statsOptionsProblem(parser, choice, RegionOptions::MayBeAbsent); !f)
        return session.fail(f.error());
    const std::optional<int> jobs =
        parser.isSet(kJobs) ? wholeNumber(parser.value(kJobs), 1, 1024)
                            : std::optional<int>(std::max(1, QThread::idealThreadCount()));
    if (!jobs)
        return session.fail(
            QStringLiteral("--jobs needs a whole number from 1: %1").arg(parser.value(kJobs)));
    const QList<StudyPart> parts = measureStudy(parser, choice, choice.ratios, inputs, *jobs, err);
    int failed = 0;
    for (const StudyPart& part : parts) {
        for (const QString& note : part.notes)
            err << note << Qt::endl;
        if (part.failure) {
            err << *part.failure << Qt::endl;
            ++failed;
        }
    }
    if (failed == parts.size())
        return session.fail(QStringLiteral("No input could be measured; %1 is not written.")
                                .arg(parser.value(kStudy)));
    if (const Result<> written = writeStudy(parser.value(kStudy), parts); !written)
        return session.fail(QStringLiteral("Cannot write %1: %2")
                                .arg(parser.value(kStudy), written.error().message));
    if (failed > 0) {
        err << QStringLiteral("%1 of %2 inputs failed; their rows are left out.")
                   .arg(failed)
                   .arg(parts.size())
            << Qt::endl;
        return 3; // partly done
    }
    return 0;
}

int runStats(const QCommandLineParser& parser, QTextStream& err)
{
    ModeSession session(parser, err);
    if (!session.start(QStringLiteral("--stats"), AllSpecies::Accepted))
        return kFailureStatus;
    const PlaneChoice& choice = session.choice();
    if (Result<> f = statsOptionsProblem(parser, choice, RegionOptions::Required); !f)
        return session.fail(f.error());
    const auto rows = measure(parser, choice, choice.ratios, session.path(), session.warn());
    if (!rows)
        return session.fail(rows.error());
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return session.fail(QStringLiteral("Cannot write to standard output."));
    CsvWriter csv(out);
    Row header;
    for (const QString& column : kColumns)
        header << column;
    writeRow(csv, header);
    for (const Row& row : *rows) {
        if (!writeRow(csv, row))
            return session.fail(QStringLiteral("Cannot write to standard output."));
    }
    return 0;
}

} // namespace isolumen
