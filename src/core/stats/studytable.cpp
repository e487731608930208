#include "core/stats/studytable.h"

#include "core/model/ratiodefinition.h"

#include <QHash>
#include <QRegularExpression>
#include <cmath>

namespace isolumen {

namespace {

// A cell as a number; NaN where it is empty or text.
double numberIn(const QList<TableCell>& cells, qsizetype column)
{
    const double* number =
        column >= 0 && column < cells.size() ? std::get_if<double>(&cells[column]) : nullptr;
    return number ? *number : std::nan("");
}

QString textIn(const QList<TableCell>& cells, qsizetype column)
{
    const QString* text =
        column >= 0 && column < cells.size() ? std::get_if<QString>(&cells[column]) : nullptr;
    return text ? *text : QString();
}

// The source a row's "species" cell names, numbering new labels as they come.
std::optional<PlaneSource> sourceNamed(const QString& name, QStringList& labels)
{
    if (!name.contains(QLatin1Char('/'))) {
        if (!labels.contains(name))
            labels << name;
        return PlaneSource{int(labels.indexOf(name)), std::nullopt};
    }
    const QString terms = ratioTermsText(name).trimmed();
    for (const QString& part :
         terms.split(QRegularExpression(QStringLiteral("[/+()]")), Qt::SkipEmptyParts)) {
        if (!labels.contains(part.trimmed()))
            labels << part.trimmed();
    }
    const Result<RatioDefinition> ratio = parseRatioTerms(terms, labels);
    if (!ratio)
        return std::nullopt;
    return PlaneSource{ratio->numerator.first(), *ratio};
}

} // namespace

StudyRegions studyRegions(const StudyTable& table)
{
    const auto column = [&](const char* name) {
        return table.columns.indexOf(QLatin1String(name));
    };
    const qsizetype region = column("region"), regionClass = column("class"),
                    species = column("species"), pixels = column("pixels"), sum = column("sum"),
                    mean = column("mean"), sd = column("sd"), min = column("min"),
                    max = column("max"), ratio = column("ratio_of_sums"),
                    error = column("poisson_error");
    StudyRegions out;
    QHash<QPair<QString, int>, qsizetype> place; // by input and region id
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const StudyRow& row = table.rows[r];
        const int id = int(numberIn(row.cells, region));
        const std::optional<PlaneSource> source =
            sourceNamed(textIn(row.cells, species), out.labels);
        if (!source)
            continue;
        const QPair<QString, int> key{row.input, id};
        if (!place.contains(key)) {
            place.insert(key, out.regions.size());
            out.regions << RegionRows{id, textIn(row.cells, regionClass), {}};
            out.firstRows << int(r);
        }
        StatsRow stats;
        stats.region = id;
        stats.source = *source;
        const double pixelCount = numberIn(row.cells, pixels);
        stats.stats.pixels = std::isfinite(pixelCount) ? qint64(pixelCount) : 0;
        stats.stats.valued = stats.stats.pixels;
        for (const auto& [into, at] :
             {std::pair{&stats.stats.sum, sum}, std::pair{&stats.stats.mean, mean},
              std::pair{&stats.stats.sd, sd}, std::pair{&stats.stats.min, min},
              std::pair{&stats.stats.max, max}})
            *into = numberIn(row.cells, at);
        if (source->ratio)
            stats.ratio = RatioOfSums{numberIn(row.cells, ratio), numberIn(row.cells, error), 0, 0};
        out.regions[place.value(key)].rows << stats;
    }
    return out;
}

} // namespace isolumen
