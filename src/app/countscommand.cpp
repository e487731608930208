#include "app/countscommand.h"

#include "app/modesession.h"
#include "core/io/countpage.h"
#include "core/result.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>

namespace isolumen {

namespace {

const QString kExportCounts = QStringLiteral("export-counts");

} // namespace

void addCountsOptions(QCommandLineParser& parser)
{
    parser.addOption({kExportCounts,
                      QStringLiteral("Write the counts of FILE.im (species, layers, sums, ratios) "
                                     "as a multi-page TIFF OUT and exit."),
                      QStringLiteral("OUT")});
}

bool isCountsExportRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kExportCounts);
}

namespace {

// The pages of the counts: layer by layer, the species in the file's order within each.
QList<PlaneRequest> countPages(const Acquisition& acquisition, const QList<PlaneSource>& species,
                               const QList<std::pair<int, int>>& ranges)
{
    QList<PlaneRequest> pages;
    for (const auto& [first, last] : ranges) {
        for (const PlaneSource& source : species) {
            PlaneRequest r = acquisition.request(source);
            r.firstLayer = first;
            r.lastLayer = last;
            pages << r;
        }
    }
    return pages;
}

// Writes the counts of the choice's sources and layers to out.
Result<> writeCounts(const QString& out, Acquisition& acquisition, const PlaneChoice& choice,
                     const QList<PlaneSource>& species, const QList<std::pair<int, int>>& ranges,
                     const std::function<void(const QString&)>& warn)
{
    const QList<PlaneRequest> pages = countPages(acquisition, species, ranges);
    QStringList names;
    for (const PlaneRequest& page : pages)
        names << acquisition.title(page);
    const CountStack stack{*acquisition.frameSide(), acquisition.header().micronsPerPixel(),
                           int(species.size()), int(ranges.size()), names};
    return writeCountTiff(out, stack, pages.first(), acquisition.file()->widestSample(),
                          [&](int i) -> Result<PlanePtr> {
                              const Result<PlaneResult> result = acquisition.plane(pages[i]);
                              if (!result)
                                  return result.error();
                              if (!result->shown->hasValues)
                                  warn(noValueWarning(acquisition.title(pages[i]), choice,
                                                      bool(pages[i].source.ratio)));
                              return result->shown;
                          });
}

} // namespace

int runCountsExport(const QCommandLineParser& parser, QTextStream& err)
{
    ModeSession session(parser, err);
    const QString out = parser.value(kExportCounts);
    if (!session.readFile(QStringLiteral("--export-counts")))
        return kFailureStatus;
    const QString suffix = QFileInfo(out).suffix().toLower();
    if (suffix != QLatin1String("tif") && suffix != QLatin1String("tiff"))
        return session.fail(
            QStringLiteral("Counts are written as TIFF: name the file .tif or .tiff, not %1.")
                .arg(out));
    if (!session.readChoice(AllSpecies::Accepted))
        return kFailureStatus;
    const QString& path = session.path();
    const PlaneChoice& choice = session.choice();

    Acquisition acquisition;
    // Each page is asked for once: a sum is written and let go.
    acquisition.setSumCacheBudget(0);
    if (Result<> f = openForMode(acquisition, path, session.warn()); !f)
        return session.fail(f.error());
    if (readsFile(path, out))
        return session.fail(QStringLiteral("The counts would replace the .im file: %1").arg(out));
    if (Result<> f = applyChoice(choice, acquisition, session.warn()); !f)
        return session.fail(f.error());
    const Result<QList<PlaneSource>> sources = chosenSources(choice, acquisition);
    if (!sources)
        return session.fail(sources.error());
    const Result<QList<std::pair<int, int>>> layers = chosenLayers(choice, acquisition);
    if (!layers)
        return session.fail(layers.error());
    if (const Result<> written =
            writeCounts(out, acquisition, choice, *sources, *layers, session.warn());
        !written)
        return session.fail(written.error());
    return 0;
}

} // namespace isolumen
