#include "core/stats/regionmeasures.h"

#include <QHash>
#include <cmath>
#include <limits>

namespace isolumen {

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

bool holds(ClassRule::Comparison comparison, double value, double limit)
{
    switch (comparison) {
    case ClassRule::Comparison::Less:
        return value < limit;
    case ClassRule::Comparison::LessOrEqual:
        return value <= limit;
    case ClassRule::Comparison::Greater:
        return value > limit;
    case ClassRule::Comparison::GreaterOrEqual:
        return value >= limit;
    }
    return false;
}

} // namespace

PlaneSource RegionMeasure::source() const
{
    if (!denominator)
        return PlaneSource{species, std::nullopt};
    return PlaneSource{species, RatioDefinition{{species}, {*denominator}, 1, 0, 0}};
}

QString measureName(const RegionMeasure& measure, const QStringList& labels)
{
    QString source = labels.value(measure.species);
    if (measure.denominator)
        source += QLatin1Char('/') + labels.value(*measure.denominator);
    switch (measure.statistic) {
    case RegionMeasure::Statistic::Mean:
        return QStringLiteral("mean ") + source;
    case RegionMeasure::Statistic::Sum:
        return QStringLiteral("sum ") + source;
    case RegionMeasure::Statistic::RatioOfSums:
        return QStringLiteral("ratio of sums ") + source;
    }
    return source;
}

QList<RegionRows> rowsByRegion(const QList<Region>& regions, const QList<StatsRow>& table)
{
    QList<RegionRows> byRegion;
    QHash<int, qsizetype> place;
    for (qsizetype i = 0; i < regions.size(); ++i) {
        place.insert(regions[i].id > 0 ? regions[i].id : int(i) + 1, i);
        byRegion << RegionRows{regions[i].id, regions[i].regionClass, {}};
    }
    for (const StatsRow& row : table) {
        if (const auto at = place.constFind(row.region); at != place.cend())
            byRegion[*at].rows << row;
    }
    return byRegion;
}

MeasuredValue measuredValue(const RegionMeasure& measure, const RegionRows& region)
{
    const PlaneSource source = measure.source();
    for (const StatsRow& row : region.rows) {
        if (row.source != source)
            continue;
        switch (measure.statistic) {
        case RegionMeasure::Statistic::Mean:
            return {row.stats.valued > 0 ? row.stats.mean : kNone, 0};
        case RegionMeasure::Statistic::Sum: // the sum of pixel ratios means nothing
            return {row.ratio ? kNone : row.stats.sum, 0};
        case RegionMeasure::Statistic::RatioOfSums:
            if (row.ratio)
                return {row.ratio->ratio, row.ratio->poissonError};
            return {kNone, 0};
        }
    }
    return {kNone, 0};
}

QList<PlaneSource> measuredSources(const QList<RegionMeasure>& measures)
{
    QList<PlaneSource> sources;
    for (const RegionMeasure& m : measures) {
        if (!sources.contains(m.source()))
            sources << m.source();
    }
    return sources;
}

bool rulesHold(const QList<ClassRule>& rules, const RegionRows& region)
{
    for (const ClassRule& rule : rules) {
        const double value = measuredValue(rule.measure, region).value;
        if (!std::isfinite(value) || !holds(rule.comparison, value, rule.value))
            return false;
    }
    return true;
}

QList<Region> classified(const QList<Region>& regions, const QList<RegionRows>& rows,
                         const Classification& classification)
{
    QHash<int, const RegionRows*> byId;
    for (const RegionRows& r : rows)
        byId.insert(r.region, &r);
    QList<Region> result = regions;
    for (Region& region : result) {
        const RegionRows* measured = byId.value(region.id);
        if (measured && rulesHold(classification.rules, *measured))
            region.regionClass = classification.regionClass;
    }
    return result;
}

QList<ScatterPoint> scatterPoints(const QList<RegionRows>& rows, const RegionMeasure& x,
                                  const RegionMeasure& y)
{
    QList<ScatterPoint> points;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const MeasuredValue vx = measuredValue(x, rows[i]);
        const MeasuredValue vy = measuredValue(y, rows[i]);
        if (!std::isfinite(vx.value) || !std::isfinite(vy.value))
            continue;
        points << ScatterPoint{int(i),   rows[i].region, rows[i].regionClass, vx.value, vy.value,
                               vx.error, vy.error};
    }
    return points;
}

} // namespace isolumen
