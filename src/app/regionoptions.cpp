#include "app/regionoptions.h"

#include "app/modesession.h"
#include "core/imfile/filetypes.h"
#include "core/io/labelmask.h"
#include "core/io/replacingfile.h"
#include "core/model/plane.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cmath>
#include <limits>

namespace isolumen {

namespace {

const QString kRoi = QStringLiteral("roi");
const QString kRois = QStringLiteral("rois");
const QString kFindRegions = QStringLiteral("find-regions");
const QString kSmooth = QStringLiteral("smooth");
const QString kThreshold = QStringLiteral("threshold");
const QString kSplit = QStringLiteral("split");
const QString kMinArea = QStringLiteral("min-area");
const QString kMaxArea = QStringLiteral("max-area");
const QString kExcludeEdge = QStringLiteral("exclude-edge");
const QString kRegionsMask = QStringLiteral("regions-mask");
const QString kSaveRegions = QStringLiteral("save-regions");
const QString kExportMask = QStringLiteral("export-mask");

// The options that shape how regions are found; each needs --find-regions.
const QStringList kFindingOptions = {kSmooth, kThreshold, kSplit, kMinArea, kMaxArea, kExcludeEdge};

// --threshold otsu, pP (a percentile) or a value.
bool readThreshold(const QString& text, SegmentationOptions& o)
{
    if (text == QLatin1String("otsu")) {
        o.threshold = SegmentationOptions::Threshold::Otsu;
        return true;
    }
    const bool percentile = text.startsWith(QLatin1Char('p'));
    const std::optional<double> v = realNumber(percentile ? text.mid(1) : text);
    if (!v || (percentile && (*v < 0 || *v > 100)))
        return false;
    o.threshold = percentile ? SegmentationOptions::Threshold::Percentile
                             : SegmentationOptions::Threshold::Value;
    o.thresholdValue = *v;
    return true;
}

Result<> readShaping(const QCommandLineParser& parser, SegmentationOptions& o)
{
    const auto number = [&](const QString& name, double& into) {
        const std::optional<double> v = realNumber(parser.value(name));
        if (!parser.isSet(name) || (v && *v >= 0)) {
            into = v.value_or(into);
            return true;
        }
        return false;
    };
    for (const auto& [name, into] :
         {std::pair{kSmooth, &o.smoothSigma}, std::pair{kMinArea, &o.minArea},
          std::pair{kMaxArea, &o.maxArea}}) {
        if (!number(name, *into))
            return Failure{
                QStringLiteral("--%1 needs a number from 0: %2").arg(name, parser.value(name))};
    }
    if (o.minArea > o.maxArea)
        return Failure{QStringLiteral("--min-area is above --max-area.")};
    if (parser.isSet(kThreshold) && !readThreshold(parser.value(kThreshold), o))
        return Failure{QStringLiteral("--threshold needs otsu, a value, or a percentile such as "
                                      "p95: %1")
                           .arg(parser.value(kThreshold))};
    if (parser.isSet(kSplit)) {
        const std::optional<int> d =
            wholeNumber(parser.value(kSplit), 1, std::numeric_limits<int>::max());
        if (!d)
            return Failure{QStringLiteral("--split needs a whole number of pixels from 1: %1")
                               .arg(parser.value(kSplit))};
        o.splitMinDistance = *d;
    }
    o.excludeEdge = parser.isSet(kExcludeEdge);
    return {};
}

} // namespace

Result<QList<Region>> shapeRegions(const QCommandLineParser& parser)
{
    QList<Region> regions;
    if (parser.isSet(kRois)) {
        QFile file(parser.value(kRois));
        if (const QString problem = specialFileProblem(file.fileName()); !problem.isEmpty())
            return Failure{problem};
        if (!file.open(QIODevice::ReadOnly))
            return Failure{
                QStringLiteral("Cannot read %1: %2").arg(file.fileName(), file.errorString())};
        const Result<QList<Region>> loaded = regionsFromJson(file.readAll());
        if (!loaded)
            return Failure{QStringLiteral("%1 is not a regions file: %2")
                               .arg(file.fileName(), loaded.error().message)};
        regions = *loaded;
    }
    for (const QString& shape : parser.values(kRoi)) {
        const Result<Region> r = parseRegion(shape);
        if (!r)
            return Failure{QStringLiteral("--roi %1: %2").arg(shape, r.error().message)};
        regions << *r;
    }
    return regions;
}

bool regionsGiven(const QCommandLineParser& parser)
{
    return parser.isSet(kRoi) || parser.isSet(kRois) || parser.isSet(kFindRegions) ||
           parser.isSet(kRegionsMask) || parser.isSet(QStringLiteral("analysis"));
}

Result<QList<Region>> modeRegions(const QCommandLineParser& parser, const PlaneChoice& choice,
                                  const Acquisition& acquisition)
{
    Result<QList<Region>> shapes = shapeRegions(parser);
    if (!shapes)
        return shapes.error();
    Result<QList<Region>> pictures = pictureRegions(parser, choice, acquisition);
    if (!pictures)
        return pictures.error();
    QList<Region> regions = *shapes + *pictures;
    // Regions given beside an analysis take the place of its own; a find that finds nothing
    // gives none.
    if (regions.isEmpty() && !parser.isSet(kFindRegions) && !parser.isSet(kRegionsMask))
        regions = acquisition.regions();
    int nextId = 1;
    numberRegions(regions, nextId); // a file's ids stay; the others follow them
    return regions;
}

void addRegionOptions(QCommandLineParser& parser)
{
    const QString with = QStringLiteral("With --stats, --export-mask or --export --outlines: ");
    parser.addOption({kRoi,
                      with + QStringLiteral("a region, rect:X,Y,W,H, ellipse:X,Y,W,H or "
                                            "polygon:x1,y1,x2,y2,... (shown pixels); repeatable."),
                      QStringLiteral("SHAPE")});
    parser.addOption(
        {kRois, with + QStringLiteral("regions from a JSON file."), QStringLiteral("FILE.json")});
    parser.addOption({kFindRegions,
                      with + QStringLiteral("find cells in a species (2), a sum (1+2) or a ratio "
                                            "(2/1), summed over the layers chosen (all by "
                                            "default)."),
                      QStringLiteral("SOURCE")});
    parser.addOption({kSmooth,
                      QStringLiteral("With --find-regions: Gaussian sigma in pixels "
                                     "(default 1; 0 for none)."),
                      QStringLiteral("S")});
    parser.addOption({kThreshold,
                      QStringLiteral("With --find-regions: otsu (default), a value, or a "
                                     "percentile such as p95."),
                      QStringLiteral("T")});
    parser.addOption({kSplit,
                      QStringLiteral("With --find-regions: split touching cells, seeds at least D "
                                     "pixels apart."),
                      QStringLiteral("D")});
    parser.addOption({kMinArea, QStringLiteral("With --find-regions: the least area in pixels."),
                      QStringLiteral("A")});
    parser.addOption({kMaxArea, QStringLiteral("With --find-regions: the largest area in pixels."),
                      QStringLiteral("A")});
    parser.addOption({kExcludeEdge,
                      QStringLiteral("With --find-regions: leave out cells at the frame's edge.")});
    parser.addOption({kRegionsMask,
                      with + QStringLiteral("one region per label of an 8- or 16-bit label "
                                            "image (TIFF or PNG)."),
                      QStringLiteral("IN.tif")});
    parser.addOption(
        {kSaveRegions,
         QStringLiteral("With --stats or --export-mask: write the regions as JSON too."),
         QStringLiteral("OUT.json")});
    parser.addOption({kExportMask,
                      QStringLiteral("Write the regions of FILE.im as a 16-bit label TIFF, each "
                                     "region's pixels holding its id, and exit."),
                      QStringLiteral("OUT.tif")});
}

Result<std::optional<RegionFinding>> readRegionFinding(const QCommandLineParser& parser)
{
    if (!parser.isSet(kFindRegions)) {
        for (const QString& name : kFindingOptions) {
            if (parser.isSet(name))
                return Failure{QStringLiteral("--%1 goes with --find-regions.").arg(name)};
        }
        return std::optional<RegionFinding>();
    }
    std::optional<RegionFinding> f = parseFindingSource(parser.value(kFindRegions), {});
    if (!f)
        return Failure{QStringLiteral("--find-regions needs a species (2), a sum (1+2) or a "
                                      "ratio (2/1), from 1: %1")
                           .arg(parser.value(kFindRegions))};
    if (Result<> bad = readShaping(parser, f->options); !bad)
        return bad.error();
    return f;
}

Result<QList<Region>> pictureRegions(const QCommandLineParser& parser, const PlaneChoice& choice,
                                     const Acquisition& acquisition)
{
    Result<std::optional<RegionFinding>> finding = readRegionFinding(parser);
    if (!finding)
        return finding.error();
    QList<Region> regions;
    const int side = acquisition.frameSide().value_or(0);
    if (const std::optional<RegionFinding>& f = *finding) {
        PlaneChoice layers = choice;
        layers.sum = true;
        const auto ranges = chosenLayers(layers, acquisition);
        if (!ranges)
            return ranges.error();
        const auto plane = findingPlane(*f, ranges->first(), acquisition);
        if (!plane)
            return plane.error();
        regions << foundRegions(**plane, f->options);
    }
    if (parser.isSet(kRegionsMask)) {
        const Result<QList<Region>> mask = readRegionMask(parser.value(kRegionsMask), side);
        if (!mask)
            return mask.error();
        regions << *mask;
    }
    return regions;
}

Result<> saveRegionsOption(const QCommandLineParser& parser, const QList<Region>& regions)
{
    if (!parser.isSet(kSaveRegions))
        return {};
    ReplacingFile file(parser.value(kSaveRegions));
    if (!file.open() || file.device().write(regionsToJson(regions)) < 0 || !file.commit())
        return Failure{QStringLiteral("Cannot write %1: %2")
                           .arg(parser.value(kSaveRegions), file.errorString())};
    return {};
}

bool isMaskExportRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kExportMask);
}

