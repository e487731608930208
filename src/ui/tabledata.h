#pragma once

#include <QStringList>
#include <QVariantList>

class QIODevice;
class QWidget;

namespace isolumen {

// The values behind a table window: column headers and rows of cells, each a number (int,
// qint64 or double; NaN for no value) or a text. It writes them out the three ways the windows
// offer: as shown (six significant digits), as CSV (numbers exact) and as tab-separated text
// for the clipboard (numbers exact).
struct TableData
{
    QStringList headers;
    QList<QVariantList> rows;

    // A cell as the table shows it: whole numbers in full, others to six significant digits
    // (exact: with every digit that reads back the same double); NaN gives an empty text.
    static QString cellText(const QVariant& cell, bool exact);
    static bool isNumber(const QVariant& cell);

    bool writeCsv(QIODevice& device) const;
    // Headers first, one line per row, "\n" after each.
    QString tabSeparated() const;
    // "Export CSV...": asks for a file (name suggested from baseName) through the save seam and
    // writes the CSV there, whole or not at all; a failure is told in a message.
    void exportCsv(QWidget* parent, const QString& baseName) const;
};

} // namespace isolumen
