#include "core/io/labelmask.h"

#include "core/imfile/filetypes.h"
#include "core/io/counttiff.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <limits>
#include <vector>

namespace isolumen {

Result<> writeLabelMask(const QString& path, const LabelImage& labels, double micronsPerPixel)
{
    const auto largest = std::max_element(labels.labels.begin(), labels.labels.end());
    if (largest != labels.labels.end() && *largest > std::numeric_limits<quint16>::max()) {
        return Failure{
            QStringLiteral("Region %1 has an id too large for a 16-bit mask.").arg(*largest)};
    }
    std::vector<quint16> samples(labels.labels.begin(), labels.labels.end());
    CountStack stack;
    stack.side = labels.side;
    stack.micronsPerPixel = micronsPerPixel;
    stack.names = QStringList{QStringLiteral("Region labels")};
    CountTiffWriter writer(path, stack, CountType::UInt16);
    if (!writer.addPage(CountType::UInt16, samples.data()) || !writer.commit()) {
        return Failure{writer.error()};
    }
    return {};
}

Result<LabelImage> readLabelMask(const QString& path, int side)
{
    const QString name = QFileInfo(path).fileName();
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    if (image.isNull()) {
        return Failure{
            QStringLiteral("Cannot read %1 as a mask: %2").arg(name, reader.errorString())};
    }
    if (image.width() != side || image.height() != side) {
        return Failure{QStringLiteral("%1 is %2 x %3 pixels, but the frames are %4 x %4.")
                           .arg(name)
                           .arg(image.width())
                           .arg(image.height())
                           .arg(side)};
    }
    LabelImage labels{side, std::vector<int>(size_t(side) * size_t(side), 0)};
    const QImage::Format format = image.format();
    for (int y = 0; y < side; ++y) {
        int* out = labels.labels.data() + size_t(y) * size_t(side);
        if (format == QImage::Format_Grayscale16) {
            const auto* in = reinterpret_cast<const quint16*>(image.constScanLine(y));
            std::copy(in, in + side, out);
        } else if (format == QImage::Format_Grayscale8 || format == QImage::Format_Indexed8) {
            const uchar* in = image.constScanLine(y);
            std::copy(in, in + side, out);
        } else {
            return Failure{
                QStringLiteral("%1 is not a label image: it needs one channel of 8 or 16 "
                               "bits per pixel.")
                    .arg(name)};
        }
    }
    return labels;
}

Result<> writeRegionMask(const QString& path, const QList<Region>& regions, int side,
                         double micronsPerPixel)
{
    QList<LabelledRegion> labelled;
    for (const Region& r : regions)
        labelled << LabelledRegion{r.id, r};
    return writeLabelMask(path, labelsFromRegions(labelled, side), micronsPerPixel);
}

Result<QList<Region>> readRegionMask(const QString& path, int side)
{
    if (const QString problem = specialFileProblem(path); !problem.isEmpty()) {
        return Failure{problem};
    }
    const Result<LabelImage> mask = readLabelMask(path, side);
    if (!mask)
        return mask.error();
    QList<Region> regions;
    for (LabelledRegion& r : regionsFromLabels(*mask, {})) {
        r.region.id = r.label;
        r.region.name = QStringLiteral("Region %1").arg(r.label);
        regions << r.region;
    }
    return regions;
}

} // namespace isolumen
