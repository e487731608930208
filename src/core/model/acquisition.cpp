#include "core/model/acquisition.h"

#include "core/parallel.h"
#include "core/progress.h"
#include "core/text/numbertext.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace isolumen {

namespace {

// Pixels of a ratio without a value because a detector was saturated in either term, each
// counted once: those without a value in either term, less the edge the alignment leaves
// without one, which both terms share (a term's pixels without a value are its saturated ones
// and that edge).
qint64 ratioSaturated(const BuiltPlane& n, const BuiltPlane& d)
{
    if (n.saturatedPixels + d.saturatedPixels == 0)
        return 0;
    qint64 eitherNone = 0;
    qint64 numeratorNone = 0;
    const Plane& a = *n.plane;
    const Plane& b = *d.plane;
    for (int y = 0; y < a.side; ++y) {
        for (int x = 0; x < a.side; ++x) {
            const bool none = std::isnan(a.value(x, y));
            numeratorNone += none;
            eitherNone += none || std::isnan(b.value(x, y));
        }
    }
    return eitherNone - (numeratorNone - n.saturatedPixels);
}

// Pixels of a plane without a value.
qint64 pixelsWithout(const Plane& p)
{
    return std::visit(
        [](const auto& v) {
            return qint64(std::count_if(v.begin(), v.end(), [](auto x) { return x != x; }));
        },
        p.samples);
}

// The sum of planes of counts (at least one): the plane itself for one, else doubles, without
// a value where any part has none. Its saturated pixels are those without a value less the
// alignment's edge, which every part shares, as a ratio's are.
BuiltPlane sumOf(const std::vector<BuiltPlane>& parts)
{
    if (parts.size() == 1)
        return parts.front();
    auto sum = std::make_shared<Plane>();
    sum->side = parts.front().plane->side;
    std::vector<double> values(size_t(sum->size()), 0.0);
    qint64 saturated = 0;
    for (const BuiltPlane& part : parts) {
        saturated += part.saturatedPixels;
        std::visit(
            [&values](const auto& v) {
                const qsizetype n = qsizetype(std::min(v.size(), values.size()));
                parallelFor(n, 65536, [&](qsizetype begin, qsizetype end) {
                    for (qsizetype i = begin; i < end; ++i)
                        values[size_t(i)] += double(v[size_t(i)]); // NaN stays NaN
                });
            },
            part.plane->samples);
    }
    sum->samples = std::move(values);
    sum->findExtremes();
    const BuiltPlane& first = parts.front();
    if (saturated > 0)
        saturated = pixelsWithout(*sum) - (pixelsWithout(*first.plane) - first.saturatedPixels);
    return BuiltPlane{sum, saturated};
}

// Sums kept for quick reuse: eight 2048 x 2048 planes of doubles with room to spare.
constexpr qint64 kCacheBudget = qint64(1) << 30;

qint64 planeBytes(const Plane& p)
{
    return std::visit([](const auto& v) { return qint64(v.size() * sizeof(v[0])); }, p.samples);
}

// The excluded layers a request's sum covers: those outside make no difference to it.
std::vector<int> excludedWithin(const PlaneRequest& request)
{
    std::vector<int> within;
    if (!request.isSum())
        return within;
    for (const int l : request.excluded) {
        if (l >= request.firstLayer && l <= request.lastLayer)
            within.push_back(l);
    }
    return within;
}

} // namespace

Acquisition::CacheKey Acquisition::cacheKey(const PlaneRequest& request, int species)
{
    return {species,
            request.firstLayer,
            request.lastLayer,
            request.corrections.get(),
            request.alignment.get(),
            excludedWithin(request)};
}

Acquisition::Acquisition(QObject* parent) : QObject(parent), m_cacheBudget(kCacheBudget) {}

Acquisition::~Acquisition() = default;

Result<ImFile::Status> Acquisition::open(const QString& path, const QString& displayName,
                                         std::shared_ptr<void> keepAlive)
{
    close();
    auto file = std::make_shared<ImFile>();
    const Result<ImFile::Status> status = file->open(path, displayName);
    if (status != ImFile::Status::Accepted)
        return status;
    adopt(std::move(file), std::move(keepAlive));
    return status;
}

