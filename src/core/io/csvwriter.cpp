#include "core/io/csvwriter.h"

#include <QIODevice>
#include <QString>
#include <charconv>
#include <csv.h>

namespace isolumen {

CsvWriter::CsvWriter(QIODevice& device) : m_device(device) {}

void CsvWriter::startCell()
{
    if (m_rowHasCells)
        m_row += ',';
    m_rowHasCells = true;
}

CsvWriter& CsvWriter::text(const QString& value)
{
    startCell();
    const QByteArray utf8 = value.toUtf8();
    // Plain words and labels stay bare, so that a header reads as written
    // ("region,species,..."); anything a reader could split or trim goes through libcsv.
    const bool plain = !utf8.isEmpty() && !utf8.contains(',') && !utf8.contains('"') &&
                       !utf8.contains('\n') && !utf8.contains('\r') && utf8.front() != ' ' &&
                       utf8.back() != ' ';
    if (plain) {
        m_row += utf8;
        return *this;
    }
    // libcsv needs the field's size plus one byte per quote plus the two enclosing quotes.
    const qsizetype at = m_row.size();
    m_row.resize(at + 2 * utf8.size() + 2);
    const std::size_t written = csv_write(m_row.data() + at, std::size_t(m_row.size() - at),
                                          utf8.constData(), std::size_t(utf8.size()));
    m_row.resize(at + qsizetype(written));
    return *this;
}

CsvWriter& CsvWriter::number(double value)
{
    startCell();
    char digits[32]; // the longest shortest double, "-2.2250738585072014e-308", has 24
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, value);
    m_row.append(digits, end.ptr - digits);
    return *this;
}

CsvWriter& CsvWriter::empty()
{
    startCell();
    return *this;
}

bool CsvWriter::endRow()
{
    m_row += '\n';
    const bool written = m_device.write(m_row) == m_row.size();
    m_row.clear();
    m_rowHasCells = false;
    return written;
}

} // namespace isolumen
