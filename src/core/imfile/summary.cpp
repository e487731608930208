#include "core/imfile/summary.h"

#include "core/imfile/imfile.h"
#include "core/model/corrections.h"
#include "core/text/numbertext.h"

#include <cmath>

namespace isolumen {

namespace {

// A per-plane or per-pixel figure: "-" when the counts make it meaningless (zero planes or
// pixels), never "inf" or "nan".
QString perUnit(double value, const QString& unit)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    return formatNumber(value, NumberPattern::OneDecimal) + unit;
}

QString grouped(double v)
{
    return formatNumber(v, NumberPattern::Grouped);
}

} // namespace

QString pixelSizeText(const ImHeader& h)
{
    return numberText(h.pixelWidth) + QStringLiteral(" x ") + numberText(h.pixelHeight);
}

QString micronSizeText(const ImHeader& h)
{
    return formatNumber(h.micronSize, NumberPattern::OneDecimal) + QStringLiteral(" µm");
}

namespace {

// planes: what "Number of Planes:" says, the header's own or those of a chain.
QList<SummaryRow> detailRows(const ImHeader& h, qint64 planes, int completePlanes)
{
    const double duration = h.duration;
    const QString min = QStringLiteral(" min");
    QList<SummaryRow> rows = {
        {"Original Name:", h.originalName},
        {"Date, Time:", h.date},
        {"File Size:", grouped(double(h.fileSize)) + " bytes"},
        {"Header Size:", grouped(h.headerSize) + " bytes"},
        {"X Position:", formatNumber(h.positionX, NumberPattern::SignedGrouped)},
        {"Y Position:", formatNumber(h.positionY, NumberPattern::SignedGrouped)},
        {"Duration (total):", perUnit(duration / 60, min)},
        {"Duration/Layer:", perUnit(duration / h.planeCount / 60, min)},
        {"Duration/Pixel:",
         perUnit(duration / h.planeCount / h.pixelHeight / h.pixelWidth * 1000, " ms")},
        {"User Name:", h.userName},
        {"Image Type:", numberText(h.imageType)},
        {"Pixel Width:", numberText(h.pixelWidth)},
        {"Pixel Height:", numberText(h.pixelHeight)},
        {"Pixel Depth:", numberText(h.pixelDepth)},
        {"Image Size:", grouped(h.nmSize) + " nm"},
        {"Number of Planes:", numberText(planes)},
    };
    if (completePlanes < planes)
        rows.append({"Complete Planes:", numberText(completePlanes)});
    rows.append({"Number of Species:", numberText(h.speciesCount)});
    for (int i = 0; i < h.species.size(); ++i)
        rows.append({QStringLiteral("Species %1:").arg(i + 1), h.species[i]});
    return rows;
}

} // namespace

QList<SummaryRow> detailRows(const ImHeader& h, int completePlanes)
{
    return detailRows(h, h.planeCount, completePlanes);
}

QList<SummaryRow> detailRows(const ImFile& file)
{
    qint64 planes = 0;
    QList<SummaryRow> appended;
    for (const ImFile::Run& run : file.runs()) {
        planes += run.header.planeCount;
        if (&run != &file.runs().front())
            appended.append({QStringLiteral("Appended:"),
                             QStringLiteral("%1 (%2 %3)")
                                 .arg(run.header.fileName, numberText(run.header.planeCount),
                                      run.header.planeCount == 1 ? QStringLiteral("plane")
                                                                 : QStringLiteral("planes"))});
    }
    QList<SummaryRow> rows = detailRows(file.header(), planes, file.completePlanes());
    qsizetype at = 0;
    while (at < rows.size() && rows[at].caption != QLatin1String("Number of Species:"))
        ++at;
    for (qsizetype i = 0; i < appended.size(); ++i)
        rows.insert(at + i, appended[i]);
    return rows;
}

QList<SummaryRow> deadTimeRows(const ImHeader& h)
{
    QList<SummaryRow> rows;
    for (int i = 0; i < h.species.size(); ++i) {
        const std::optional<int> ns = recordedDeadTimeNs(h, i);
        rows.append({QStringLiteral("Dead Time %1:").arg(i + 1),
                     ns ? QStringLiteral("%1 ns").arg(*ns) : QStringLiteral("-")});
    }
    return rows;
}

} // namespace isolumen
