#include "core/io/analysisfile.h"

#include "core/model/acquisition.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <tuple>

namespace isolumen {

namespace {

const QString kFormat = QStringLiteral("isolumen-analysis");
// An analysis of thousands of regions is a few megabytes; far beyond, it is not one.
constexpr qint64 kLargestFile = qint64(64) << 20;
// Layers and ids beyond any acquisition's; a larger number in a file is a mistake.
constexpr double kLargestCount = 1e9;
// Frames are at most 2048 pixels wide; a shift far beyond is a mistake.
constexpr double kFarthestShift = 1e6;

QJsonValue optionalNumber(const std::optional<double>& v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

std::optional<double> numberOf(const QJsonValue& v)
{
    return v.isDouble() && std::isfinite(v.toDouble()) ? std::optional(v.toDouble()) : std::nullopt;
}

// A whole number from 1 in the file, or fallback.
int countOf(const QJsonValue& v, int fallback)
{
    const double d = v.toDouble(fallback);
    return d >= 1 && d <= kLargestCount && d == std::floor(d) ? int(d) : fallback;
}

QJsonObject numbersByLabel(const QMap<QString, double>& map)
{
    QJsonObject o;
    for (auto it = map.begin(); it != map.end(); ++it)
        o.insert(it.key(), it.value());
    return o;
}

QMap<QString, double> labelNumbers(const QJsonValue& v)
{
    QMap<QString, double> map;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (const std::optional<double> n = numberOf(it.value()))
            map.insert(it.key(), *n);
    }
    return map;
}

// fresh over kept: objects merge key by key, lists of regions by id, anything else is fresh's.
QJsonValue merged(const QJsonValue& kept, const QJsonValue& fresh);

QJsonArray mergedList(const QJsonArray& kept, const QJsonArray& fresh)
{
    QJsonArray out;
    for (const QJsonValue& item : fresh) {
        const QJsonValue id = item.toObject().value(QStringLiteral("id"));
        QJsonValue match;
        for (const QJsonValue& old : kept) {
            if (!id.isUndefined() && old.toObject().value(QStringLiteral("id")) == id)
                match = old;
        }
        out.append(match.isObject() ? merged(match, item) : item);
    }
    return out;
}

QJsonValue merged(const QJsonValue& kept, const QJsonValue& fresh)
{
    if (kept.isObject() && fresh.isObject()) {
        QJsonObject out = kept.toObject();
        const QJsonObject f = fresh.toObject();
        for (auto it = f.begin(); it != f.end(); ++it)
            out.insert(it.key(), merged(out.value(it.key()), it.value()));
        return out;
    }
    if (kept.isArray() && fresh.isArray())
        return mergedList(kept.toArray(), fresh.toArray());
    return fresh;
}

QJsonValue correctionsJson(const AnalysisFile& a)
{
    QJsonValue qsa = QJsonValue::Null;
    if (a.qsa)
        qsa = QJsonObject{{QStringLiteral("currentPa"), a.qsaCurrentPa},
                          {QStringLiteral("beta"), numbersByLabel(a.qsaBeta)}};
    return QJsonObject{{QStringLiteral("deadTime"), a.deadTime},
                       {QStringLiteral("deadTimeNs"), numbersByLabel(a.deadTimeNs)},
                       {QStringLiteral("qsa"), qsa}};
}

// The names of shift origins in the file, in the order of ShiftOrigin.
const char* const kOriginNames[] = {"measured", "hand", "empty", "unsure", "jump", "excluded"};

QJsonValue alignmentJson(const std::optional<AlignmentRecord>& a)
{
    if (!a)
        return QJsonValue::Null;
    QJsonArray shifts, confidences, origins;
    for (const Shift& s : a->shifts)
        shifts.append(QJsonArray{s.dx, s.dy});
    for (const double c : a->confidences)
        confidences.append(c);
    for (const ShiftOrigin o : a->origins)
        origins.append(QLatin1String(kOriginNames[int(o)]));
    const AlignmentSettings& set = a->settings;
    const QJsonValue region =
        set.region ? QJsonValue(QJsonArray{set.region->x(), set.region->y(), set.region->width(),
                                           set.region->height()})
                   : QJsonValue::Null;
    return QJsonObject{{QStringLiteral("species"), a->species},
                       {QStringLiteral("layer"), a->layer},
                       {QStringLiteral("subpixel"), a->subpixel},
                       {QStringLiteral("shifts"), shifts},
                       {QStringLiteral("confidences"), confidences},
                       {QStringLiteral("origins"), origins},
                       {QStringLiteral("bin"), set.bin},
                       {QStringLiteral("usedBin"), a->usedBin},
                       {QStringLiteral("region"), region},
                       {QStringLiteral("minConfidence"), optionalNumber(set.minConfidence)},
                       {QStringLiteral("maxStep"), optionalNumber(set.maxStep)}};
}

// An overlay's source: {"source": "13C/12C", "range": "full" | "percentile" | "typed",
// "low": .., "high": ..} (percentiles, or the values typed).
QJsonObject overlayJson(const OverlayRecord& overlay)
{
    QJsonArray sources;
    for (qsizetype i = 0; i < overlay.sources.size(); ++i) {
        const OverlayRange r = overlay.ranges.value(i);
        const bool percentile = r.automatic.mode == AutoRange::Percentile;
        const auto [low, high] = r.typed.value_or(std::pair{r.automatic.low, r.automatic.high});
        QJsonObject o{{QStringLiteral("source"), overlay.sources[i]},
                      {QStringLiteral("range"), r.typed      ? QStringLiteral("typed")
                                                : percentile ? QStringLiteral("percentile")
                                                             : QStringLiteral("full")}};
        if (r.typed || percentile) {
            o.insert(QStringLiteral("low"), low);
            o.insert(QStringLiteral("high"), high);
        }
        sources.append(o);
    }
    const bool mgc = overlay.colours == OverlayColours::MagentaGreenCyan;
    return {{QStringLiteral("colours"), mgc ? QStringLiteral("mgc") : QStringLiteral("rgb")},
            {QStringLiteral("sources"), sources}};
}

QJsonArray windowsJson(const QList<WindowRecord>& windows)
{
    QJsonArray list;
    for (const WindowRecord& w : windows) {
        QJsonObject o{{QStringLiteral("source"), w.source},
                      {QStringLiteral("scale"), w.scale},
                      {QStringLiteral("table"), w.table},
                      {QStringLiteral("min"), optionalNumber(w.min)},
                      {QStringLiteral("max"), optionalNumber(w.max)},
                      {QStringLiteral("log"), w.log}};
        // A plain ratio is written as before this choice existed.
        if (w.unit == RatioUnit::Percent)
            o.insert(QStringLiteral("unit"), QStringLiteral("percent"));
        if (w.unit == RatioUnit::Delta) {
            o.insert(QStringLiteral("unit"), QStringLiteral("delta"));
            o.insert(QStringLiteral("standard"), w.standard);
        }
        if (w.overlay)
            o.insert(QStringLiteral("overlay"), overlayJson(*w.overlay));
        list.append(o);
    }
    return list;
}

// An overlay as overlayJson writes it; a source whose range cannot be read follows its plane's
// extremes.
OverlayRecord readOverlay(const QJsonObject& o)
{
    OverlayRecord r;
    if (o.value(QStringLiteral("colours")).toString() == QLatin1String("mgc"))
        r.colours = OverlayColours::MagentaGreenCyan;
    for (const QJsonValue& item : o.value(QStringLiteral("sources")).toArray()) {
        const QJsonObject s = item.toObject();
        OverlayRange range;
        const QString kind = s.value(QStringLiteral("range")).toString();
        const std::optional<double> low = numberOf(s.value(QStringLiteral("low")));
        const std::optional<double> high = numberOf(s.value(QStringLiteral("high")));
        if (low && high && *low < *high && kind == QLatin1String("typed"))
            range.typed = std::pair{*low, *high};
        else if (low && high && 0 <= *low && *low < *high && *high <= 100 &&
                 kind == QLatin1String("percentile"))
            range.automatic = {AutoRange::Percentile, *low, *high};
        r.sources << s.value(QStringLiteral("source")).toString();
        r.ranges << range;
    }
    return r;
}

void readCorrections(const QJsonObject& o, AnalysisFile& a)
{
    a.deadTime = o.value(QStringLiteral("deadTime")).toBool();
    a.deadTimeNs = labelNumbers(o.value(QStringLiteral("deadTimeNs")));
    const QJsonObject qsa = o.value(QStringLiteral("qsa")).toObject();
    a.qsa = !qsa.isEmpty();
    a.qsaCurrentPa = numberOf(qsa.value(QStringLiteral("currentPa"))).value_or(0);
    a.qsaBeta = labelNumbers(qsa.value(QStringLiteral("beta")));
}

// Confidences, origins and the estimate's settings; each list, when present, has a value per
// shift.
Result<> readShiftDetails(const QJsonObject& o, AlignmentRecord& r)
{
    const QJsonArray confidences = o.value(QStringLiteral("confidences")).toArray();
    const QJsonArray origins = o.value(QStringLiteral("origins")).toArray();
    for (const QJsonArray& list : {confidences, origins}) {
        if (!list.isEmpty() && list.size() != qsizetype(r.shifts.size()))
            return Failure{
                QStringLiteral("the alignment's confidences or origins do not match its shifts")};
    }
    for (const QJsonValue& c : confidences) {
        const std::optional<double> v = numberOf(c);
        if (!v || *v < 0 || *v > 1)
            return Failure{
                QStringLiteral("a confidence of the alignment is not a number from 0 to 1")};
        r.confidences.push_back(*v);
    }
    for (const QJsonValue& name : origins) {
        const auto* end = std::end(kOriginNames);
        const auto* it = std::find_if(std::begin(kOriginNames), end, [&](const char* n) {
            return name.toString() == QLatin1String(n);
        });
        if (it == end)
            return Failure{QStringLiteral("an origin of the alignment's shifts is unknown")};
        r.origins.push_back(ShiftOrigin(it - std::begin(kOriginNames)));
    }
    AlignmentSettings& set = r.settings;
    set.bin = countOf(o.value(QStringLiteral("bin")), 0);
    r.usedBin = std::max(1, countOf(o.value(QStringLiteral("usedBin")), 1));
    const QJsonArray region = o.value(QStringLiteral("region")).toArray();
    if (region.size() == 4) {
        const int w = countOf(region[2], 0), h = countOf(region[3], 0);
        if (w > 0 && h > 0)
            set.region = QRect(countOf(region[0], 0), countOf(region[1], 0), w, h);
    }
    set.minConfidence = numberOf(o.value(QStringLiteral("minConfidence")));
    set.maxStep = numberOf(o.value(QStringLiteral("maxStep")));
    return {};
}

Result<> readAlignment(const QJsonValue& v, AnalysisFile& a)
{
    if (!v.isObject())
        return {};
    const QJsonObject o = v.toObject();
    AlignmentRecord r;
    r.species = o.value(QStringLiteral("species")).toString();
    r.layer = countOf(o.value(QStringLiteral("layer")), 1);
    r.subpixel = o.value(QStringLiteral("subpixel")).toBool();
    for (const QJsonValue& s : o.value(QStringLiteral("shifts")).toArray()) {
        const std::optional<double> dx = numberOf(s.toArray().at(0));
        const std::optional<double> dy = numberOf(s.toArray().at(1));
        if (!dx || !dy)
            return Failure{QStringLiteral("a shift of the alignment is not two numbers")};
        if (std::abs(*dx) > kFarthestShift || std::abs(*dy) > kFarthestShift)
            return Failure{QStringLiteral("a shift of the alignment is far beyond any frame")};
        r.shifts.push_back({*dx, *dy});
    }
    if (Result<> details = readShiftDetails(o, r); !details)
        return details;
    a.alignment = r;
    return {};
}

void readWindows(const QJsonArray& list, AnalysisFile& a)
{
    for (const QJsonValue& item : list) {
        const QJsonObject o = item.toObject();
        WindowRecord w;
        w.source = o.value(QStringLiteral("source")).toString();
        w.scale = numberOf(o.value(QStringLiteral("scale"))).value_or(1);
        const QString unit = o.value(QStringLiteral("unit")).toString();
        const double standard = numberOf(o.value(QStringLiteral("standard"))).value_or(0);
        if (unit == QLatin1String("percent"))
            w.unit = RatioUnit::Percent;
        else if (unit == QLatin1String("delta") && standard > 0)
            std::tie(w.unit, w.standard) = std::pair{RatioUnit::Delta, standard};
        w.table = countOf(o.value(QStringLiteral("table")), w.table);
        w.min = numberOf(o.value(QStringLiteral("min")));
        w.max = numberOf(o.value(QStringLiteral("max")));
        w.log = o.value(QStringLiteral("log")).toBool();
        if (o.value(QStringLiteral("overlay")).isObject())
            w.overlay = readOverlay(o.value(QStringLiteral("overlay")).toObject());
        if (!w.source.isEmpty())
            a.windows << w;
    }
}

} // namespace

namespace {

QJsonObject acquisitionJson(const AcquisitionRecord& r)
{
    return QJsonObject{{QStringLiteral("name"), r.name},
                       {QStringLiteral("size"), double(r.size)},
                       {QStringLiteral("headerSha256"), r.headerSha256}};
}

AcquisitionRecord acquisitionFromJson(const QJsonObject& o)
{
    return {o.value(QStringLiteral("name")).toString(),
            qint64(o.value(QStringLiteral("size")).toDouble()),
            o.value(QStringLiteral("headerSha256")).toString().toLower()};
}

// A single file as "acquisition", as ever; a chain of runs as the list "acquisitions".
void putAcquisitions(const AnalysisFile& a, QJsonObject& o)
{
    const AcquisitionRecord first{a.acquisitionName, a.acquisitionSize, a.headerSha256};
    if (a.appended.isEmpty()) {
        o.insert(QStringLiteral("acquisition"), acquisitionJson(first));
        return;
    }
    QJsonArray chain{acquisitionJson(first)};
    for (const AcquisitionRecord& r : a.appended)
        chain.append(acquisitionJson(r));
    o.insert(QStringLiteral("acquisitions"), chain);
}

void takeAcquisitions(const QJsonObject& o, AnalysisFile& a)
{
    const QJsonArray chain = o.value(QStringLiteral("acquisitions")).toArray();
    const AcquisitionRecord first =
        acquisitionFromJson(chain.isEmpty() ? o.value(QStringLiteral("acquisition")).toObject()
                                            : chain.first().toObject());
    a.acquisitionName = first.name;
    a.acquisitionSize = first.size;
    a.headerSha256 = first.headerSha256;
    for (qsizetype i = 1; i < chain.size(); ++i)
        a.appended << acquisitionFromJson(chain[i].toObject());
}

} // namespace

QByteArray writeAnalysis(const AnalysisFile& a)
{
    QJsonArray excluded;
    for (const int layer : a.excludedLayers)
        excluded.append(layer);
    QJsonObject fresh{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), AnalysisFile::kVersion},
        {QStringLiteral("layers"), QJsonObject{{QStringLiteral("first"), a.firstLayer},
                                               {QStringLiteral("last"), a.lastLayer},
                                               {QStringLiteral("excluded"), excluded}}},
        {QStringLiteral("regions"), regionsToJsonArray(a.regions)},
        {QStringLiteral("nextRegionId"), a.nextRegionId},
        {QStringLiteral("corrections"), correctionsJson(a)},
        {QStringLiteral("alignment"), alignmentJson(a.alignment)},
        {QStringLiteral("windows"), windowsJson(a.windows)}};
    putAcquisitions(a, fresh);
    // The form read may be the other one.
    QJsonObject read = a.read;
    read.remove(QStringLiteral("acquisition"));
    read.remove(QStringLiteral("acquisitions"));
    return QJsonDocument(merged(read, fresh).toObject()).toJson();
}

