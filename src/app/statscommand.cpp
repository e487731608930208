#include "app/statscommand.h"

#include "app/planeoptions.h"
#include "app/regionoptions.h"
#include "core/imfile/filetypes.h"
#include "core/io/csvwriter.h"
#include "core/stats/profiles.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>

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

int runStats(const QCommandLineParser& parser, QTextStream& err)
{
    auto fail = [&](const QString& message) {
        err << message << Qt::endl;
        return 2;
    };
    const std::variant<QString, Failure> file = onlyFile(parser, QStringLiteral("--stats"));
    if (const Failure* f = std::get_if<Failure>(&file))
        return fail(f->message);
    const QString& path = std::get<QString>(file);
    std::variant<PlaneChoice, Failure> parsed = readPlaneChoice(parser, true);
    if (const Failure* f = std::get_if<Failure>(&parsed))
        return fail(f->message);
    PlaneChoice choice = std::get<PlaneChoice>(parsed);
    const bool perLayer = parser.isSet(kPerLayer);
    if (perLayer && (choice.plane || choice.sum))
        return fail(QStringLiteral("--per-layer goes with --layers A-B or all layers, not with "
                                   "--plane or --sum."));
    if (!isolumen::regionsGiven(parser))
        return fail(QStringLiteral("--stats needs at least one region: --roi rect:X,Y,W,H (or "
                                   "ellipse:, polygon:), --rois FILE.json, --analysis "
                                   "FILE.isolumen, --find-regions or --regions-mask."));
    if (const auto finding = isolumen::readRegionFinding(parser);
        const Failure* f = std::get_if<Failure>(&finding))
        return fail(f->message);

    Acquisition acquisition;
    const auto warn = [&](const QString& m) { err << m << Qt::endl; };
    if (std::optional<Failure> f = openForMode(acquisition, path, warn))
        return fail(f->message);
    if (std::optional<Failure> f = applyChoice(choice, acquisition, warn))
        return fail(f->message);
    const std::variant<QList<Region>, Failure> regions =
        isolumen::modeRegions(parser, choice, acquisition);
    if (const Failure* f = std::get_if<Failure>(&regions))
        return fail(f->message);
    if (std::get<QList<Region>>(regions).isEmpty())
        return fail(QStringLiteral("%1: no region to measure.").arg(QFileInfo(path).fileName()));
    if (std::optional<Failure> f =
            isolumen::saveRegionsOption(parser, std::get<QList<Region>>(regions)))
        return fail(f->message);
    const int side = *acquisition.frameSide();
    for (const Region& r : std::get<QList<Region>>(regions)) {
        if (regionPixels(r, side).empty())
            return fail(QStringLiteral("%1: region %2 covers no pixel centre.")
                            .arg(QFileInfo(path).fileName())
                            .arg(r.id));
    }

    // Every species (or those of --species), the ratio's row after them.
    QList<PlaneSource> sources;
    const std::optional<RatioSpec> ratio = choice.ratio;
    choice.ratio.reset();
    if (!choice.species)
        choice.allSpecies = true;
    const std::variant<QList<PlaneSource>, Failure> species = chosenSources(choice, acquisition);
    if (const Failure* f = std::get_if<Failure>(&species))
        return fail(f->message);
    sources = std::get<QList<PlaneSource>>(species);
    if (ratio) {
        choice.ratio = ratio;
        const std::variant<QList<PlaneSource>, Failure> r = chosenSources(choice, acquisition);
        if (const Failure* f = std::get_if<Failure>(&r))
            return fail(f->message);
        sources << std::get<QList<PlaneSource>>(r);
    }

    // One range: a layer or a sum; per layer: each layer of the range (all by default).
    PlaneChoice layers = choice;
    if (layers.layers && !perLayer)
        layers.sum = true;
    if (perLayer && !layers.layers)
        layers.layers = std::pair{1, acquisition.layerCount()};
    std::variant<QList<std::pair<int, int>>, Failure> ranges = chosenLayers(layers, acquisition);
    if (const Failure* f = std::get_if<Failure>(&ranges))
        return fail(f->message);
    // A profile has no row for an excluded layer (a sum leaves it out by itself).
    if (perLayer)
        std::get<QList<std::pair<int, int>>>(ranges).removeIf(
            [&](const std::pair<int, int>& r) { return acquisition.isExcluded(r.first); });

    QString error;
    const std::optional<QList<StatsRow>> rows =
        regionTable(acquisition, std::get<QList<Region>>(regions), sources,
                    std::get<QList<std::pair<int, int>>>(ranges),
                    acquisition.request(sources.first()), nullptr, &error);
    if (!rows)
        return fail(error);

    for (const StatsRow& row : *rows) {
        if (row.stats.valued == 0)
            warn(noValueWarning(QStringLiteral("Region %1 in %2, layers %3")
                                    .arg(row.region)
                                    .arg(acquisition.sourceName(row.source).trimmed(),
                                         layersText(row.firstLayer, row.lastLayer)),
                                choice, bool(row.source.ratio)));
    }
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return fail(QStringLiteral("Cannot write to standard output."));
    CsvWriter csv(out);
    for (const char* column : {"region", "class", "species", "layers", "pixels", "area_um2", "sum",
                               "mean", "sd", "min", "max", "ratio_of_sums", "poisson_error"})
        csv.text(QLatin1String(column));
    csv.endRow();
    QHash<int, QString> classes; // by id
    for (const Region& r : std::get<QList<Region>>(regions))
        classes.insert(r.id, r.regionClass);
    for (const StatsRow& row : *rows) {
        csv.number(row.region);
        if (const QString c = classes.value(row.region); c.isEmpty())
            csv.empty();
        else
            csv.text(c);
        csv.text(acquisition.sourceName(row.source).trimmed())
            .text(layersText(row.firstLayer, row.lastLayer))
            .number(double(row.stats.pixels))
            .number(row.stats.areaUm2);
        if (row.ratio)
            csv.empty();
        else
            csv.number(row.stats.sum);
        csv.number(row.stats.mean).number(row.stats.sd).number(row.stats.min).number(row.stats.max);
        if (row.ratio)
            csv.number(row.ratio->ratio).number(row.ratio->poissonError);
        else
            csv.empty().empty();
        if (!csv.endRow())
            return fail(QStringLiteral("Cannot write to standard output."));
    }
    return 0;
}