Result<ImFile::Status> Acquisition::append(const QString& path, const QString& displayName,
                                           std::shared_ptr<void> keepAlive)
{
    if (!m_file)
        return open(path, displayName, std::move(keepAlive));
    // A new reader of every run: the one open may be read by workers meanwhile.
    auto file = std::make_shared<ImFile>();
    Result<ImFile::Status> status = ImFile::Status::Accepted;
    for (const ImFile::Run& run : m_file->runs()) {
        status = file->isOpen() ? file->append(run.path, run.header.fileName)
                                : file->open(run.path, run.header.fileName);
        if (status != ImFile::Status::Accepted)
            break;
    }
    if (status == ImFile::Status::Accepted)
        status = file->append(path, displayName);
    if (status != ImFile::Status::Accepted)
        return status;
    std::vector<std::shared_ptr<void>> kept = std::move(m_keepAlive);
    close();
    m_keepAlive = std::move(kept);
    adopt(std::move(file), std::move(keepAlive));
    return status;
}

void Acquisition::adopt(std::shared_ptr<const ImFile> file, std::shared_ptr<void> keepAlive)
{
    m_header = file->header();
    m_file = std::move(file);
    m_keepAlive.push_back(std::move(keepAlive));
    m_firstLayer = m_lastLayer = 1;
    m_corrections.reset();
    m_alignment.reset();
    m_excluded.clear();
    m_regions.clear();
    m_nextRegionId = 1;
    emit fileChanged();
    emit regionsChanged(-1);
}

void Acquisition::close()
{
    m_file.reset();
    m_keepAlive.clear();
    clearCache();
}

QStringList Acquisition::messages() const
{
    return m_file ? m_file->messages() : QStringList();
}

int Acquisition::layerCount() const
{
    return m_file ? m_file->completePlanes() : 0;
}

QString Acquisition::speciesName(int species) const
{
    return species >= 0 && species < m_header.species.size() ? m_header.species[species]
                                                             : QString();
}

std::optional<int> Acquisition::frameSide() const
{
    return m_file ? m_file->frameSide() : std::nullopt;
}

QString Acquisition::unshowableReason() const
{
    if (!m_file)
        return QStringLiteral("No file is open.");
    if (layerCount() < 1 || speciesCount() < 1)
        return QStringLiteral("This file holds no frames to show.");
    if (!m_file->frameSide()) {
        return QStringLiteral("Frames of %1 x %2 pixels cannot be shown: only square frames of "
                              "64, 128, 256, 512, 1024 or 2048 pixels can.")
            .arg(m_header.pixelWidth)
            .arg(m_header.pixelHeight);
    }
    return {};
}

void Acquisition::setLayer(int layer)
{
    setLayerRange(layer, layer);
}

void Acquisition::setLayerRange(int first, int last)
{
    if (first == m_firstLayer && last == m_lastLayer)
        return;
    m_firstLayer = first;
    m_lastLayer = std::max(first, last);
    emit layersChanged();
}

void Acquisition::setCorrections(std::shared_ptr<const Corrections> corrections)
{
    m_corrections = std::move(corrections);
    emit correctionsChanged();
}

void Acquisition::setAlignment(std::shared_ptr<const Alignment> alignment)
{
    m_alignment = std::move(alignment);
    emit alignmentChanged();
}

void Acquisition::setExcludedLayers(std::vector<int> layers)
{
    std::sort(layers.begin(), layers.end());
    layers.erase(std::unique(layers.begin(), layers.end()), layers.end());
    if (layers == m_excluded)
        return;
    m_excluded = std::move(layers);
    emit excludedLayersChanged();
}

bool Acquisition::isExcluded(int layer) const
{
    return std::binary_search(m_excluded.begin(), m_excluded.end(), layer);
}

std::vector<bool> Acquisition::exclusionMask() const
{
    std::vector<bool> mask(std::size_t(std::max(layerCount(), 0)), false);
    for (const int l : m_excluded) {
        if (l >= 1 && l <= int(mask.size()))
            mask[std::size_t(l - 1)] = true;
    }
    return mask;
}

