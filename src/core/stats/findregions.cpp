#include "core/stats/findregions.h"

#include "core/model/plane.h"

#include <tuple>

namespace isolumen {

std::optional<RegionFinding> parseFindingSource(const QString& text, const QStringList& labels)
{
    const std::optional<RatioSpec> terms = parseRatioTerms(text, labels);
    if (!terms)
        return std::nullopt;
    return RegionFinding{*terms, {}};
}

// The plane regions are found in: a species, the sum of species, or a ratio, over one range
// of layers.
std::variant<PlanePtr, QString> findingPlane(const RegionFinding& f, std::pair<int, int> layers,
                                             const Acquisition& acquisition)
{
    for (const int s : f.terms.species()) {
        if (s >= acquisition.speciesCount())
            return QStringLiteral("Regions are to be found in species %1: %2 has %3.")
                .arg(s + 1)
                .arg(acquisition.header().fileName)
                .arg(acquisition.speciesCount());
    }
    const RatioSpec& terms = f.terms;
    PlaneRequest r = acquisition.request(PlaneSource{terms.numerator.first(), terms});
    std::tie(r.firstLayer, r.lastLayer) = layers;
    QString error;
    if (terms.denominator.isEmpty()) {
        const std::optional<BuiltPlane> sum =
            acquisition.termPlane(r, terms.numerator, nullptr, &error);
        return sum ? std::variant<PlanePtr, QString>(PlanePtr(sum->plane)) : error;
    }
    const PlaneResult ratio = acquisition.plane(r);
    return ratio.shown ? std::variant<PlanePtr, QString>(ratio.shown) : ratio.error;
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
