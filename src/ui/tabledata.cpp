#include "ui/tabledata.h"

#include "core/io/csvwriter.h"
#include "core/io/replacingfile.h"
#include "core/text/numbertext.h"
#include "ui/dialogs.h"
#include "ui/messagebox.h"

#include <cmath>

namespace isolumen {

bool TableData::isNumber(const QVariant& cell)
{
    const int type = cell.typeId();
    return type == QMetaType::Double || type == QMetaType::Int || type == QMetaType::LongLong;
}

QString TableData::cellText(const QVariant& cell, Digits digits)
{
    if (!isNumber(cell))
        return cell.toString();
    const double d = cell.toDouble();
    if (std::isnan(d))
        return {};
    if (digits == Digits::Shown)
        return valueText(d);
    // Whole numbers (counts, sums of counts) in full: "1566440", not "1.56644e+06".
    if (d == std::round(d) && std::abs(d) < 1e15)
        return QString::number(qint64(d));
    return QString::number(d, 'g', 17);
}

bool TableData::writeCsv(QIODevice& device) const
{
    CsvWriter csv(device);
    for (const QString& h : headers)
        csv.text(h);
    bool ok = csv.endRow();
    for (const QVariantList& row : rows) {
        for (const QVariant& v : row) {
            if (!isNumber(v))
                csv.text(v.toString());
            else if (std::isnan(v.toDouble()))
                csv.empty();
            else
                csv.number(v.toDouble());
        }
        ok = csv.endRow() && ok;
    }
    return ok;
}

QString TableData::tabSeparated() const
{
    QStringList lines{headers.join(QLatin1Char('\t'))};
    for (const QVariantList& row : rows) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << cellText(v, Digits::Exact);
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TableData::exportCsv(QWidget* parent, const QString& baseName) const
{
    const QString path =
        Dialogs::saveFile(parent, QStringLiteral("Export CSV"), baseName + QStringLiteral(".csv"),
                          QStringLiteral("CSV (*.csv)"))
            .first;
    if (path.isEmpty())
        return;
    ReplacingFile file(path);
    if (!file.open() || !writeCsv(file.device()) || !file.commit())
        showMessage(QStringLiteral("The table could not be saved: %1").arg(file.errorString()));
}

} // namespace isolumen
