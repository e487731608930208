#include "app/planeoptions.h"

#include "core/imfile/imheader.h"
#include "core/model/driftsteps.h"
#include "core/text/layerlist.h"
#include "core/text/numbertext.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace isolumen {

namespace {

const QString kSpecies = QStringLiteral("species");
const QString kPlane = QStringLiteral("plane");
const QString kLayers = QStringLiteral("layers");
const QString kSum = QStringLiteral("sum");
const QString kRatio = QStringLiteral("ratio");
const QString kScale = QStringLiteral("scale");
const QString kThresholdNum = QStringLiteral("threshold-num");
const QString kThresholdDen = QStringLiteral("threshold-den");
const QString kPercent = QStringLiteral("percent");
const QString kDelta = QStringLiteral("delta");
const QString kDeadTime = QStringLiteral("deadtime");
const QString kDeadTimeNs = QStringLiteral("deadtime-ns");
const QString kAlign = QStringLiteral("align");
const QString kAlignSpecies = QStringLiteral("align-species");
const QString kAlignLayer = QStringLiteral("align-layer");
const QString kAlignSubpixel = QStringLiteral("align-subpixel");
const QString kAlignBin = QStringLiteral("align-bin");
const QString kAlignRegion = QStringLiteral("align-region");
const QString kAlignMinConfidence = QStringLiteral("align-min-confidence");
const QString kAlignMaxStep = QStringLiteral("align-max-step");
const QString kExclude = QStringLiteral("exclude");
const QString kAnalysis = QStringLiteral("analysis");

} // namespace

