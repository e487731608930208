#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <variant>

class Progress;

namespace isolumen {

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

// Measures a study of the inputs; nothing when cancelled through progress, which counts inputs.
using StudyRunner =
    std::function<std::optional<StudyTable>(const QStringList& inputs, Progress& progress)>;

} // namespace isolumen
