#include "core/stats/findregions.h"

#include "core/model/plane.h"

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
std::variant<PlanePtr, QString> findingPlane(const RegionFinding& f, std::pair<int, int> layers,
                                             const Acquisition& acquisition)
{
    QList<int> all = f.species;
    if (f.denominator)
        all << *f.denominator;
    for (const int s : all) {
        if (s >= acquisition.speciesCount())
            return QStringLiteral("Regions are to be found in species %1: %2 has %3.")
                .arg(s + 1)
                .arg(acquisition.header().fileName)
                .arg(acquisition.speciesCount());
    }
    const auto planeOf = [&](const PlaneSource& source) {
        PlaneRequest r = acquisition.request(source);
        std::tie(r.firstLayer, r.lastLayer) = layers;
        return acquisition.plane(r);
    };
    if (f.denominator) {
        const PlaneResult r =
            planeOf(PlaneSource{f.species.first(), RatioSpec{f.species.first(), *f.denominator}});
        return r.shown ? std::variant<PlanePtr, QString>(r.shown) : r.error;
    }
    auto sum = std::make_shared<Plane>();
    std::vector<double> values;
    for (const int s : f.species) {
        const PlaneResult r = planeOf(PlaneSource{s, std::nullopt});
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