int runMaskExport(const QCommandLineParser& parser, QTextStream& err)
{
    ModeSession session(parser, err);
    if (!session.start(QStringLiteral("--export-mask"), AllSpecies::Refused))
        return kFailureStatus;
    if (!regionsGiven(parser))
        return session.fail(
            QStringLiteral("--export-mask needs regions: --roi, --rois, --analysis, "
                           "--find-regions or --regions-mask."));
    const PlaneChoice& choice = session.choice();
    const QString& path = session.path();
    const auto& warn = session.warn();
    Acquisition acquisition;
    if (Result<> f = openForMode(acquisition, path, warn); !f)
        return session.fail(f.error());
    if (Result<> f = applyChoice(choice, acquisition, warn); !f)
        return session.fail(f.error());
    const Result<QList<Region>> regions = modeRegions(parser, choice, acquisition);
    if (!regions)
        return session.fail(regions.error());
    if (Result<> f = saveRegionsOption(parser, *regions); !f)
        return session.fail(f.error());
    const QList<Region>& found = *regions;
    if (const Result<> written =
            writeRegionMask(parser.value(kExportMask), found, *acquisition.frameSide(),
                            acquisition.header().micronsPerPixel());
        !written)
        return session.fail(written.error());
    if (found.isEmpty())
        warn(QStringLiteral("%1: no region was found; the mask is empty.")
                 .arg(QFileInfo(path).fileName()));
    return 0;
}

} // namespace isolumen
