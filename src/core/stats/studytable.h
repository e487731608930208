#pragma once

#include "core/stats/regionmeasures.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>

namespace isolumen {

class Progress;

// A cell of a region table: empty, text, or a number kept exactly.
using TableCell = std::variant<std::monostate, QString, double>;

// One row of a study: what it was measured from (an analysis file, or an acquisition) and its
// cells under the study's columns.
struct StudyRow
{
    QString input;
    QList<TableCell> cells;
};

// The region statistics of many acquisitions in one table, as `isolumen --study` writes it, and
// the inputs that could not be measured, each with why.
struct StudyTable
{
    QStringList columns;
    QList<StudyRow> rows;
    QStringList problems;
};

// Measures a study of the inputs with the ratios (each as --ratio takes it: "2/1", "2/1+2");
// nothing when cancelled through progress, which counts inputs.
using StudyRunner = std::function<std::optional<StudyTable>(
    const QStringList& inputs, const QStringList& ratios, Progress& progress)>;

// The regions of a study as a scatter plot takes them: one per input and region, in the order
// of the table, each with its species' and ratios' rows rebuilt from the cells. Species are
// numbered in `labels`, every species label of the study in the order first met, so that a
// label means the same species in every acquisition.
struct StudyRegions
{
    QStringList labels;
    QList<RegionRows> regions;
    QList<int> firstRows; // by region: its first row in the table, which opens it
};
StudyRegions studyRegions(const StudyTable& table);

} // namespace isolumen
