#include "app/exportcommand.h"

#include "app/modesession.h"
#include "app/overlayexport.h"
#include "app/regionoptions.h"
#include "core/io/picturewriter.h"
#include "core/render/colourmapping.h"
#include "core/render/displaypictures.h"
#include "core/render/displaysettings.h"
#include "core/render/figure.h"
#include "core/render/hsi.h"
#include "core/result.h"
#include "core/text/numbertext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace isolumen {

namespace {

const QString kExport = QStringLiteral("export");
const QString kTable = QStringLiteral("table");
const QString kMin = QStringLiteral("min");
const QString kMax = QStringLiteral("max");
const QString kLog = QStringLiteral("log");
const QString kLow = QStringLiteral("low");
const QString kHigh = QStringLiteral("high");
const QString kLayout = QStringLiteral("layout");
const QString kHsi = QStringLiteral("hsi");
const QString kRMin = QStringLiteral("rmin");
const QString kRMax = QStringLiteral("rmax");
const QString kHsiBrightness = QStringLiteral("hsi-brightness");
const QString kAutoPercentile = QStringLiteral("auto-percentile");
const QString kOutlines = QStringLiteral("outlines");
const QString kTitle = QStringLiteral("title");

// "LOW,HIGH": two percentiles with 0 <= LOW < HIGH <= 100.
std::optional<AutoRangeChoice> percentiles(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<double> low = realNumber(parts[0]);
    const std::optional<double> high = realNumber(parts[1]);
    if (!low || !high || !(0 <= *low && *low < *high && *high <= 100))
        return std::nullopt;
    return AutoRangeChoice{AutoRange::Percentile, *low, *high};
}

std::optional<QRgb> colour(const QString& text)
{
    static const QRegularExpression sixHex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    if (!sixHex.match(text).hasMatch())
        return std::nullopt;
    return text.toUInt(nullptr, 16);
}

struct ExportRequest
{
    QString out;
    QString in;
    PlaneChoice planes;
    DisplaySettings settings;
    QString minText; // the manual limits as typed
    QString maxText;
    bool figure = false;
    FigureOptions figureOptions;
    std::optional<HsiBrightness> hsi;
};

// What --layout, --outlines and --title ask for, and whether the picture format suits them.
Result<> readFigureOptions(const QCommandLineParser& parser, ExportRequest& r)
{
    const QString layout = parser.isSet(kLayout) ? parser.value(kLayout) : QStringLiteral("image");
    if (layout != QLatin1String("image") && layout != QLatin1String("figure"))
        return Failure{QStringLiteral("--layout is either image or figure, not %1.").arg(layout)};
    r.figure = layout == QLatin1String("figure");
    if (isVectorFigureFileName(r.out) && !r.figure)
        return Failure{QStringLiteral("%1: SVG and PDF files hold figures only: add --layout "
                                      "figure.")
                           .arg(r.out)};
    for (const QString& name : {kOutlines, kTitle}) {
        if (parser.isSet(name) && !r.figure)
            return Failure{QStringLiteral("--%1 goes with --layout figure.").arg(name)};
    }
    // Regions of their own serve the outlines only; an analysis also serves its settings.
    for (const char* name : {"roi", "rois", "find-regions", "regions-mask", "save-regions"}) {
        if (parser.isSet(QLatin1String(name)) && !parser.isSet(kOutlines))
            return Failure{QStringLiteral("--%1 goes with --outlines.").arg(QLatin1String(name))};
    }
    if (const auto finding = readRegionFinding(parser); !finding)
        return finding.error();
    if (parser.isSet(kOutlines)) {
        if (!regionsGiven(parser))
            return Failure{QStringLiteral("--outlines needs regions: --roi, --rois FILE.json, "
                                          "--analysis FILE.isolumen, --find-regions or "
                                          "--regions-mask.")};
        r.figureOptions.outlines = FigureOutlines::Numbers;
    }
    r.figureOptions.title = parser.value(kTitle);
    return {};
}

// The picture to write and the file it shows.
Result<> readFiles(const QCommandLineParser& parser, ExportRequest& r)
{
    r.out = parser.value(kExport);
    if (r.out.isEmpty())
        return Failure{QStringLiteral("--export needs the name of the picture to write.")};
    Result<QString> in = onlyFile(parser, QStringLiteral("--export"));
    if (!in)
        return in.error();
    r.in = *in;
    const std::optional<PictureFormat> format = pictureFormatFor(r.out);
    if (!format && !isVectorFigureFileName(r.out))
        return Failure{QStringLiteral("Cannot tell the picture format of %1: use .png, .tif, "
                                      ".tiff, .bmp, .jpg or .jpeg (or, for a figure, .svg or "
                                      ".pdf).")
                           .arg(r.out)};
    if (format && !canWritePictures(*format))
        return Failure{QStringLiteral("This build cannot write %1 pictures.")
                           .arg(QString::fromLatin1(pictureFormatName(*format)))};
    return {};
}

// --table, --low and --high.
Result<> readColours(const QCommandLineParser& parser, ExportRequest& r)
{
    int table = DisplaySettings::kDefaultTable + 1;
    if (parser.isSet(kTable)) {
        const std::optional<int> t = wholeNumber(parser.value(kTable), 1, kTableCount);
        if (!t)
            return Failure{QStringLiteral("--table needs a table number from 1 to %1: %2")
                               .arg(QString::number(kTableCount), parser.value(kTable))};
        table = *t;
    }
    ColourChoice colours;
    colours.table = table - 1;
    for (const auto& [name, into] :
         {std::pair{kLow, &colours.low}, std::pair{kHigh, &colours.high}}) {
        if (!parser.isSet(name))
            continue;
        const std::optional<QRgb> c = colour(parser.value(name));
        if (!c)
            return Failure{QStringLiteral("--%1 needs a colour of six hex digits (RRGGBB): %2")
                               .arg(name, parser.value(name))};
        *into = *c;
    }
    setColours(r.settings, colours);
    return {};
}

// --log, --auto-percentile, --min and --max.
Result<> readRange(const QCommandLineParser& parser, ExportRequest& r)
{
    r.settings.logScale = parser.isSet(kLog);
    if (parser.isSet(kAutoPercentile)) {
        const std::optional<AutoRangeChoice> p =
            percentiles(parser.value(kAutoPercentile));
        if (!p)
            return Failure{QStringLiteral("--auto-percentile needs two percentiles LOW,HIGH with "
                                          "0 <= LOW < HIGH <= 100: %1")
                               .arg(parser.value(kAutoPercentile))};
        r.settings.autoRange = *p;
    }
    r.settings.autoMin = !parser.isSet(kMin);
    r.settings.autoMax = !parser.isSet(kMax);
    r.minText = parser.value(kMin);
    r.maxText = parser.value(kMax);
    for (const QString& name : {kMin, kMax, kRMin, kRMax}) {
        if (parser.isSet(name) && !realNumber(parser.value(name)))
            return Failure{QStringLiteral("--%1 needs a number: %2").arg(name, parser.value(name))};
    }
    return {};
}

// --hsi with its brightness and the ratio's range as the hue range.
Result<> readHsi(const QCommandLineParser& parser, ExportRequest& r)
{
    if (!parser.isSet(kHsi)) {
        for (const QString& name : {kRMin, kRMax, kHsiBrightness}) {
            if (parser.isSet(name))
                return Failure{QStringLiteral("--%1 goes with --hsi.").arg(name)};
        }
        return {};
    }
    if (!r.planes.ratio)
        return Failure{QStringLiteral("--hsi shows a ratio: give --ratio N/D.")};
    r.hsi = hsiBrightnessNamed(parser.isSet(kHsiBrightness) ? parser.value(kHsiBrightness)
                                                            : QStringLiteral("den"));
    if (!r.hsi)
        return Failure{QStringLiteral("--hsi-brightness is den, num, max or mean, not %1.")
                           .arg(parser.value(kHsiBrightness))};
    for (const auto& [name, automatic, text] :
         {std::tuple{kRMin, &r.settings.autoMin, &r.minText},
          std::tuple{kRMax, &r.settings.autoMax, &r.maxText}}) {
        if (parser.isSet(name)) {
            *automatic = false;
            *text = parser.value(name);
        }
    }
    return {};
}

// The options, checked without touching any file.
Result<ExportRequest> readOptions(const QCommandLineParser& parser)
{
    ExportRequest r;
    if (Result<> f = readFiles(parser, r); !f)
        return f.error();
    Result<PlaneChoice> planes = readPlaneChoice(parser, AllSpecies::Refused);
    if (!planes)
        return planes.error();
    r.planes = *planes;
    if (r.planes.layers && !r.planes.sum)
        return Failure{QStringLiteral("A picture shows one plane: --layers needs --sum.")};
    for (const auto read : {readColours, readRange, readHsi, readFigureOptions}) {
        if (Result<> f = read(parser, r); !f)
            return f.error();
    }
    return r;
}

// The regions a figure outlines, kept where --save-regions says too.
Result<> outlinedRegions(FigureContent& content, const QCommandLineParser& parser,
                         const ExportRequest& r, const Acquisition& acquisition)
{
    Result<QList<Region>> regions = modeRegions(parser, r.planes, acquisition);
    if (!regions)
        return regions.error();
    content.regions = *regions;
    return saveRegionsOption(parser, content.regions);
}

// The picture an image window of the request would show, drawn by the window's own cores,
// with what a figure of it shows besides.
Result<FigureContent> drawPicture(ExportRequest& r, const QCommandLineParser& parser,
                                  QTextStream& err)
{
    Acquisition acquisition;
    const auto warn = [&](const QString& m) { err << m << Qt::endl; };
    if (Result<> f = openForMode(acquisition, r.in, warn); !f)
        return f.error();
    if (Result<> f = applyChoice(r.planes, acquisition, warn); !f)
        return f.error();
    if (isOverlayRequested(parser)) {
        Result<QImage> overlay = overlayPictureOf(parser, r.planes, acquisition);
        if (!overlay)
            return overlay.error();
        return FigureContent{*overlay, {}, {}, 0, {}};
    }
    const Result<QList<PlaneSource>> sources = chosenSources(r.planes, acquisition);
    if (!sources)
        return sources.error();
    const Result<QList<std::pair<int, int>>> layers = chosenLayers(r.planes, acquisition);
    if (!layers)
        return layers.error();

    PlaneRequest request = acquisition.request(sources->first());
    std::tie(request.firstLayer, request.lastLayer) = layers->first();
    const Result<PlaneResult> loaded = acquisition.plane(request);
    if (!loaded)
        return loaded.error();
    const PlaneResult& planes = *loaded;
    settleDisplayRange(r.settings, *planes.shown, r.minText, r.maxText);
    if (!planes.shown->hasValues)
        warn(noValueWarning(acquisition.title(request), r.planes, bool(request.source.ratio)));
    else if (planes.saturatedPixels > 0)
        warn(QStringLiteral("%1 pixels have no value: the detector was saturated there.")
                 .arg(planes.saturatedPixels));
    const double micronSize = acquisition.header().micronSize;
    const std::optional<DisplayPictures> pictures =
        r.hsi ? hsiDisplayPictures(planes, r.settings, *r.hsi, micronSize)
              : displayPictures(*planes.shown, r.settings, micronSize);
    if (!pictures)
        return Failure{QStringLiteral("%1: the display range is empty (minimum %2, maximum %3): "
                                      "nothing would be drawn.")
                           .arg(QFileInfo(r.in).fileName(), numberText(r.settings.minValue),
                                numberText(r.settings.maxValue))};
    if (!pictures->scaleProblem.isEmpty())
        err << pictures->scaleProblem << Qt::endl;
    FigureContent content{pictures->image,
                          FigureColourBar{r.hsi ? hueTable() : r.settings.lut, r.settings.maxValue,
                                          r.settings.minValue, r.settings.logScale},
                          {},
                          micronSize,
                          {}};
    if (r.figureOptions.outlines != FigureOutlines::None) {
        if (Result<> f = outlinedRegions(content, parser, r, acquisition); !f)
            return f.error();
    }
    return content;
}

Result<> save(const FigureContent& content, const ExportRequest& r)
{
    if (readsFile(r.in, r.out))
        return Failure{
            QStringLiteral("The picture would replace the .im file it shows: %1").arg(r.out)};
    // The same writing as "Save Image As...": complete or not at all.
    const Result<> written = r.figure ? writeFigure(content, r.figureOptions, r.out)
                                      : writePicture(content.picture, r.out);
    if (!written)
        return Failure{QStringLiteral("Cannot write %1: %2").arg(r.out, written.error().message)};
    return {};
}

} // namespace