Result<AnalysisFile> readAnalysis(const QByteArray& json)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError)
        return Failure{parse.errorString()};
    const QJsonObject o = doc.object();
    AnalysisFile a;
    a.read = o;
    if (o.value(QStringLiteral("format")).toString() != kFormat) {
        // A regions file serves where an analysis is asked for.
        Result<QList<Region>> regions = regionsFromJson(json);
        if (!regions)
            return Failure{QStringLiteral("it is neither an analysis nor a regions file (%1)")
                               .arg(regions.error().message)};
        a.regions = *regions;
        a.regionsOnly = true;
        return a;
    }
    const double version = o.value(QStringLiteral("version")).toDouble();
    if (version > AnalysisFile::kVersion)
        return Failure{
            QStringLiteral("it was written by a later version of Isolumen (analysis format "
                           "%1; this version reads %2). Update Isolumen to open it.")
                .arg(version)
                .arg(AnalysisFile::kVersion)};
    takeAcquisitions(o, a);
    const QJsonObject layers = o.value(QStringLiteral("layers")).toObject();
    a.firstLayer = countOf(layers.value(QStringLiteral("first")), 1);
    a.lastLayer = std::max(a.firstLayer, countOf(layers.value(QStringLiteral("last")), 1));
    for (const QJsonValue& l : layers.value(QStringLiteral("excluded")).toArray()) {
        if (const int layer = countOf(l, 0))
            a.excludedLayers << layer;
    }
    Result<QList<Region>> regions =
        regionsFromJsonArray(o.value(QStringLiteral("regions")).toArray());
    if (!regions)
        return regions.error();
    a.regions = *regions;
    a.nextRegionId = countOf(o.value(QStringLiteral("nextRegionId")), 0);
    readCorrections(o.value(QStringLiteral("corrections")).toObject(), a);
    if (Result<> alignment = readAlignment(o.value(QStringLiteral("alignment")), a); !alignment)
        return alignment.error();
    readWindows(o.value(QStringLiteral("windows")).toArray(), a);
    return a;
}