void Acquisition::setRegions(const QList<Region>& regions, int nextId)
{
    m_regions = regions;
    m_nextRegionId = std::max(m_nextRegionId, nextId);
    numberRegions(m_regions, m_nextRegionId);
    emit regionsChanged(-1);
}

int Acquisition::regionIndex(int id) const
{
    for (qsizetype i = 0; i < m_regions.size(); ++i) {
        if (m_regions[i].id == id)
            return int(i);
    }
    return -1;
}

int Acquisition::addRegion(const Region& region)
{
    Region added = region;
    added.id = m_nextRegionId++;
    if (added.name.isEmpty())
        added.name = QStringLiteral("Region %1").arg(added.id);
    m_regions << added;
    emit regionsChanged(-1);
    return int(m_regions.size()) - 1;
}

void Acquisition::replaceRegion(int index, const Region& region)
{
    if (index < 0 || index >= m_regions.size())
        return;
    const int id = m_regions[index].id; // a region keeps its number through every change
    m_regions[index] = region;
    m_regions[index].id = id;
    emit regionsChanged(index);
}

void Acquisition::removeRegion(int index)
{
    if (index < 0 || index >= m_regions.size())
        return;
    m_regions.removeAt(index);
    emit regionsChanged(-1);
}

PlaneRequest Acquisition::request(const PlaneSource& source) const
{
    PlaneRequest r;
    r.source = source;
    r.firstLayer = m_firstLayer;
    r.lastLayer = m_lastLayer;
    r.corrections = m_corrections;
    r.alignment = m_alignment;
    r.excluded = m_excluded;
    return r;
}

bool Acquisition::isQuick(const PlaneRequest& request) const
{
    if (!request.isSum())
        return true;
    QList<int> species = {request.source.species};
    if (request.source.ratio)
        species = request.source.ratio->species();
    const std::lock_guard<std::mutex> lock(m_cacheLock);
    for (const int s : species) {
        const CacheKey key = cacheKey(request, s);
        if (!m_cache.count(key))
            return false;
    }
    return true;
}

qint64 Acquisition::work(const QList<PlaneRequest>& requests) const
{
    const int side = frameSide().value_or(0);
    qint64 units = 0;
    for (const PlaneRequest& r : requests)
        units += speciesPlaneWork(side, r.firstLayer, r.lastLayer) *
                 (r.source.ratio ? r.source.ratio->species().size() : 1);
    return units;
}

Result<BuiltPlane> Acquisition::speciesPlane(const PlaneRequest& request, int species,
                                             Progress* progress) const
{
    const std::shared_ptr<const ImFile> file = m_file; // kept open while this runs
    if (!file) {
        return Failure{QStringLiteral("No file is open.")};
    }
    const CacheKey key = cacheKey(request, species);
    if (request.isSum()) {
        const std::lock_guard<std::mutex> lock(m_cacheLock);
        auto it = m_cache.find(key);
        if (it != m_cache.end()) {
            it->second.lastUse = ++m_useCounter;
            advance(progress, speciesPlaneWork(file->frameSide().value_or(0), request.firstLayer,
                                               request.lastLayer));
            return BuiltPlane{std::const_pointer_cast<Plane>(it->second.plane),
                              it->second.saturated};
        }
    }
    Result<BuiltPlane> built = buildSpeciesPlane(
        *file, species, request.firstLayer, request.lastLayer, request.corrections.get(),
        request.alignment.get(), progress, std::get<5>(key));
    if (!built || !request.isSum())
        return built;

    const std::lock_guard<std::mutex> lock(m_cacheLock);
    // Not kept when the file changed while this was computed, or when nothing may be.
    if (m_file != file || m_cacheBudget <= 0)
        return built;
    m_cache[key] = CachedPlane{built->plane, built->saturatedPixels, ++m_useCounter,
                               request.corrections, request.alignment};
    qint64 bytes = 0;
    for (const auto& [k, entry] : m_cache)
        bytes += planeBytes(*entry.plane);
    while (bytes > m_cacheBudget && m_cache.size() > 1) {
        auto oldest = m_cache.begin();
        for (auto it = m_cache.begin(); it != m_cache.end(); ++it) {
            if (it->second.lastUse < oldest->second.lastUse)
                oldest = it;
        }
        bytes -= planeBytes(*oldest->second.plane);
        m_cache.erase(oldest);
    }
    return built;
}

