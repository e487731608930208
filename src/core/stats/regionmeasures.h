#pragma once

#include "core/stats/profiles.h"

#include <QList>
#include <QString>
#include <optional>

namespace isolumen {

// One figure of a region: a statistic of a species (mean or sum of its counts) or of a ratio
// of two species (mean of the pixel ratios, or the ratio of sums with its Poisson error).
struct RegionMeasure
{
    enum class Statistic { Mean, Sum, RatioOfSums };

    Statistic statistic = Statistic::Mean;
    int species = 0;                // 0-based; the numerator of a ratio
    std::optional<int> denominator; // 0-based: a ratio of species over it

    // The plane the figure is taken from (a ratio without scale or thresholds).
    PlaneSource source() const;
    bool operator==(const RegionMeasure&) const = default;
};

// "mean 12C", "sum 13C", "ratio of sums 13C/12C", with the given species labels.
QString measureName(const RegionMeasure& measure, const QStringList& labels);

// A region's statistics in the sources measured (one range of layers), with its class: what
// the region table holds of one region. A study can gather them from many acquisitions.
struct RegionRows
{
    int region = 0; // the region's id
    QString regionClass;
    QList<StatsRow> rows;
};

// The rows of regionTable (one range) gathered by region, with the regions' classes.
QList<RegionRows> rowsByRegion(const QList<Region>& regions, const QList<StatsRow>& table);

// A measure's value of a region and its error (the Poisson error of a ratio of sums, else 0);
// NaN when the rows lack its source or it has none (a sum of pixel ratios, a region without
// values).
struct MeasuredValue
{
    double value = 0;
    double error = 0;
};
MeasuredValue measuredValue(const RegionMeasure& measure, const RegionRows& region);

// A rule of classification: a measure compared with a value.
struct ClassRule
{
    enum class Comparison { Less, LessOrEqual, Greater, GreaterOrEqual };

    RegionMeasure measure;
    Comparison comparison = Comparison::Greater;
    double value = 0;
};

// Rules that all must hold, and the class they give.
struct Classification
{
    QList<ClassRule> rules;
    QString regionClass;
};

// Every source the measures need, each once, in the order first named.
QList<PlaneSource> measuredSources(const QList<RegionMeasure>& measures);

// Whether every rule holds for the region; a rule whose measure has no value does not.
bool rulesHold(const QList<ClassRule>& rules, const RegionRows& region);

// The regions with the class set on those for which every rule holds (matched by id to rows);
// the others unchanged.
QList<Region> classified(const QList<Region>& regions, const QList<RegionRows>& rows,
                         const Classification& classification);

// A point of a scatter plot: one region's figure on each axis, with their errors.
struct ScatterPoint
{
    int row = 0; // the region's place in the rows given
    int region = 0;
    QString regionClass;
    double x = 0;
    double y = 0;
    double xError = 0;
    double yError = 0;
};

// One point per region that has a finite value on both axes, in the order of rows.
QList<ScatterPoint> scatterPoints(const QList<RegionRows>& rows, const RegionMeasure& x,
                                  const RegionMeasure& y);

} // namespace isolumen