Result<AnalysisFile> readAnalysisFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString())};
    if (file.size() > kLargestFile)
        return Failure{QStringLiteral("%1 is not an analysis: it is far too large.").arg(path)};
    Result<AnalysisFile> read = readAnalysis(file.readAll());
    if (!read)
        return Failure{QStringLiteral("%1 cannot be opened: %2").arg(path, read.error().message)};
    return read;
}

namespace {

QString runHeaderSha256(const ImFile& file, int run)
{
    const ImHeader& h = file.runs()[size_t(run)].header;
    QByteArray header(std::max(0, h.headerSize), '\0');
    header.resize(file.readAt(0, header.data(), header.size(), run));
    return QString::fromLatin1(
        QCryptographicHash::hash(header, QCryptographicHash::Sha256).toHex());
}

} // namespace

QString headerSha256(const Acquisition& acquisition)
{
    const std::shared_ptr<const ImFile> file = acquisition.file();
    return file ? runHeaderSha256(*file, 0) : QString();
}

QString acquisitionSha256(const Acquisition& acquisition)
{
    const std::shared_ptr<const ImFile> file = acquisition.file();
    if (!file || file->runs().size() == 1)
        return headerSha256(acquisition);
    QCryptographicHash chain(QCryptographicHash::Sha256);
    for (int r = 0; r < int(file->runs().size()); ++r)
        chain.addData(runHeaderSha256(*file, r).toLatin1());
    return QString::fromLatin1(chain.result().toHex());
}

