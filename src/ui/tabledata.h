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

    // How many digits a number's text keeps: as the table shows it (six significant), or every
    // digit that reads back the same double (for files).
    enum class Digits { Shown, Exact };
    // A cell's text: whole numbers in full, others with the digits asked for; NaN gives an
    // empty text.
    static QString cellText(const QVariant& cell, Digits digits);
    static bool isNumber(const QVariant& cell);

    bool writeCsv(QIODevice& device) const;
    // Headers first, one line per row, "\n" after each.
    QString tabSeparated() const;
    // "Export CSV...": asks for a file (name suggested from baseName) through the save seam and
    // writes the CSV there, whole or not at all; a failure is told in a message.
    void exportCsv(QWidget* parent, const QString& baseName) const;
};

} // namespace isolumen
