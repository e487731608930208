#include "app/overlayexport.h"

#include "app/modesession.h"
#include "core/model/plane.h"
#include "core/render/overlay.h"
#include "core/stats/findregions.h"

#include <QCommandLineParser>
#include <QStringList>

namespace isolumen {

namespace {

const QString kOverlay = QStringLiteral("overlay");
const QString kOverlayColours = QStringLiteral("overlay-colours");
const QString kOverlayRange = QStringLiteral("overlay-range");

// The picture options of a single source, which an overlay has no use for.
const QStringList kSingleSourceOptions = {QStringLiteral("species"),
                                          QStringLiteral("ratio"),
                                          QStringLiteral("hsi"),
                                          QStringLiteral("table"),
                                          QStringLiteral("min"),
                                          QStringLiteral("max"),
                                          QStringLiteral("log"),
                                          QStringLiteral("low"),
                                          QStringLiteral("high"),
                                          QStringLiteral("layout"),
                                          QStringLiteral("auto-percentile")};

Result<QList<OverlaySource>> overlaySources(const QCommandLineParser& parser)
{
    const QStringList texts = parser.value(kOverlay).split(QLatin1Char(','));
    if (texts.size() < 2 || texts.size() > 3)
        return Failure{
            QStringLiteral("--overlay needs two or three sources: %1").arg(parser.value(kOverlay))};
    const QStringList ranges = parser.isSet(kOverlayRange)
                                   ? parser.value(kOverlayRange).split(QLatin1Char(','))
                                   : QStringList();
    if (parser.isSet(kOverlayRange) && ranges.size() != texts.size())
        return Failure{QStringLiteral("--overlay-range needs one LOW:HIGH per source: %1")
                           .arg(parser.value(kOverlayRange))};
    QList<OverlaySource> sources;
    for (int i = 0; i < texts.size(); ++i) {
        const std::optional<RegionFinding> s = parseFindingSource(texts[i], {});
        if (!s)
            return Failure{QStringLiteral("--overlay: %1 is not a species (2), a sum (1+2) or a "
                                          "ratio (2/1).")
                               .arg(texts[i])};
        OverlaySource o{*s, {}}; // without a range typed: the plane's extremes
        if (!ranges.isEmpty()) {
            const QStringList ends = ranges[i].split(QLatin1Char(':'));
            const std::optional<double> low = realNumber(ends.value(0));
            const std::optional<double> high = realNumber(ends.value(1));
            if (ends.size() != 2 || !low || !high || !(*low < *high))
                return Failure{QStringLiteral("--overlay-range needs LOW:HIGH with LOW below "
                                              "HIGH: %1")
                                   .arg(ranges[i])};
            o.range.typed = std::pair{*low, *high};
        }
        sources << o;
    }
    return sources;
}

} // namespace

void addOverlayOptions(QCommandLineParser& parser)
{
    parser.addOption({kOverlay,
                      QStringLiteral("With --export: a composite of two or three sources, each a "
                                     "species (2), a sum (1+2) or a ratio (2/1)."),
                      QStringLiteral("SRC,SRC[,SRC]")});
    parser.addOption({kOverlayColours,
                      QStringLiteral("With --overlay: rgb (red, green, blue; the default) or mgc "
                                     "(magenta, green, cyan)."),
                      QStringLiteral("SET")});
    parser.addOption({kOverlayRange,
                      QStringLiteral("With --overlay: each source's range, mapped from dark to "
                                     "full colour (default: its minimum to maximum)."),
                      QStringLiteral("LOW:HIGH,...")});
}

bool isOverlayRequested(const QCommandLineParser& parser)
{
    return parser.isSet(kOverlay);
}

Result<> overlayOptionsProblem(const QCommandLineParser& parser)
{
    if (!parser.isSet(kOverlay)) {
        for (const QString& name : {kOverlayColours, kOverlayRange}) {
            if (parser.isSet(name))
                return Failure{QStringLiteral("--%1 goes with --overlay.").arg(name)};
        }
        return {};
    }
    for (const QString& name : kSingleSourceOptions) {
        if (parser.isSet(name))
            return Failure{QStringLiteral("--%1 is not an option of --overlay.").arg(name)};
    }
    const QString colours = parser.value(kOverlayColours);
    if (parser.isSet(kOverlayColours) && colours != QLatin1String("rgb") &&
        colours != QLatin1String("mgc"))
        return Failure{QStringLiteral("--overlay-colours needs rgb or mgc: %1").arg(colours)};
    const auto sources = overlaySources(parser);
    if (!sources)
        return sources.error();
    return {};
}

Result<QImage> overlayPictureOf(const QCommandLineParser& parser, const PlaneChoice& choice,
                                const Acquisition& acquisition)
{
    const auto sources = overlaySources(parser);
    if (!sources)
        return sources.error();
    const auto layers = chosenLayers(choice, acquisition);
    if (!layers)
        return layers.error();
    const OverlayDefinition definition{*sources,
                                       parser.value(kOverlayColours) == QLatin1String("mgc")
                                           ? OverlayColours::MagentaGreenCyan
                                           : OverlayColours::RedGreenBlue};
    const auto planes = overlayPlanes(definition, layers->first(), acquisition);
    if (!planes)
        return planes.error();
    const QList<OverlayChannel> channels = overlayChannels(definition, *planes);
    return overlayPicture(channels);
}

} // namespace isolumen