bool sameAcquisition(const AnalysisFile& analysis, const Acquisition& acquisition)
{
    const std::shared_ptr<const ImFile> file = acquisition.file();
    if (!file || analysis.appended.size() + 1 != qsizetype(file->runs().size()))
        return false;
    // Names aside: a file may be renamed or expanded from an archive.
    for (int r = 1; r < int(file->runs().size()); ++r) {
        const AcquisitionRecord& kept = analysis.appended[r - 1];
        if (kept.size != file->runs()[size_t(r)].header.fileSize ||
            kept.headerSha256 != runHeaderSha256(*file, r))
            return false;
    }
    return analysis.acquisitionSize == acquisition.header().fileSize &&
           analysis.headerSha256 == headerSha256(acquisition);
}

QString acquisitionArgument(const AnalysisFile& analysis, const QString& folder)
{
    if (analysis.acquisitionName.isEmpty())
        return {};
    const QDir dir(folder);
    QStringList files{dir.filePath(analysis.acquisitionName)};
    for (const AcquisitionRecord& r : analysis.appended)
        files << dir.filePath(r.name);
    return files.join(QLatin1Char('+'));
}

namespace {

// The species (0-based) with a label, or -1.
int speciesOf(const Acquisition& acquisition, const QString& label)
{
    for (int s = 0; s < acquisition.speciesCount(); ++s) {
        if (acquisition.speciesName(s).trimmed() == label.trimmed())
            return s;
    }
    return -1;
}

// Numbers by label as numbers by species; labels the file lacks go to problems.
QMap<int, double> bySpecies(const Acquisition& acquisition, const QMap<QString, double>& byLabel,
                            QStringList& problems)
{
    QMap<int, double> map;
    for (auto it = byLabel.begin(); it != byLabel.end(); ++it) {
        const int s = speciesOf(acquisition, it.key());
        if (s < 0)
            problems << QStringLiteral("The acquisition has no species %1.").arg(it.key());
        else
            map.insert(s, it.value());
    }
    return map;
}

void applyCorrections(const AnalysisFile& a, Acquisition& acquisition, QStringList& problems)
{
    CorrectionSettings settings;
    settings.deadTime = a.deadTime;
    if (a.deadTime)
        settings.deadTimeNs = bySpecies(acquisition, a.deadTimeNs, problems);
    settings.qsa = a.qsa;
    settings.primaryCurrentPa = a.qsaCurrentPa;
    if (a.qsa)
        settings.qsaBeta = bySpecies(acquisition, a.qsaBeta, problems);
    const std::shared_ptr<const ImFile> file = acquisition.file();
    if (!file)
        return;
    const Result<CorrectionSetup> setup = makeCorrections(*file, settings);
    if (!setup) {
        problems << setup.error().message;
        return;
    }
    problems << setup->notes;
    acquisition.setCorrections(setup->corrections);
}

void applyAlignment(const AnalysisFile& a, Acquisition& acquisition, QStringList& problems)
{
    if (!a.alignment) {
        acquisition.setAlignment(nullptr);
        return;
    }
    if (int(a.alignment->shifts.size()) != acquisition.layerCount()) {
        problems << QStringLiteral(
                        "The alignment has shifts for %1 layers; the acquisition has %2.")
                        .arg(a.alignment->shifts.size())
                        .arg(acquisition.layerCount());
        return;
    }
    auto alignment = std::make_shared<Alignment>();
    alignment->shifts = a.alignment->shifts;
    alignment->subpixel = a.alignment->subpixel;
    alignment->referenceSpecies = std::max(0, speciesOf(acquisition, a.alignment->species));
    alignment->referenceLayer = a.alignment->layer;
    alignment->confidences = a.alignment->confidences;
    alignment->origins = a.alignment->origins;
    alignment->settings = a.alignment->settings;
    alignment->usedBin = a.alignment->usedBin;
    acquisition.setAlignment(std::move(alignment));
}

} // namespace

