#pragma once

#include <QByteArray>

class QIODevice;
class QString;

namespace isolumen {

// Writes comma-separated rows for --stats, --shifts and "Export CSV...", to standard output (a
// QFile opened on stdout) or a file. Text cells with a comma, a quote, a line break or an
// outer blank are quoted, inner quotes doubled, by libcsv; other text stays bare; numbers are the
// shortest text that reads back as the same double, the same in every locale ("nan", "inf" and
// "-inf" for those); empty cells are empty. Rows end in "\n". Owns the row being built; the device
// stays the caller's.
class CsvWriter
{
public:
    explicit CsvWriter(QIODevice& device);

    CsvWriter& text(const QString& value);
    CsvWriter& number(double value);
    CsvWriter& empty();
    // Writes the row built so far and starts the next; false when the device does not take it.
    bool endRow();

private:
    void startCell();

    QIODevice& m_device;
    QByteArray m_row;
    bool m_rowHasCells = false;
};

} // namespace isolumen