std::optional<double> realNumber(const QString& text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

// ---- How layers are aligned and which are left out ----

namespace {

void addAlignmentOptions(QCommandLineParser& parser)
{
    parser.addOption({kAlignBin,
                      QStringLiteral("Estimate the drift on sums of K consecutive layers (default: "
                                     "enough layers for 20 counts per pixel)."),
                      QStringLiteral("K")});
    parser.addOption({kAlignRegion,
                      QStringLiteral("Estimate the drift on the shown pixels X,Y,W,H only."),
                      QStringLiteral("X,Y,W,H")});
    parser.addOption({kAlignMinConfidence,
                      QStringLiteral("Interpolate the shifts whose confidence is below C (0 to 1, "
                                     "default %1).")
                          .arg(kDefaultMinConfidence),
                      QStringLiteral("C")});
    parser.addOption({kAlignMaxStep,
                      QStringLiteral("Interpolate the shifts more than P pixels from their "
                                     "neighbours' (default: an eighth of the side)."),
                      QStringLiteral("P")});
    parser.addOption({kExclude,
                      QStringLiteral("Leave layers out of sums, profiles and alignment: a list "
                                     "such as 3,7-9."),
                      QStringLiteral("LIST")});
}

// "X,Y,W,H" in shown pixels, W and H from 1.
std::optional<QRect> regionOption(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    constexpr int most = std::numeric_limits<int>::max();
    const std::optional<int> x = wholeNumber(parts[0], 0, most);
    const std::optional<int> y = wholeNumber(parts[1], 0, most);
    const std::optional<int> w = wholeNumber(parts[2], 1, most);
    const std::optional<int> h = wholeNumber(parts[3], 1, most);
    if (!x || !y || !w || !h)
        return std::nullopt;
    return QRect(*x, *y, *w, *h);
}

Result<> readAlignmentOptions(const QCommandLineParser& parser, PlaneChoice& c)
{
    const auto value = [&](const QString& name) { return parser.value(name); };
    AlignmentSettings& s = c.alignSettings;
    if (parser.isSet(kAlignBin) &&
        !(s.bin = wholeNumber(value(kAlignBin), 1, std::numeric_limits<int>::max()).value_or(0)))
        return Failure{QStringLiteral("--align-bin needs a whole number of layers from 1: %1")
                           .arg(value(kAlignBin))};
    if (parser.isSet(kAlignRegion) && !(s.region = regionOption(value(kAlignRegion))))
        return Failure{QStringLiteral("--align-region needs X,Y,W,H in pixels, W and H from 1: %1")
                           .arg(value(kAlignRegion))};
    if (parser.isSet(kAlignMinConfidence)) {
        s.minConfidence = realNumber(value(kAlignMinConfidence));
        if (!s.minConfidence || *s.minConfidence < 0 || *s.minConfidence > 1)
            return Failure{QStringLiteral("--align-min-confidence needs a number from 0 to 1: %1")
                               .arg(value(kAlignMinConfidence))};
    }
    if (parser.isSet(kAlignMaxStep)) {
        s.maxStep = realNumber(value(kAlignMaxStep));
        if (!s.maxStep || *s.maxStep <= 0)
            return Failure{QStringLiteral("--align-max-step needs a number of pixels above 0: %1")
                               .arg(value(kAlignMaxStep))};
    }
    if (parser.isSet(kExclude)) {
        const std::optional<std::vector<int>> layers = parseLayerList(value(kExclude));
        if (!layers)
            return Failure{
                QStringLiteral("--exclude needs layers from 1, as 3,7-9: %1").arg(value(kExclude))};
        c.excluded = *layers;
    }
    return {};
}

} // namespace

namespace {

// "A-B" or "N/D": two whole numbers from 1 around the separator; 0 for either that is not one.
std::pair<int, int> numberPair(const QString& text, QChar separator)
{
    const QStringList parts = text.split(separator);
    if (parts.size() != 2)
        return {0, 0};
    constexpr int most = std::numeric_limits<int>::max();
    return {wholeNumber(parts[0], 1, most).value_or(0), wholeNumber(parts[1], 1, most).value_or(0)};
}

} // namespace

// QSA: --qsa-beta LABEL=B[,LABEL=B...] (a label of the file or a species number from 1) with
// --current-pa I, put in force after the dead time by the same corrections the viewer makes.
namespace {

const QString kQsaBeta = QStringLiteral("qsa-beta");
const QString kCurrentPa = QStringLiteral("current-pa");

void addQsaOptions(QCommandLineParser& parser)
{
    parser.addOption({kQsaBeta,
                      QStringLiteral("Correct for QSA with beta B for each species named (by "
                                     "label or number from 1); needs --current-pa."),
                      QStringLiteral("LABEL=B[,LABEL=B...]")});
    parser.addOption({kCurrentPa,
                      QStringLiteral("With --qsa-beta: the primary current in pA (above 0)."),
                      QStringLiteral("I")});
}

// The QSA options, read without the file.
Result<> readQsa(const QCommandLineParser& parser, PlaneChoice& c)
{
    if (parser.isSet(kQsaBeta) != parser.isSet(kCurrentPa))
        return Failure{QStringLiteral("QSA needs both --qsa-beta LABEL=B and --current-pa I.")};
    if (!parser.isSet(kQsaBeta))
        return {};
    const std::optional<double> current = realNumber(parser.value(kCurrentPa));
    if (!current || *current <= 0)
        return Failure{QStringLiteral("--current-pa needs a primary current in pA above 0: %1")
                           .arg(parser.value(kCurrentPa))};
    for (const QString& item : parser.value(kQsaBeta).split(QLatin1Char(','))) {
        const qsizetype equals = item.lastIndexOf(QLatin1Char('='));
        const std::optional<double> beta =
            equals > 0 ? realNumber(item.mid(equals + 1)) : std::nullopt;
        if (!beta)
            return Failure{QStringLiteral("--qsa-beta needs LABEL=B, separated by commas, with "
                                          "a species label or number and a number: %1")
                               .arg(item)};
        c.qsaBeta.append({item.left(equals), *beta});
    }
    c.corrections.qsa = true;
    c.corrections.primaryCurrentPa = *current;
    return {};
}

// The species (0-based) a --qsa-beta name stands for: a label of the file, else a number.
// Labels are compared without the blanks around them, which some files pad them with.
Result<int> qsaSpecies(const QString& name, const ImHeader& h)
{
    QStringList labels;
    for (const QString& label : h.species)
        labels << label.trimmed();
    int species = int(labels.indexOf(name.trimmed()));
    if (species < 0)
        species = wholeNumber(name, 1, int(labels.size())).value_or(0) - 1;
    if (species < 0)
        return Failure{QStringLiteral("--qsa-beta names %1: the file has species %2 (or 1 to %3).")
                           .arg(name, labels.join(QStringLiteral(", ")))
                           .arg(labels.size())};
    if (h.counting.value(species).secondaryElectrons)
        return Failure{
            QStringLiteral("--qsa-beta names %1: secondary electrons are never corrected.")
                .arg(name)};
    return species;
}

} // namespace

Result<CorrectionSettings> correctionsFor(const PlaneChoice& choice, const ImHeader& h)
{
    CorrectionSettings settings = choice.corrections;
    for (const auto& [name, beta] : choice.qsaBeta) {
        const Result<int> species = qsaSpecies(name, h);
        if (!species)
            return species.error();
        const int s = *species;
        if (settings.qsaBeta.contains(s))
            return Failure{QStringLiteral("--qsa-beta gives species %1 (%2) twice.")
                               .arg(s + 1)
                               .arg(h.species.value(s).trimmed())};
        settings.qsaBeta.insert(s, beta);
    }
    return settings;
}

std::optional<int> wholeNumber(const QString& text, int first, int last)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    if (!ok || n < first || n > last)
        return std::nullopt;
    return n;
}

