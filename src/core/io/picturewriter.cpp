#include "core/io/picturewriter.h"

#include "core/io/pngwriter.h"
#include "core/io/replacingfile.h"
#include "core/progress.h"

#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QString>

namespace isolumen {

std::optional<PictureFormat> pictureFormatFor(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return PictureFormat::Png;
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return PictureFormat::Tiff;
    if (suffix == QLatin1String("bmp"))
        return PictureFormat::Bmp;
    if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg"))
        return PictureFormat::Jpeg;
    return std::nullopt;
}

QByteArray pictureFormatName(PictureFormat format)
{
    switch (format) {
    case PictureFormat::Png:
        return "png";
    case PictureFormat::Tiff:
        return "tiff";
    case PictureFormat::Bmp:
        return "bmp";
    case PictureFormat::Jpeg:
        return "jpeg";
    }
    return {};
}

bool canWritePictures(PictureFormat format)
{
    return format == PictureFormat::Png ||
           QImageWriter::supportedImageFormats().contains(pictureFormatName(format));
}

Result<> writePicture(const QImage& picture, const QString& path, const Progress* progress)
{
    const std::optional<PictureFormat> format = pictureFormatFor(path);
    if (!format)
        return Failure{QStringLiteral("%1 names no picture format that can be written.")
                           .arg(QFileInfo(path).fileName())};
    if (picture.isNull())
        return Failure{QStringLiteral("there is no picture.")};
    return writeReplacing(
        path,
        [&](QIODevice& device) -> Result<> {
            if (*format == PictureFormat::Png)
                return writePng(picture, device);
            QImageWriter writer(&device, pictureFormatName(*format));
            if (!writer.write(picture))
                return Failure{writer.errorString()};
            return {};
        },
        progress);
}

} // namespace isolumen
