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

bool writePicture(const QImage& picture, const QString& path, QString* error,
                  const Progress* progress)
{
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    const std::optional<PictureFormat> format = pictureFormatFor(path);
    if (!format)
        return fail(QStringLiteral("%1 names no picture format that can be written.")
                        .arg(QFileInfo(path).fileName()));
    if (picture.isNull())
        return fail(QStringLiteral("there is no picture."));
    return writeReplacing(
        path,
        [&](QIODevice& device, QString* why) {
            if (*format == PictureFormat::Png)
                return writePng(picture, device, why);
            QImageWriter writer(&device, pictureFormatName(*format));
            const bool written = writer.write(picture);
            *why = writer.errorString();
            return written;
        },
        error, progress);
}

} // namespace isolumen