void addPlaneOptions(QCommandLineParser& parser)
{
    parser.addOption(
        {kSpecies, QStringLiteral("The species, from 1 (default 1)."), QStringLiteral("N")});
    parser.addOption(
        {kPlane, QStringLiteral("The layer, from 1 (default 1)."), QStringLiteral("P")});
    parser.addOption(
        {kLayers, QStringLiteral("The layers A to B, from 1."), QStringLiteral("A-B")});
    parser.addOption({kSum, QStringLiteral("Sum the layers (all, or those of --layers).")});
    parser.addOption({kRatio,
                      QStringLiteral("The ratio of species N over species D (from 1), each a "
                                     "species or a sum such as 1+2, in place of --species."),
                      QStringLiteral("N/D")});
    parser.addOption({kPercent, QStringLiteral("With --ratio: the ratio x 100, in at-%.")});
    parser.addOption({kDelta, QStringLiteral("With --ratio: (R / R_STD - 1) x 1000, in per mil."),
                      QStringLiteral("R_STD")});
    parser.addOption(
        {kScale, QStringLiteral("With --ratio: a scale factor (default 1)."), QStringLiteral("F")});
    parser.addOption({kThresholdNum,
                      QStringLiteral("With --ratio: a pixel needs a numerator of at least X."),
                      QStringLiteral("X")});
    parser.addOption({kThresholdDen,
                      QStringLiteral("With --ratio: a pixel needs a denominator above Y."),
                      QStringLiteral("Y")});
    parser.addOption({kDeadTime, QStringLiteral("Correct the counts for the detectors' dead "
                                                "times the file records.")});
    parser.addOption({kDeadTimeNs,
                      QStringLiteral("Correct the counts for a dead time of T ns (every species "
                                     "but secondary electrons)."),
                      QStringLiteral("T")});
    parser.addOption({kAlign, QStringLiteral("Align the layers (drift correction) first.")});
    parser.addOption({kAlignSpecies,
                      QStringLiteral("Align on species N (default: the one with most counts in "
                                     "the reference layer)."),
                      QStringLiteral("N")});
    parser.addOption(
        {kAlignLayer, QStringLiteral("Align on layer L (default 1)."), QStringLiteral("L")});
    parser.addOption({kAlignSubpixel,
                      QStringLiteral("Shift layers by fractions of a pixel (bilinear) instead of "
                                     "whole pixels.")});
    addQsaOptions(parser);
    addAlignmentOptions(parser);
    parser.addOption({kAnalysis,
                      QStringLiteral("Apply a saved analysis: its regions, corrections and "
                                     "alignment; options given beside it take the place of "
                                     "those parts. FILE.im may then be left out when it lies "
                                     "beside the analysis."),
                      QStringLiteral("FILE.isolumen")});
}

