#include "core/stats/findregions.h"

#include "core/model/plane.h"
#include "core/progress.h"

#include <tuple>

namespace isolumen {

namespace {

std::optional<int> speciesNamed(const QString& text, const QStringList& labels)
{
    const QString name = text.trimmed();
    for (int i = 0; i < labels.size(); ++i) {
        if (labels[i].trimmed() == name)
            return i;
    }
    bool ok = false;
    const int number = name.toInt(&ok);
    return ok && number >= 1 ? std::optional<int>(number - 1) : std::nullopt;
}

} // namespace

std::optional<RegionFinding> parseFindingSource(const QString& text, const QStringList& labels)
{
    RegionFinding f;
    const QStringList ratio = text.split(QLatin1Char('/'));
    if (ratio.size() > 2)
        return std::nullopt;
    for (const QString& term : ratio.first().split(QLatin1Char('+'))) {
        const std::optional<int> s = speciesNamed(term, labels);
        if (!s)
            return std::nullopt;
        f.species << *s;
    }
    if (ratio.size() == 2) {
        const std::optional<int> d = speciesNamed(ratio[1], labels);
        if (!d || f.species.size() != 1)
            return std::nullopt;
        f.denominator = *d;
    }
    return f;
}

// The plane regions are found in: a species, the sum of species, or a ratio, over one range
// of layers.
QList<PlaneRequest> findingRequests(const RegionFinding& f, std::pair<int, int> layers,
                                    const Acquisition& acquisition)
{
    const auto requestOf = [&](const PlaneSource& source) {
        PlaneRequest r = acquisition.request(source);
        std::tie(r.firstLayer, r.lastLayer) = layers;
        return r;
    };
    if (f.denominator)
        return {requestOf(
            PlaneSource{f.species.first(), RatioSpec{f.species.first(), *f.denominator}})};
    QList<PlaneRequest> requests;
    for (const int s : f.species)
        requests << requestOf(PlaneSource{s, std::nullopt});
    return requests;
}

QString findingSourceText(const RegionFinding& f, const QStringList& labels)
{
    const auto label = [&labels](int s) {
        return labels.value(s, QString::number(s + 1)).trimmed();
    };
    QStringList terms;
    for (const int s : f.species)
        terms << label(s);
    QString text = terms.join(QLatin1Char('+'));
    if (f.denominator)
        text += QLatin1Char('/') + label(*f.denominator);
    return text;
}

std::variant<PlanePtr, QString> findingPlane(const RegionFinding& f, std::pair<int, int> layers,
                                             const Acquisition& acquisition, Progress* progress)
{
    QList<int> all = f.species;
    if (f.denominator)
        all << *f.denominator;
    for (const int s : all) {
        if (s >= acquisition.speciesCount())
            return QStringLiteral("There is no species %1: %2 has %3.")
                .arg(s + 1)
                .arg(acquisition.header().fileName)
                .arg(acquisition.speciesCount());
    }
    const QList<PlaneRequest> requests = findingRequests(f, layers, acquisition);
    if (progress)
        progress->setTotal(acquisition.work(requests));
    if (f.denominator) {
        const PlaneResult r = acquisition.plane(requests.first(), progress);
        return r.shown ? std::variant<PlanePtr, QString>(r.shown) : r.error;
    }
    auto sum = std::make_shared<Plane>();
    std::vector<double> values;
    for (const PlaneRequest& request : requests) {
        const PlaneResult r = acquisition.plane(request, progress);
        if (!r.shown)
            return r.error;
        values.resize(size_t(r.shown->size()), 0.0);
        std::visit(
            [&values](const auto& v) {
                for (size_t i = 0; i < v.size(); ++i)
                    values[i] += double(v[i]); // NaN stays NaN
            },
            r.shown->samples);
        sum->side = r.shown->side;
    }
    sum->samples = std::move(values);
    sum->findExtremes();
    return PlanePtr(sum);
}

QList<Region> foundRegions(const Plane& plane, const SegmentationOptions& options)
{
    QList<Region> regions;
    for (const LabelledRegion& r :
         regionsFromLabels(findObjects(plane, options), QStringLiteral("Cell ")))
        regions << r.region;
    return regions;
}

} // namespace isolumen