Result<PlaneResult> Acquisition::plane(const PlaneRequest& request, Progress* progress) const
{
    PlaneResult result;
    if (!request.source.ratio) {
        Result<BuiltPlane> built = speciesPlane(request, request.source.species, progress);
        if (!built)
            return built.error();
        result.shown = built->plane;
        result.saturatedPixels = built->saturatedPixels;
        return result;
    }
    const RatioDefinition& terms = *request.source.ratio;
    if (terms.numerator.isEmpty() || terms.denominator.isEmpty())
        return Failure{QStringLiteral("A ratio needs a numerator and a denominator.")};
    // Each species is read once, however many terms it is in.
    const QList<int> species = terms.species();
    std::vector<BuiltPlane> counts;
    for (const int s : species) {
        Result<BuiltPlane> c = speciesPlane(request, s, progress);
        if (!c)
            return c.error();
        counts.push_back(*c);
    }
    const auto termOf = [&](const QList<int>& term) {
        std::vector<BuiltPlane> parts;
        for (const int s : term)
            parts.push_back(counts[size_t(species.indexOf(s))]);
        return sumOf(parts);
    };
    try {
        const BuiltPlane n = termOf(terms.numerator);
        const BuiltPlane d = termOf(terms.denominator);
        result.shown = buildRatioPlane(*n.plane, *d.plane, terms);
        result.numerator = n.plane;
        result.denominator = d.plane;
        result.saturatedPixels = ratioSaturated(n, d);
    } catch (const std::bad_alloc&) {
        return Failure{QStringLiteral("There is not enough memory for this plane.")};
    }
    if (!result.shown)
        return Failure{QStringLiteral("The ratio's terms differ in size.")};
    for (const BuiltPlane& c : counts)
        result.counts << c.plane;
    return result;
}

Result<BuiltPlane> Acquisition::termPlane(const PlaneRequest& request, const QList<int>& species,
                                          Progress* progress) const
{
    if (species.isEmpty())
        return Failure{QStringLiteral("A sum needs a species.")};
    std::vector<BuiltPlane> parts;
    for (const int s : species) {
        Result<BuiltPlane> c = speciesPlane(request, s, progress);
        if (!c)
            return c.error();
        parts.push_back(*c);
    }
    try {
        return sumOf(parts);
    } catch (const std::bad_alloc&) {
        return Failure{QStringLiteral("There is not enough memory for this plane.")};
    }
}

bool Acquisition::prepare(const QList<PlaneRequest>& requests, Progress* progress) const
{
    for (const PlaneRequest& r : requests) {
        if (!plane(r, progress))
            return false;
    }
    return true;
}

void Acquisition::setSumCacheBudget(qint64 bytes)
{
    const std::lock_guard<std::mutex> lock(m_cacheLock);
    m_cacheBudget = bytes;
    if (bytes <= 0)
        m_cache.clear();
}

void Acquisition::clearCache()
{
    const std::lock_guard<std::mutex> lock(m_cacheLock);
    m_cache.clear();
}

QString Acquisition::sourceName(const PlaneSource& source) const
{
    if (!source.ratio)
        return speciesName(source.species);
    return ratioLabel(*source.ratio, [this](int s) { return speciesName(s); });
}

QString layersText(const PlaneRequest& request)
{
    return request.isSum() ? QStringLiteral("Sum of Layers %1-%2")
                                 .arg(request.firstLayer)
                                 .arg(request.lastLayer)
                           : QStringLiteral("Layer %1").arg(request.firstLayer);
}

QString Acquisition::title(const PlaneRequest& request, const QString& shownName) const
{
    QString layers = layersText(request);
    if (request.alignment)
        layers += QStringLiteral(", aligned");
    if (request.isSum()) {
        if (const std::size_t left = excludedWithin(request).size())
            layers += QStringLiteral(", %1 excluded").arg(left);
    }
    const QString name = shownName.isEmpty() ? sourceName(request.source) : shownName;
    return name + QStringLiteral(" (") + layers + QLatin1Char(')');
}

} // namespace isolumen