namespace {

// --percent or --delta R_STD: the unit of the ratio's value.
Result<> readRatioUnit(const QCommandLineParser& parser, RatioDefinition& ratio)
{
    if (parser.isSet(kPercent) && parser.isSet(kDelta))
        return Failure{QStringLiteral("Give either --percent or --delta, not both.")};
    if (parser.isSet(kPercent))
        ratio.unit = RatioUnit::Percent;
    if (parser.isSet(kDelta)) {
        const std::optional<double> standard = realNumber(parser.value(kDelta));
        if (!standard || *standard <= 0)
            return Failure{QStringLiteral("--delta needs a standard ratio above 0: %1")
                               .arg(parser.value(kDelta))};
        ratio.unit = RatioUnit::Delta;
        ratio.standard = *standard;
    }
    return {};
}

// --ratio (each one given) with its scale, thresholds and unit.
Result<> readRatios(const QCommandLineParser& parser, PlaneChoice& c)
{
    if (parser.isSet(kRatio)) {
        if (parser.isSet(kSpecies))
            return Failure{QStringLiteral("--ratio takes the place of --species.")};
        RatioDefinition ratio;
        // A scale of 0 would make every ratio 0; a negative threshold would let no pixel out.
        for (const auto& [name, into, least] :
             {std::tuple{kScale, &ratio.scale, 0.0},
              std::tuple{kThresholdNum, &ratio.numeratorThreshold, 0.0},
              std::tuple{kThresholdDen, &ratio.denominatorThreshold, 0.0}}) {
            if (!parser.isSet(name))
                continue;
            const std::optional<double> v = realNumber(parser.value(name));
            const bool above = name == kScale;
            if (!v || *v < least || (above && *v == least))
                return Failure{
                    QStringLiteral("--%1 needs a number %2 0: %3")
                        .arg(name, above ? QStringLiteral("above") : QStringLiteral("of at least"),
                             parser.value(name))};
            *into = *v;
        }
        if (Result<> f = readRatioUnit(parser, ratio); !f)
            return f.error();
        // Every --ratio (a study takes several), with the same scale, thresholds and unit.
        for (const QString& text : parser.values(kRatio)) {
            const Result<RatioDefinition> terms = parseRatioTerms(text, {});
            const QString why = terms ? QString() : terms.error().message;
            if (!terms || terms->denominator.isEmpty())
                return Failure{
                    QStringLiteral("--ratio needs species numbers from 1 as N/D, "
                                   "each a species or a sum such as 2/1+2: %1%2")
                        .arg(text, why.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(why))};
            ratio.numerator = terms->numerator;
            ratio.denominator = terms->denominator;
            c.ratios << ratio;
        }
        c.ratio = c.ratios.last();
    } else {
        for (const QString& name : {kScale, kThresholdNum, kThresholdDen, kPercent, kDelta}) {
            if (parser.isSet(name))
                return Failure{QStringLiteral("--%1 goes with --ratio.").arg(name)};
        }
    }
    return {};
}

constexpr int kMostNumber = std::numeric_limits<int>::max();

// --species, --plane, --layers and --sum.
Result<> readPlanes(const QCommandLineParser& parser, AllSpecies allSpecies, PlaneChoice& c)
{
    const bool allowAllSpecies = allSpecies == AllSpecies::Accepted;
    if (parser.isSet(kSpecies)) {
        const QString v = parser.value(kSpecies);
        if (allowAllSpecies && v == QLatin1String("all"))
            c.allSpecies = true;
        else if (!(c.species = wholeNumber(v, 1, kMostNumber)))
            return Failure{QStringLiteral("--species needs a whole number from 1%1: %2")
                               .arg(allowAllSpecies ? QStringLiteral(" or all") : QString(), v)};
    }
    if (parser.isSet(kPlane) && !(c.plane = wholeNumber(parser.value(kPlane), 1, kMostNumber)))
        return Failure{
            QStringLiteral("--plane needs a whole number from 1: %1").arg(parser.value(kPlane))};
    if (parser.isSet(kLayers)) {
        const auto [a, b] = numberPair(parser.value(kLayers), QLatin1Char('-'));
        if (a < 1 || b < 1)
            return Failure{QStringLiteral("--layers needs two layer numbers from 1, as A-B: %1")
                               .arg(parser.value(kLayers))};
        if (a > b)
            return Failure{QStringLiteral("--layers %1: the first layer is after the last.")
                               .arg(parser.value(kLayers))};
        c.layers = std::pair{a, b};
    }
    if (c.plane && c.layers)
        return Failure{QStringLiteral("--plane and --layers cannot be given together.")};
    c.sum = parser.isSet(kSum);
    if (c.sum && c.plane)
        return Failure{QStringLiteral("--sum adds layers: give --layers A-B, not --plane.")};
    return {};
}

// --deadtime, --deadtime-ns and the QSA correction.
Result<> readCorrections(const QCommandLineParser& parser, PlaneChoice& c)
{
    if (parser.isSet(kDeadTime) && parser.isSet(kDeadTimeNs))
        return Failure{QStringLiteral("Give either --deadtime or --deadtime-ns, not both.")};
    if (parser.isSet(kDeadTimeNs)) {
        const std::optional<double> ns = realNumber(parser.value(kDeadTimeNs));
        if (!ns || *ns < 0)
            return Failure{QStringLiteral("--deadtime-ns needs a dead time in ns of at least 0: %1")
                               .arg(parser.value(kDeadTimeNs))};
        c.corrections.deadTime = true;
        c.corrections.deadTimeAllNs = *ns;
    }
    c.corrections.deadTime = c.corrections.deadTime || parser.isSet(kDeadTime);
    return readQsa(parser, c);
}

// --analysis, read now, and --align with the species and layer it aligns by.
Result<> readAnalysisAndAlignment(const QCommandLineParser& parser, PlaneChoice& c)
{
    if (parser.isSet(kAnalysis)) {
        c.analysisPath = parser.value(kAnalysis);
        Result<AnalysisFile> read = readAnalysisFile(c.analysisPath);
        if (!read)
            return read.error();
        c.analysis = std::make_shared<const AnalysisFile>(std::move(*read));
    }
    c.align = parser.isSet(kAlign);
    c.alignSubpixel = parser.isSet(kAlignSubpixel);
    for (const auto& [name, into] :
         {std::pair{kAlignSpecies, &c.alignSpecies}, std::pair{kAlignLayer, &c.alignLayer}}) {
        if (parser.isSet(name) && !(*into = wholeNumber(parser.value(name), 1, kMostNumber)))
            return Failure{QStringLiteral("--%1 needs a whole number from 1: %2")
                               .arg(name, parser.value(name))};
    }
    return {};
}

} // namespace

Result<PlaneChoice> readPlaneChoice(const QCommandLineParser& parser, AllSpecies allSpecies)
{
    PlaneChoice c;
    if (Result<> f = readPlanes(parser, allSpecies, c); !f)
        return f.error();
    for (const auto read :
         {readRatios, readCorrections, readAlignmentOptions, readAnalysisAndAlignment}) {
        if (Result<> f = read(parser, c); !f)
            return f.error();
    }
    return c;
}

Result<QString> onlyFile(const QCommandLineParser& parser, const QString& mode)
{
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty() && parser.isSet(kAnalysis)) {
        const Result<AnalysisFile> read = readAnalysisFile(parser.value(kAnalysis));
        if (!read)
            return read.error();
        const QString acquisition =
            acquisitionArgument(*read, QFileInfo(parser.value(kAnalysis)).path());
        if (acquisition.isEmpty())
            return Failure{QStringLiteral("%1 names no acquisition: give the .im file.")
                               .arg(parser.value(kAnalysis))};
        return acquisition;
    }
    if (files.size() != 1)
        return Failure{QStringLiteral("%1 needs exactly one .im file.").arg(mode)};
    return files.first();
}

} // namespace isolumen