AnalysisFile analysisOf(const Acquisition& acquisition)
{
    AnalysisFile a;
    a.acquisitionName = acquisition.header().fileName;
    a.acquisitionSize = acquisition.header().fileSize;
    a.headerSha256 = headerSha256(acquisition);
    if (const std::shared_ptr<const ImFile> file = acquisition.file()) {
        for (size_t r = 1; r < file->runs().size(); ++r)
            a.appended << AcquisitionRecord{file->runs()[r].header.fileName,
                                            file->runs()[r].header.fileSize,
                                            runHeaderSha256(*file, int(r))};
    }
    a.firstLayer = acquisition.firstLayer();
    a.lastLayer = acquisition.lastLayer();
    a.regions = acquisition.regions();
    a.nextRegionId = acquisition.nextRegionId();
    if (const std::shared_ptr<const Corrections> c = acquisition.corrections()) {
        a.deadTime = c->settings.deadTime;
        a.qsa = c->settings.qsa;
        a.qsaCurrentPa = c->settings.primaryCurrentPa;
        // Those given by hand: the files' own are read again from them, each for its layers.
        for (int s = 0; s < acquisition.speciesCount(); ++s) {
            const QString label = acquisition.speciesName(s).trimmed();
            const std::optional<double> byHand = c->settings.deadTimeNs.contains(s)
                                                     ? c->settings.deadTimeNs.value(s)
                                                     : c->settings.deadTimeAllNs;
            if (byHand && *byHand > 0)
                a.deadTimeNs.insert(label, *byHand);
            if (c->settings.qsaBeta.contains(s))
                a.qsaBeta.insert(label, c->settings.qsaBeta.value(s));
        }
    }
    for (const int layer : acquisition.excludedLayers())
        a.excludedLayers << layer;
    if (const std::shared_ptr<const Alignment> al = acquisition.alignment())
        a.alignment = AlignmentRecord{acquisition.speciesName(al->referenceSpecies).trimmed(),
                                      al->referenceLayer,
                                      al->subpixel,
                                      al->shifts,
                                      al->confidences,
                                      al->origins,
                                      al->settings,
                                      al->usedBin};
    return a;
}

QStringList applyAnalysis(const AnalysisFile& a, Acquisition& acquisition, int parts)
{
    QStringList problems;
    if (parts & int(AnalysisPart::Regions))
        acquisition.setRegions(a.regions, a.nextRegionId);
    if (a.regionsOnly)
        return problems;
    if (parts & int(AnalysisPart::Corrections))
        applyCorrections(a, acquisition, problems);
    if (parts & int(AnalysisPart::Excluded)) {
        if (!a.excludedLayers.isEmpty() &&
            *std::max_element(a.excludedLayers.begin(), a.excludedLayers.end()) >
                acquisition.layerCount())
            problems << QStringLiteral("The layers the analysis leaves out go beyond layer %1: "
                                       "none are left out.")
                            .arg(acquisition.layerCount());
        else
            acquisition.setExcludedLayers({a.excludedLayers.begin(), a.excludedLayers.end()});
    }
    if (parts & int(AnalysisPart::Alignment))
        applyAlignment(a, acquisition, problems);
    if (parts & int(AnalysisPart::Layers)) {
        const int last = std::min(a.lastLayer, acquisition.layerCount());
        acquisition.setLayerRange(std::min(a.firstLayer, last), last);
    }
    return problems;
}

} // namespace isolumen