void addExportOptions(QCommandLineParser& parser)
{
    addOverlayOptions(parser);
    parser.addOption({kExport,
                      QStringLiteral("Write the picture an image window shows of FILE.im to OUT "
                                     "(.png, .tif, .tiff, .bmp, .jpg or .jpeg) and exit."),
                      QStringLiteral("OUT")});
    parser.addOption({kTable,
                      QStringLiteral("With --export: the colour table, 1 to %1 (default %2).")
                          .arg(kTableCount)
                          .arg(DisplaySettings::kDefaultTable + 1),
                      QStringLiteral("T")});
    parser.addOption({kMin,
                      QStringLiteral("With --export: a manual minimum (default: the layer's)."),
                      QStringLiteral("X")});
    parser.addOption({kMax,
                      QStringLiteral("With --export: a manual maximum (default: the layer's)."),
                      QStringLiteral("Y")});
    parser.addOption({kLog, QStringLiteral("With --export: a logarithmic value axis.")});
    parser.addOption({kAutoPercentile,
                      QStringLiteral("With --export: the automatic range from the values at "
                                     "percentiles LOW and HIGH of the pixels with a value "
                                     "(default: the minimum and maximum)."),
                      QStringLiteral("LOW,HIGH")});
    parser.addOption({kLow,
                      QStringLiteral("With --export: the colour below the range (default 999999)."),
                      QStringLiteral("RRGGBB")});
    parser.addOption({kHigh,
                      QStringLiteral("With --export: the colour above the range (default FFFFFF)."),
                      QStringLiteral("RRGGBB")});
    parser.addOption({kHsi, QStringLiteral("With --export and --ratio: an HSI image.")});
    parser.addOption({kRMin,
                      QStringLiteral("With --hsi: the ratio at the blue end (default: the "
                                     "smallest ratio)."),
                      QStringLiteral("R")});
    parser.addOption({kRMax,
                      QStringLiteral("With --hsi: the ratio at the red end (default: the "
                                     "largest ratio)."),
                      QStringLiteral("R")});
    parser.addOption(
        {kHsiBrightness,
         QStringLiteral("With --hsi: brightness from den (default), num, max or mean."),
         QStringLiteral("MODE")});
    parser.addOption({kLayout,
                      QStringLiteral("With --export: image (the framed image alone, default) or "
                                     "figure (image, colour bar and scale bar as the window "
                                     "shows them; OUT may also be .svg or .pdf)."),
                      QStringLiteral("image|figure")});
    parser.addOption(
        {kOutlines, QStringLiteral("With --layout figure: the outlines of the regions of --roi, "
                                   "--rois, --analysis, --find-regions or --regions-mask, "
                                   "numbered.")});
    parser.addOption({kTitle, QStringLiteral("With --layout figure: a title above the picture."),
                      QStringLiteral("TEXT")});
}

bool isExportRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kExport);
}

int runExport(const QCommandLineParser& parser, QTextStream& err)
{
    const ModeSession session(parser, err);
    Result<ExportRequest> request = readOptions(parser);
    if (!request)
        return session.fail(request.error());
    ExportRequest& r = *request;
    if (const Result<> f = overlayOptionsProblem(parser); !f)
        return session.fail(f.error());
    const Result<FigureContent> picture = drawPicture(r, parser, err);
    if (!picture)
        return session.fail(picture.error());
    if (const Result<> f = save(*picture, r); !f)
        return session.fail(f.error());
    return 0;
}

} // namespace isolumen
