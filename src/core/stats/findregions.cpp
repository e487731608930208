#include "core/stats/findregions.h"

#include "core/model/plane.h"
#include "core/progress.h"

#include <tuple>

namespace isolumen {

std::optional<RegionFinding> parseFindingSource(const QString& text, const QStringList& labels)
{
    const Result<RatioDefinition> terms = parseRatioTerms(text, labels);
    if (!terms)
        return std::nullopt;
    return RegionFinding{*terms, {}};
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
    if (!f.terms.denominator.isEmpty())
        return {requestOf(PlaneSource{f.terms.numerator.first(), f.terms})};
    QList<PlaneRequest> requests;
    for (const int s : f.terms.numerator)
        requests << requestOf(PlaneSource{s, std::nullopt});
    return requests;
}

QString findingSourceText(const RegionFinding& f, const QStringList& labels)
{
    const auto label = [&labels](int s) {
        return labels.value(s, QString::number(s + 1)).trimmed();
    };
    if (!f.terms.denominator.isEmpty())
        return ratioTermsLabel(f.terms, label);
    QStringList terms;
    for (const int s : f.terms.numerator)
        terms << label(s);
    return terms.join(QLatin1Char('+'));
}

Result<PlanePtr> findingPlane(const RegionFinding& f, std::pair<int, int> layers,
                              const Acquisition& acquisition, Progress* progress)
{
    for (const int s : f.terms.species()) {
        if (s >= acquisition.speciesCount())
            return Failure{QStringLiteral("There is no species %1: %2 has %3.")
                               .arg(s + 1)
                               .arg(acquisition.header().fileName)
                               .arg(acquisition.speciesCount())};
    }
    const QList<PlaneRequest> requests = findingRequests(f, layers, acquisition);
    if (progress)
        progress->setTotal(acquisition.work(requests));
    if (f.terms.denominator.isEmpty()) {
        const Result<BuiltPlane> sum =
            acquisition.termPlane(requests.first(), f.terms.numerator, progress);
        if (!sum)
            return sum.error();
        return PlanePtr(sum->plane);
    }
    const Result<PlaneResult> ratio = acquisition.plane(requests.first(), progress);
    if (!ratio)
        return ratio.error();
    return ratio->shown;
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
